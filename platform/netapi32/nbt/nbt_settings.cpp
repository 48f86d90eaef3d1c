#include "nbt_settings.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>

namespace platform::nbt {
namespace {

std::optional<unsigned> parse_number(const std::string &text, unsigned low, unsigned high) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<Ipv4Address> parse_ipv4(std::string_view text) {
    std::string copy(text);
    in_addr address{};
    if (copy.empty() || inet_pton(AF_INET, copy.c_str(), &address) != 1)
        return std::nullopt;
    Ipv4Address bytes;
    std::memcpy(bytes.data(), &address, 4);
    return bytes;
}

NbtSettings parse_settings(const std::optional<std::string> &wins, const std::optional<std::string> &retries,
                           const std::optional<std::string> &retry_interval_ms, std::vector<std::string> &problems) {
    NbtSettings settings;
    if (wins && !wins->empty()) {
        settings.wins = parse_ipv4(*wins);
        if (!settings.wins)
            problems.push_back("[netbios] wins = " + *wins + ": not an IPv4 address; names resolve by broadcast");
    }
    if (retries) {
        if (auto value = parse_number(*retries, 1, 100))
            settings.retries = *value;
        else
            problems.push_back("[netbios] retries = " + *retries + ": 1 to 100 expected; using 3");
    }
    if (retry_interval_ms) {
        if (auto value = parse_number(*retry_interval_ms, 1, 60000))
            settings.retry_interval = std::chrono::milliseconds(*value);
        else
            problems.push_back("[netbios] retry_interval_ms = " + *retry_interval_ms +
                               ": 1 to 60000 expected; using 250");
    }
    return settings;
}

}  // namespace platform::nbt
