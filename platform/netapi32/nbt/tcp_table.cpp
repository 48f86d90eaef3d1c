#include "tcp_table.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

namespace platform::nbt {
namespace {

std::optional<std::uint32_t> hex32(std::string_view text) {
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The kernel prints each 32-bit word of an address as the number it holds in host order, so the word's
// bytes in memory are the address's bytes in network order.
void word_bytes(std::uint32_t word, std::uint8_t *out) {
    std::memcpy(out, &word, 4);
}

// "0100007F:008B" (IPv4) or 32 hex digits and a port (IPv6): the IPv4 address and the port, or nullopt.
std::optional<std::pair<Ipv4Address, std::uint16_t>> parse_endpoint(std::string_view text) {
    auto colon = text.find(':');
    if (colon == std::string_view::npos || text.size() - colon - 1 != 4)
        return std::nullopt;
    auto port = hex32(text.substr(colon + 1));
    auto address = text.substr(0, colon);
    Ipv4Address ipv4{};
    if (address.size() == 8) {
        auto word = hex32(address);
        if (!word)
            return std::nullopt;
        word_bytes(*word, ipv4.data());
    } else if (address.size() == 32) {
        std::uint8_t bytes[16];
        for (int i = 0; i < 4; ++i) {
            auto word = hex32(address.substr(8 * i, 8));
            if (!word)
                return std::nullopt;
            word_bytes(*word, bytes + 4 * i);
        }
        static constexpr std::uint8_t mapped_prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        if (std::memcmp(bytes, mapped_prefix, sizeof mapped_prefix) != 0)
            return std::nullopt;
        std::copy_n(bytes + 12, 4, ipv4.begin());
    } else {
        return std::nullopt;
    }
    if (!port)
        return std::nullopt;
    return std::pair{ipv4, static_cast<std::uint16_t>(*port)};
}

std::string read_file(const char *path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

std::vector<TcpConnection> parse_tcp_table(std::string_view text) {
    std::vector<TcpConnection> connections;
    while (!text.empty()) {
        auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

        // "sl: local remote st ...": the first four whitespace-separated fields.
        std::string_view fields[4];
        std::size_t found = 0;
        while (found < 4) {
            auto start = line.find_first_not_of(' ');
            if (start == std::string_view::npos)
                break;
            line.remove_prefix(start);
            auto stop = std::min(line.find(' '), line.size());
            fields[found++] = line.substr(0, stop);
            line.remove_prefix(stop);
        }
        if (found < 4 || fields[0].empty() || fields[0].back() != ':')
            continue;
        auto local = parse_endpoint(fields[1]);
        auto remote = parse_endpoint(fields[2]);
        auto state = hex32(fields[3]);
        if (!local || !remote || !state || *state < 1 || *state > 11)
            continue;
        connections.push_back(
            {local->first, local->second, remote->first, remote->second, static_cast<TcpState>(*state)});
    }
    return connections;
}

std::vector<TcpConnection> read_tcp_connections() {
    // /proc/thread-self follows the calling thread's network namespace, as the sockets we open do.
    auto connections = parse_tcp_table(read_file("/proc/thread-self/net/tcp"));
    auto mapped = parse_tcp_table(read_file("/proc/thread-self/net/tcp6"));
    connections.insert(connections.end(), mapped.begin(), mapped.end());
    return connections;
}

}  // namespace platform::nbt
