// What the transport reads from this host: the LANA map, the [netbios] settings and the kernel's TCP table.
#include "lana_map.h"
#include "nbt_settings.h"
#include "tcp_table.h"

#include <gtest/gtest.h>

#include <sstream>

namespace platform::nbt {
namespace {

TEST(LanaMap, NumberingWithAndWithoutAMap) {
    // name, index, up, IPv4 address, broadcast address
    const std::tuple<std::string, unsigned, bool, bool, bool> host[] = {
        {"lo", 1, true, true, false},  {"eth1", 5, true, true, true},  {"eth0", 2, true, true, true},
        {"wg0", 3, true, true, false}, {"eth2", 4, false, true, true}, {"eth3", 6, true, false, true}};
    std::vector<InterfaceInfo> interfaces;
    for (auto &[name, index, up, ipv4, broadcast] : host) {
        Ipv4Config config{{10, 0, 0, 1}, {}, broadcast ? std::optional(Ipv4Address{}) : std::nullopt};
        interfaces.push_back({name, index, up, name == "lo", ipv4 ? std::optional(config) : std::nullopt, {}, {}});
    }
    // [netbios] entries as "key=value" words, and the LANAs they make as "number:interface" words.
    const std::pair<std::string, std::string> cases[] = {
        {"wins=10.0.0.9", "0:eth0 1:eth1 !0"},  // no map: up, broadcast, in index order
        {"LANA.7=eth0 lana.0=lo lana.3=eth2 lana.4=gone lana.5=wg0 lana.6=eth3", "0:lo 5:wg0 7:eth0 !0"},
        {"lana.255=eth0 lana.254=eth1 lana.x=eth0 lana.=eth0 lana.1= lana.2=eth0 lana.2=eth1", "2:eth0 254:eth1 !5"}};
    for (const auto &[map, expected] : cases) {
        SettingEntries section;
        std::istringstream words(map);
        for (std::string word; words >> word;)
            section.emplace_back(word.substr(0, word.find('=')), word.substr(word.find('=') + 1));
        std::vector<std::string> problems;
        std::string numbering;
        for (auto &binding : number_lanas(interfaces, section, problems))
            numbering += (numbering.empty() ? "" : " ") + std::to_string(binding.lana) + ":" + binding.interface.name;
        numbering += " !" + std::to_string(problems.size());
        EXPECT_EQ(numbering, expected) << map;
    }
}

TEST(Settings, DefaultsValuesAndBadValues) {
    using Text = std::optional<std::string>;
    // wins, retries, retry_interval_ms as written; then the settings and the number of problems reported
    const std::tuple<Text, Text, Text, std::optional<Ipv4Address>, unsigned, unsigned, std::size_t> cases[] = {
        {{}, {}, {}, {}, 3, 250, 0},
        {"192.0.2.1", "1", "100", Ipv4Address{192, 0, 2, 1}, 1, 100, 0},
        {"wins.example", "0", "-3", {}, 3, 250, 3},
        {"10.0.0.256", "x", "0", {}, 3, 250, 3}};
    for (const auto &[wins, retries, interval, expected_wins, expected_retries, expected_interval, count] : cases) {
        std::vector<std::string> problems;
        auto settings = parse_settings(wins, retries, interval, problems);
        EXPECT_EQ(std::make_tuple(settings.wins, settings.retries, unsigned(settings.retry_interval.count()),
                                  problems.size()),
                  std::make_tuple(expected_wins, expected_retries, expected_interval, count))
            << wins.value_or("-");
    }
}

TEST(TcpTable, ParsesIpv4AndMappedIpv6Entries) {
    if (std::endian::native != std::endian::little)
        GTEST_SKIP() << "the sample tables are those of a little-endian kernel";
    auto connections = parse_tcp_table(
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0107D50A:008B 0207D50A:C350 01 00000000:00000000 00:00000000 00000000     0        0 1 1\n"
        "   1: 00000000:008B 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 2 1\n"
        "   2: 0107D50A:008B 0207D50A:C351 0C 00000000:00000000 00:00000000 00000000     0        0 3 1\n"
        "   3: 0107D50A:08BZ 0207D50A:C351 01 garbage\n"
        "   4: 0107D50A\n"
        "\n"
        "   0: 0000000000000000FFFF00000107D50A:008B 0000000000000000FFFF00000207D50A:D000 08 0\n"
        "   1: 00000000000000000000000001000000:008B 00000000000000000000000001000000:D001 01 0\n");
    // State 0C does not exist, two lines are malformed, and ::1 is no IPv4 address.
    std::vector<std::tuple<Ipv4Address, int, Ipv4Address, int, TcpState>> found;
    for (auto &c : connections)
        found.emplace_back(c.local, c.local_port, c.remote, c.remote_port, c.state);
    EXPECT_EQ(found, (decltype(found){{{10, 213, 7, 1}, 139, {10, 213, 7, 2}, 50000, TcpState::established},
                                      {{0, 0, 0, 0}, 139, {0, 0, 0, 0}, 0, TcpState::listen},
                                      {{10, 213, 7, 1}, 139, {10, 213, 7, 2}, 0xD000, TcpState::close_wait}}));
}

}  // namespace
}  // namespace platform::nbt
