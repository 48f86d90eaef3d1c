// What the transport reads from this host: the LANA map over the interface list, the [netbios] settings and
// the kernel's TCP table.
#include "lana_map.h"
#include "nbt_settings.h"
#include "tcp_table.h"

#include <gtest/gtest.h>

namespace platform::nbt {
namespace {

InterfaceInfo interface(std::string name, unsigned index, bool up, bool broadcast, bool ipv4 = true) {
    InterfaceInfo info;
    info.name = std::move(name);
    info.index = index;
    info.up = up;
    info.loopback = info.name == "lo";
    if (ipv4)
        info.ipv4 =
            Ipv4Config{{10, 0, std::uint8_t(index), 1}, {}, broadcast ? std::optional(Ipv4Address{}) : std::nullopt};
    return info;
}

TEST(LanaMap, NumberingWithAndWithoutAMap) {
    const std::vector<InterfaceInfo> host = {
        interface("lo", 1, true, false),   interface("eth1", 5, true, true),
        interface("eth0", 2, true, true),  interface("wg0", 3, true, false),          // point-to-point: no broadcast
        interface("eth2", 4, false, true), interface("eth3", 6, true, true, false)};  // down; no IPv4 address
    using Numbering = std::vector<std::pair<int, std::string>>;
    const struct {
        SettingEntries map;
        Numbering expected;
        std::size_t problems;
    } cases[] = {
        {{{"wins", "10.0.0.9"}}, {{0, "eth0"}, {1, "eth1"}}, 0},  // no map: up, broadcast, in index order
        {{{"LANA.7", "eth0"},
          {"lana.0", "lo"},
          {"lana.3", "eth2"},
          {"lana.4", "missing"},
          {"lana.5", "wg0"},
          {"lana.6", "eth3"}},
         {{0, "lo"}, {5, "wg0"}, {7, "eth0"}},
         0},
        {{{"lana.255", "eth0"},
          {"lana.254", "eth1"},
          {"lana.x", "eth0"},
          {"lana.", "eth0"},
          {"lana.1", ""},
          {"lana.2", "eth0"},
          {"lana.2", "eth1"}},
         {{2, "eth0"}, {254, "eth1"}},
         5},
    };
    for (const auto &c : cases) {
        std::vector<std::string> problems;
        Numbering numbering;
        for (auto &binding : number_lanas(host, c.map, problems))
            numbering.emplace_back(binding.lana, binding.interface.name);
        EXPECT_EQ(numbering, c.expected);
        EXPECT_EQ(problems.size(), c.problems);
    }
}

TEST(Settings, DefaultsValuesAndBadValues) {
    using Text = std::optional<std::string>;
    const struct {
        Text wins, retries, interval;
        std::optional<Ipv4Address> expected_wins;
        unsigned expected_retries, expected_interval;
        std::size_t problems;
    } cases[] = {{{}, {}, {}, {}, 3, 250, 0},
                 {"192.0.2.1", "1", "100", Ipv4Address{192, 0, 2, 1}, 1, 100, 0},
                 {"wins.example", "0", "-3", {}, 3, 250, 3},
                 {"10.0.0", "x", "0", {}, 3, 250, 3},
                 {"10.0.0.256", "", "", {}, 3, 250, 3},
                 {"10.0.0.1 ", {}, {}, {}, 3, 250, 1}};
    for (const auto &c : cases) {
        std::vector<std::string> problems;
        auto settings = parse_settings(c.wins, c.retries, c.interval, problems);
        EXPECT_EQ(settings.wins, c.expected_wins) << c.wins.value_or("-");
        EXPECT_EQ(settings.retries, c.expected_retries) << c.retries.value_or("-");
        EXPECT_EQ(settings.retry_interval.count(), c.expected_interval) << c.interval.value_or("-");
        EXPECT_EQ(problems.size(), c.problems) << c.wins.value_or("-");
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
        "   3: 0107D50A:ZZZZ 0207D50A:C351 01 garbage\n"
        "   4: 0107D50A\n"
        "\n"
        "   0: 0000000000000000FFFF00000107D50A:008B 0000000000000000FFFF00000207D50A:D000 08 0\n"
        "   1: 00000000000000000000000001000000:008B 00000000000000000000000001000000:D001 01 0\n");
    // State 0C does not exist, two lines are malformed, and ::1 is no IPv4 address.
    ASSERT_EQ(connections.size(), 3u);
    auto expect = [](const TcpConnection &connection, Ipv4Address local, int local_port, Ipv4Address remote,
                     int remote_port, TcpState state) {
        EXPECT_EQ(connection.local, local);
        EXPECT_EQ(connection.local_port, local_port);
        EXPECT_EQ(connection.remote, remote);
        EXPECT_EQ(connection.remote_port, remote_port);
        EXPECT_EQ(connection.state, state);
    };
    expect(connections[0], {10, 213, 7, 1}, 139, {10, 213, 7, 2}, 50000, TcpState::established);
    expect(connections[1], {0, 0, 0, 0}, 139, {0, 0, 0, 0}, 0, TcpState::listen);
    expect(connections[2], {10, 213, 7, 1}, 139, {10, 213, 7, 2}, 0xD000, TcpState::close_wait);
}

}  // namespace
}  // namespace platform::nbt
