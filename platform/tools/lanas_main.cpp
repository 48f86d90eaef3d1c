// lanas: the LANAs that NetBIOS enumeration lists, as a table with the interface behind each, and what is
// wrong with the prefix's LANA map.
#include <windows.h>
#include <nb30.h>

#include "netapi32/nbt/lana_map.h"
#include "prefix/prefix.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace {

const char usage_text[] = "Usage: lanas [--help]\n";

const char help_text[] =
    "Lists the LANAs (NetBIOS adapters) that NetBIOS enumeration gives programs on this machine, lowest first:\n"
    "for each, the network interface behind it, its IPv4 address and broadcast address, its MAC address and its\n"
    "state. Entries of the LANA map that name no usable interface are listed too, with the reason as state,\n"
    "and reported on standard error.\n"
    "\n"
    "Without a map every interface that is up with an IPv4 address and a broadcast address is a LANA,\n"
    "numbered from 0 (loopback never). A map in the [netbios] section of the prefix's platform.conf,\n"
    "lana.N = INTERFACE, makes exactly the mapped interfaces LANAs, under their numbers.\n"
    "\n"
    "Exit status: 0 when there is a LANA, 1 when there is none (the reason is printed on standard error),\n"
    "2 on bad usage.\n"
    "\n"
    "Environment:\n"
    "  PLATFORM_PREFIX  the platform prefix whose platform.conf holds the LANA map (default ~/.platform, or\n"
    "                   /var/lib/platform for root without a home)\n"
    "\n"
    "Example:\n"
    "  lanas\n"
    "  LANA  INTERFACE        IPV4 ADDRESS     BROADCAST        MAC                STATE\n"
    "  0     eth0             192.168.1.20     192.168.1.255    52:54:00:12:34:56  up\n";

using platform::nbt::InterfaceInfo;

std::string dotted(const platform::nbt::Ipv4Address &address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
           std::to_string(address[3]);
}

std::string mac_text(const platform::nbt::MacAddress &mac) {
    if (std::all_of(mac.begin(), mac.end(), [](auto byte) { return byte == 0; }))
        return "-";
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

void print_row(unsigned lana, const std::string &interface, const InterfaceInfo *info, const char *state) {
    std::string address = "-", broadcast = "-", mac = "-";
    if (info && info->ipv4) {
        address = dotted(info->ipv4->address);
        if (info->ipv4->broadcast)
            broadcast = dotted(*info->ipv4->broadcast);
    }
    if (info)
        mac = mac_text(info->mac);
    std::printf("%-5u %-16s %-16s %-16s %-18s %s\n", lana, interface.c_str(), address.c_str(), broadcast.c_str(),
                mac.c_str(), state);
}

// What the map says LANA `number` is, when the map names one.
const std::string *mapped_name(const platform::nbt::SettingEntries &section, unsigned number) {
    for (auto &[key, value] : section)
        if (key.size() > 5 && strncasecmp(key.c_str(), "lana.", 5) == 0 && key.substr(5) == std::to_string(number))
            return &value;
    return nullptr;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("%s\n%s", usage_text, help_text);
        return 0;
    }
    if (argc != 1) {
        std::fprintf(stderr, "lanas: unexpected argument %s\n%s", argv[1], usage_text);
        return 2;
    }

    LANA_ENUM lanas{};
    NCB ncb;
    std::memset(&ncb, 0, sizeof ncb);
    ncb.ncb_command = NCBENUM;
    ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
    ncb.ncb_length = sizeof lanas;
    UCHAR retcode = Netbios(&ncb);
    if (retcode != NRC_GOODRET) {
        std::fprintf(stderr, "lanas: the enumeration failed with NetBIOS return code 0x%02X\n", retcode);
        return 1;
    }
    std::set<unsigned> listed(lanas.lana, lanas.lana + std::min<int>(lanas.length, MAX_LANA + 1));

    // The interfaces behind the numbers, and the map's entries that name none that can be used.
    auto interfaces = platform::nbt::list_interfaces();
    auto section = platform::prefix::section_entries("netbios");
    std::vector<std::string> problems, reported_already;  // the transport reported the map's bad entries
    auto bindings = platform::nbt::number_lanas(interfaces, section, reported_already);
    std::string config = (platform::prefix::root() / "platform.conf").string();
    bool mapped = false;
    std::printf("%-5s %-16s %-16s %-16s %-18s %s\n", "LANA", "INTERFACE", "IPV4 ADDRESS", "BROADCAST", "MAC", "STATE");
    for (unsigned number = 0; number <= MAX_LANA; ++number) {
        auto bound = std::find_if(bindings.begin(), bindings.end(), [&](auto &b) { return b.lana == number; });
        if (listed.count(number)) {
            if (bound != bindings.end())
                print_row(number, bound->interface.name, &bound->interface, "up");
            else
                print_row(number, "-", nullptr, "up");
            continue;
        }
        const std::string *name = mapped_name(section, number);
        if (!name || name->empty())
            continue;
        mapped = true;
        auto found = std::find_if(interfaces.begin(), interfaces.end(), [&](auto &i) { return i.name == *name; });
        const char *state = found == interfaces.end() ? "missing" : !found->up ? "down" : "no-ipv4";
        const char *why = found == interfaces.end() ? "there is no such interface"
                          : !found->up              ? "the interface is down"
                                                    : "the interface has no IPv4 address";
        print_row(number, *name, found == interfaces.end() ? nullptr : &*found, state);
        problems.push_back("[netbios] lana." + std::to_string(number) + " = " + *name + ": " + why + ", so LANA " +
                           std::to_string(number) + " is not listed");
    }
    std::fflush(stdout);
    for (auto &problem : problems)
        std::fprintf(stderr, "lanas: %s: %s\n", config.c_str(), problem.c_str());
    if (listed.empty()) {
        if (mapped || std::any_of(section.begin(), section.end(), [](auto &e) {
                return e.first.size() > 5 && strncasecmp(e.first.c_str(), "lana.", 5) == 0;
            }))
            std::fprintf(stderr, "lanas: no LANA: the map in %s names no interface that is up with an IPv4 address\n",
                         config.c_str());
        else
            std::fprintf(stderr,
                         "lanas: no LANA: no interface but loopback is up with an IPv4 address and a broadcast "
                         "address (or name one as lana.0 = INTERFACE in the [netbios] section of %s)\n",
                         config.c_str());
        return 1;
    }
    return 0;
}
