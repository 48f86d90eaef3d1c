// Builds node status responses for tests and benchmarks: the layout a well-behaved node sends.
#pragma once

#include "name_service_packets.h"

#include <vector>

namespace platform::nbt {

inline std::vector<std::uint8_t> build_node_status_response(std::uint16_t transaction_id,
                                                            const std::vector<NodeName> &names,
                                                            const std::vector<std::uint8_t> &statistics) {
    std::vector<std::uint8_t> packet = {static_cast<std::uint8_t>(transaction_id >> 8),
                                        static_cast<std::uint8_t>(transaction_id),
                                        0x84,
                                        0x00,
                                        0,
                                        0,
                                        0,
                                        1,
                                        0,
                                        0,
                                        0,
                                        0};
    auto name = encode_name(wildcard_name());
    packet.insert(packet.end(), name.begin(), name.end());
    std::size_t rdlength = 1 + names.size() * node_name_entry_size + statistics.size();
    for (std::uint8_t byte : {0x00, 0x21, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00})
        packet.push_back(byte);
    packet.push_back(static_cast<std::uint8_t>(rdlength >> 8));
    packet.push_back(static_cast<std::uint8_t>(rdlength));
    packet.push_back(static_cast<std::uint8_t>(names.size()));
    for (auto &entry : names) {
        packet.insert(packet.end(), entry.name.begin(), entry.name.end());
        packet.push_back(static_cast<std::uint8_t>(entry.flags >> 8));
        packet.push_back(static_cast<std::uint8_t>(entry.flags));
    }
    packet.insert(packet.end(), statistics.begin(), statistics.end());
    return packet;
}

}  // namespace platform::nbt
