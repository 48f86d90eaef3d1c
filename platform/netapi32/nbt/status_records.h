// The reply records of the status commands, built from what the network and the kernel told us: ADAPTER_STATUS
// with its NAME_BUFFER entries, SESSION_HEADER with its SESSION_BUFFER entries. Pure functions: the records are
// returned as the bytes Netbios() copies into the caller's buffer.
#pragma once

#include "name_service_packets.h"

#include <cstdint>
#include <span>
#include <vector>

namespace platform::nbt {

using MacAddress = std::array<std::uint8_t, 6>;

// The kernel's counters of one interface (only those with a counterpart in ADAPTER_STATUS).
struct LinkCounters {
    std::uint32_t tx_packets = 0;
    std::uint32_t rx_packets = 0;
    std::uint32_t tx_aborted_errors = 0;
};

// A node status entry's NAME_FLAGS as the name_flags of a NAME_BUFFER.
std::uint8_t name_buffer_flags(std::uint16_t node_name_flags);

// The adapter status of a remote node from its node status response.
std::vector<std::uint8_t> remote_adapter_status(const NodeStatusResponse &response);

// The adapter status of a local interface: its MAC address and counters, the transport's limits and the names
// the local node answered for (none when no node answered).
std::vector<std::uint8_t> local_adapter_status(const MacAddress &mac, const LinkCounters &counters,
                                               std::span<const NodeName> names);

struct SessionEntry {
    std::uint8_t state = 0;  // SESSION_ESTABLISHED, HANGUP_PENDING, ...
    Ipv4Address remote{};
};

// The session status for the local name `local_name` whose name number is `name_number`.
std::vector<std::uint8_t> session_status_record(std::uint8_t name_number, const NetbiosName &local_name,
                                                std::span<const SessionEntry> sessions);

// The dotted form of an address as a blank-padded NetBIOS name (the remote name of a session).
NetbiosName address_as_name(const Ipv4Address &address);

}  // namespace platform::nbt
