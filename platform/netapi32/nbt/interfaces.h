// The machine's network interfaces as the transport needs them: index, state, first IPv4 address with its
// broadcast address, MAC address and the kernel's packet counters. Read with getifaddrs, which follows the
// calling thread's network namespace.
#pragma once

#include "status_records.h"

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

}  // namespace platform::nbt
