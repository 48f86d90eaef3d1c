// The [netbios] settings of the platform prefix that steer the name service: a WINS server, and how often and
// how far apart requests are repeated.
#pragma once

#include "name_service_packets.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace platform::nbt {

struct NbtSettings {
    std::optional<Ipv4Address> wins;  // names resolve by unicast to this server instead of broadcast
    unsigned retries = 3;             // tries of each request, the first included
    std::chrono::milliseconds retry_interval{250};
};

// From the three values as written (absent ones keep their defaults). A value that does not parse keeps the
// default and is described in `problems`.
NbtSettings parse_settings(const std::optional<std::string> &wins, const std::optional<std::string> &retries,
                           const std::optional<std::string> &retry_interval_ms, std::vector<std::string> &problems);

// Parses a dotted IPv4 address, nothing else.
std::optional<Ipv4Address> parse_ipv4(std::string_view text);

}  // namespace platform::nbt
