#include "lana_map.h"

#include <nb30.h>

#include <algorithm>
#include <charconv>
#include <map>

namespace platform::nbt {
namespace {

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// The lana.N entries as number -> interface name.
std::map<unsigned, std::string> read_map(const SettingEntries &section, std::vector<std::string> &problems) {
    std::map<unsigned, std::string> map;
    for (auto &[key, value] : section) {
        if (!starts_with_ignoring_case(key, "lana."))
            continue;
        std::string_view digits = std::string_view(key).substr(5);
        unsigned number = 0;
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size() || number > MAX_LANA) {
            problems.push_back("[netbios] " + key + ": a LANA number is 0 to " + std::to_string(MAX_LANA));
            continue;
        }
        if (value.empty()) {
            problems.push_back("[netbios] " + key + ": no interface named");
            continue;
        }
        if (!map.emplace(number, value).second)
            problems.push_back("[netbios] " + key + ": LANA " + std::to_string(number) + " is mapped twice");
    }
    return map;
}

}  // namespace

std::vector<LanaBinding> number_lanas(const std::vector<InterfaceInfo> &interfaces,
                                      const SettingEntries &netbios_section, std::vector<std::string> &problems) {
    std::vector<LanaBinding> lanas;
    auto map = read_map(netbios_section, problems);
    if (!map.empty()) {
        for (auto &[number, name] : map) {
            auto found = std::find_if(interfaces.begin(), interfaces.end(), [&](auto &i) { return i.name == name; });
            if (found != interfaces.end() && found->up && found->ipv4)
                lanas.push_back({static_cast<std::uint8_t>(number), *found});
        }
        return lanas;
    }
    std::vector<InterfaceInfo> usable;
    std::copy_if(interfaces.begin(), interfaces.end(), std::back_inserter(usable),
                 [](auto &i) { return i.up && !i.loopback && i.ipv4 && i.ipv4->broadcast; });
    std::sort(usable.begin(), usable.end(), [](auto &a, auto &b) { return a.index < b.index; });
    for (std::size_t i = 0; i < usable.size() && i <= MAX_LANA; ++i)
        lanas.push_back({static_cast<std::uint8_t>(i), usable[i]});
    return lanas;
}

}  // namespace platform::nbt
