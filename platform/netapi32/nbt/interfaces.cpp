#include "interfaces.h"

#include <ifaddrs.h>
#include <linux/if_link.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace platform::nbt {
namespace {

Ipv4Address ipv4_of(const sockaddr *address) {
    Ipv4Address bytes{};
    std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in *>(address)->sin_addr, 4);
    return bytes;
}

InterfaceInfo &entry_for(std::vector<InterfaceInfo> &list, const ifaddrs &entry) {
    auto found = std::find_if(list.begin(), list.end(), [&](auto &info) { return info.name == entry.ifa_name; });
    if (found != list.end())
        return *found;
    InterfaceInfo info;
    info.name = entry.ifa_name;
    info.index = if_nametoindex(entry.ifa_name);
    info.up = entry.ifa_flags & IFF_UP;
    info.loopback = entry.ifa_flags & IFF_LOOPBACK;
    return list.emplace_back(std::move(info));
}

}  // namespace

std::vector<InterfaceInfo> list_interfaces() {
    ifaddrs *raw = nullptr;
    if (getifaddrs(&raw) != 0)
        return {};
    std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owned(raw, freeifaddrs);

    std::vector<InterfaceInfo> list;
    for (auto *entry = raw; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr)
            continue;
        if (entry->ifa_addr->sa_family == AF_PACKET) {
            auto &info = entry_for(list, *entry);
            auto *link = reinterpret_cast<const sockaddr_ll *>(entry->ifa_addr);
            if (link->sll_halen == info.mac.size())
                std::memcpy(info.mac.data(), link->sll_addr, info.mac.size());
            if (entry->ifa_data) {
                // The link's counters as the kernel keeps them (the same as /sys/class/net/IF/statistics).
                auto *stats = static_cast<const rtnl_link_stats *>(entry->ifa_data);
                info.counters.tx_packets = stats->tx_packets;
                info.counters.rx_packets = stats->rx_packets;
                info.counters.tx_aborted_errors = stats->tx_aborted_errors;
            }
        } else if (entry->ifa_addr->sa_family == AF_INET) {
            // Addresses with a label ("eth0:1") are secondary; the interface's own name carries the primary.
            if (std::strchr(entry->ifa_name, ':'))
                continue;
            auto &info = entry_for(list, *entry);
            if (info.ipv4)
                continue;
            Ipv4Config config;
            config.address = ipv4_of(entry->ifa_addr);
            if (entry->ifa_netmask)
                config.netmask = ipv4_of(entry->ifa_netmask);
            if ((entry->ifa_flags & IFF_BROADCAST) && entry->ifa_broadaddr)
                config.broadcast = ipv4_of(entry->ifa_broadaddr);
            info.ipv4 = config;
        }
    }
    std::sort(list.begin(), list.end(), [](auto &a, auto &b) { return a.index < b.index; });
    return list;
}

std::shared_ptr<const std::vector<InterfaceInfo>> InterfaceCache::get(std::chrono::milliseconds max_age) {
    std::lock_guard guard(lock_);
    auto now = std::chrono::steady_clock::now();
    if (!read_at_ || now - *read_at_ > max_age) {
        interfaces_ = std::make_shared<const std::vector<InterfaceInfo>>(list_interfaces());
        read_at_ = now;
    }
    return interfaces_;
}

}  // namespace platform::nbt
