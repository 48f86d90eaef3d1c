// Building the two name service requests the transport sends (name query, node status) and parsing their
// responses. Pure functions of bytes: no sockets, no clocks. A parser refuses (nullopt) anything that is not a
// well-formed response of its kind; whether a well-formed response answers our question is the caller's check
// (transaction id, source, name).
#pragma once

#include "netbios_name.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform::nbt {

using Ipv4Address = std::array<std::uint8_t, 4>;  // in network order

inline constexpr std::uint16_t name_service_port = 137;
inline constexpr std::size_t node_name_entry_size = 18;  // 16-byte name and 2 bytes of NAME_FLAGS
inline constexpr std::size_t full_statistics_size = 46;  // UNIT_ID through SESSION_DATA_PACKET_SIZE

// NAME_FLAGS of a node status entry.
inline constexpr std::uint16_t name_flag_group = 0x8000;
inline constexpr std::uint16_t name_flag_deregistering = 0x1000;  // DRG
inline constexpr std::uint16_t name_flag_conflict = 0x0800;       // CNF
inline constexpr std::uint16_t name_flag_active = 0x0400;         // ACT
inline constexpr std::uint16_t name_flag_permanent = 0x0200;      // PRM

std::vector<std::uint8_t> build_name_query(std::uint16_t transaction_id, const NetbiosName &name, bool broadcast);
std::vector<std::uint8_t> build_node_status_request(std::uint16_t transaction_id);

struct NameQueryResponse {
    std::uint16_t transaction_id = 0;
    std::uint8_t rcode = 0;              // 0 positive; anything else says the name is not known
    std::optional<NetbiosName> name;     // absent only in a negative response without an answer record
    std::vector<Ipv4Address> addresses;  // NB_ADDRESS of each entry of a positive response
};

struct NodeName {
    NetbiosName name{};
    std::uint16_t flags = 0;  // NAME_FLAGS as sent
};

struct NodeStatusResponse {
    std::uint16_t transaction_id = 0;
    NetbiosName name{};                    // the answer record's name (the wildcard we asked for)
    std::vector<NodeName> names;           // NUM_NAMES entries
    std::vector<std::uint8_t> statistics;  // what RDATA holds after the names, possibly short or empty
};

std::optional<NameQueryResponse> parse_name_query_response(std::span<const std::uint8_t> datagram);
std::optional<NodeStatusResponse> parse_node_status_response(std::span<const std::uint8_t> datagram);

// The transaction id of any datagram at least a header long, for matching before a full parse.
std::optional<std::uint16_t> transaction_id_of(std::span<const std::uint8_t> datagram);

}  // namespace platform::nbt
