// The machine's network interfaces as the transport needs them: index, state, first IPv4 address with its
// broadcast address, MAC address and the kernel's packet counters. Read with getifaddrs, which follows the
// calling thread's network namespace.
#pragma once

#include "status_records.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::nbt {

struct Ipv4Config {
    Ipv4Address address{};
    Ipv4Address netmask{};
    std::optional<Ipv4Address> broadcast;
};

struct InterfaceInfo {
    std::string name;
    unsigned index = 0;
    bool up = false;
    bool loopback = false;
    std::optional<Ipv4Config> ipv4;  // the interface's first (primary) IPv4 address
    MacAddress mac{};                // zeros when the interface has no 6-byte hardware address
    LinkCounters counters;
};

std::vector<InterfaceInfo> list_interfaces();

// The interface list, read again when it is older than the age a caller accepts. Listing the interfaces
// costs as much as a whole name service round trip on a quiet link, and every command needs it twice
// (Netbios() checks the LANA, then the command finds its interface); for addresses a view a moment old is as
// good as a fresh one.
// A list once handed out never changes: a new reading replaces it, so callers share it without copying and
// can tell by the pointer whether what they derived from it is still current.
class InterfaceCache {
public:
    std::shared_ptr<const std::vector<InterfaceInfo>> get(std::chrono::milliseconds max_age);

private:
    std::mutex lock_;
    std::optional<std::chrono::steady_clock::time_point> read_at_;
    std::shared_ptr<const std::vector<InterfaceInfo>> interfaces_;
};

}  // namespace platform::nbt
