// The kernel's TCP connection table as /proc/net/tcp and /proc/net/tcp6 print it, parsed into IPv4
// connections (IPv4-mapped entries of the IPv6 table included, since a server listening on :: serves IPv4
// clients there). The parser is a pure function of the text.
#pragma once

#include "name_service_packets.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::nbt {

// Connection states as the kernel numbers them in these tables.
enum class TcpState : std::uint8_t {
    established = 1,
    syn_sent = 2,
    syn_recv = 3,
    fin_wait1 = 4,
    fin_wait2 = 5,
    time_wait = 6,
    close = 7,
    close_wait = 8,
    last_ack = 9,
    listen = 10,
    closing = 11,
};

struct TcpConnection {
    Ipv4Address local{};
    std::uint16_t local_port = 0;
    Ipv4Address remote{};
    std::uint16_t remote_port = 0;
    TcpState state = TcpState::close;
};

// Lines that do not parse (the heading, anything malformed) and IPv6 entries that are not IPv4-mapped are
// skipped.
std::vector<TcpConnection> parse_tcp_table(std::string_view text);

// Both tables of the calling thread's network namespace; empty when they cannot be read.
std::vector<TcpConnection> read_tcp_connections();

}  // namespace platform::nbt
