// Which interfaces are LANAs and under which numbers. Without a map every up interface with an IPv4 address
// and a broadcast address is a LANA, numbered from 0 in interface-index order (loopback never). With a map
// ("lana.N = ifname" in the [netbios] section) exactly the mapped interfaces are LANAs, under their numbers,
// as long as they are up and have an IPv4 address; loopback too when named.
#pragma once

#include "interfaces.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace platform::nbt {

struct LanaBinding {
    std::uint8_t lana = 0;
    InterfaceInfo interface;
};

using SettingEntries = std::vector<std::pair<std::string, std::string>>;

// `netbios_section` holds every key of [netbios]; keys other than lana.N are not looked at. Problems with
// map entries (a bad number, a repeated number) are described in `problems`; the entry is then ignored.
std::vector<LanaBinding> number_lanas(const std::vector<InterfaceInfo> &interfaces,
                                      const SettingEntries &netbios_section, std::vector<std::string> &problems);

}  // namespace platform::nbt
