// What the transport reads from this host: the LANA map over the interface list, the [netbios] settings and
// the kernel's TCP table.
#include "lana_map.h"
#include "nbt_settings.h"
#include "tcp_table.h"

#include <gtest/gtest.h>

namespace platform::nbt {
namespace {

InterfaceInfo interface(std::string name, unsigned index, bool up, bool broadcast, bool loopback = false,
                        bool ipv4 = true) {
    InterfaceInfo info;
    info.name = std::move(name);
    info.index = index;
    info.up = up;
    info.loopback = loopback;
    if (ipv4) {
        Ipv4Config config;
        config.address = {10, 0, static_cast<std::uint8_t>(index), 1};
        if (broadcast)
            config.broadcast = Ipv4Address{10, 0, static_cast<std::uint8_t>(index), 255};
        info.ipv4 = config;
    }
    return info;
}

const std::vector<InterfaceInfo> host_interfaces = {
    interface("lo", 1, true, false, true),
    interface("eth1", 5, true, true),
    interface("eth0", 2, true, true),
    interface("wg0", 3, true, false),                // point-to-point: no broadcast address
    interface("eth2", 4, false, true),               // down
    interface("eth3", 6, true, true, false, false),  // no IPv4 address
};

std::vector<std::pair<int, std::string>> numbering(const std::vector<LanaBinding> &lanas) {
    std::vector<std::pair<int, std::string>> result;
    for (auto &binding : lanas)
        result.emplace_back(binding.lana, binding.interface.name);
    return result;
}

TEST(LanaMap, WithoutAMapUpBroadcastInterfacesInIndexOrder) {
    std::vector<std::string> problems;
    auto lanas = number_lanas(host_interfaces, {{"wins", "10.0.0.9"}}, problems);
    EXPECT_EQ(numbering(lanas), (std::vector<std::pair<int, std::string>>{{0, "eth0"}, {1, "eth1"}}));
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(number_lanas({}, {}, problems).empty());
}

TEST(LanaMap, AMapPicksAndNumbersInterfacesLoopbackIncluded) {
    std::vector<std::string> problems;
    auto lanas = number_lanas(
        host_interfaces,
        {{"LANA.7", "eth0"}, {"lana.0", "lo"}, {"lana.3", "eth2"}, {"lana.4", "missing"}, {"lana.5", "wg0"}}, problems);
    // eth2 is down and "missing" does not exist: named, but no LANA while they cannot carry anything.
    EXPECT_EQ(numbering(lanas), (std::vector<std::pair<int, std::string>>{{0, "lo"}, {5, "wg0"}, {7, "eth0"}}));
    EXPECT_TRUE(problems.empty());
}

TEST(LanaMap, BadMapEntriesAreReportedAndIgnored) {
    std::vector<std::string> problems;
    auto lanas = number_lanas(host_interfaces,
                              {{"lana.255", "eth0"},
                               {"lana.x", "eth0"},
                               {"lana.", "eth0"},
                               {"lana.1", ""},
                               {"lana.2", "eth1"},
                               {"lana.2", "eth0"}},
                              problems);
    EXPECT_EQ(numbering(lanas), (std::vector<std::pair<int, std::string>>{{2, "eth1"}}));
    EXPECT_EQ(problems.size(), 5u);
}

TEST(Settings, DefaultsValuesAndBadValues) {
    std::vector<std::string> problems;
    auto defaults = parse_settings(std::nullopt, std::nullopt, std::nullopt, problems);
    EXPECT_FALSE(defaults.wins);
    EXPECT_EQ(defaults.retries, 3u);
    EXPECT_EQ(defaults.retry_interval.count(), 250);
    EXPECT_TRUE(problems.empty());

    auto set = parse_settings("192.0.2.1", "5", "100", problems);
    EXPECT_EQ(set.wins, (Ipv4Address{192, 0, 2, 1}));
    EXPECT_EQ(set.retries, 5u);
    EXPECT_EQ(set.retry_interval.count(), 100);
    EXPECT_TRUE(problems.empty());

    auto bad = parse_settings("wins.example", "0", "-3", problems);
    EXPECT_FALSE(bad.wins);
    EXPECT_EQ(bad.retries, 3u);
    EXPECT_EQ(bad.retry_interval.count(), 250);
    EXPECT_EQ(problems.size(), 3u);

    EXPECT_FALSE(parse_ipv4("10.0.0"));
    EXPECT_FALSE(parse_ipv4("10.0.0.256"));
    EXPECT_FALSE(parse_ipv4("10.0.0.1 "));
}

TEST(TcpTable, ParsesIpv4AndMappedIpv6Entries) {
    // Little-endian words, as an x86 kernel prints them.
    const char *ipv4_table =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0107D50A:008B 0207D50A:C350 01 00000000:00000000 00:00000000 00000000     0        0 1 1\n"
        "   1: 00000000:008B 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 2 1\n"
        "   2: 0107D50A:008B 0207D50A:C351 0C 00000000:00000000 00:00000000 00000000     0        0 3 1\n"
        "   3: 0107D50A:ZZZZ 0207D50A:C351 01 garbage\n"
        "   4: 0107D50A\n"
        "\n";
    const char *ipv6_table =
        "  sl  local_address                         remote_address                        st\n"
        "   0: 0000000000000000FFFF00000107D50A:008B 0000000000000000FFFF00000207D50A:D000 08 0\n"
        "   1: 00000000000000000000000001000000:008B 00000000000000000000000001000000:D001 01 0\n";
    if (std::endian::native != std::endian::little)
        GTEST_SKIP() << "the sample tables are those of a little-endian kernel";

    auto connections = parse_tcp_table(ipv4_table);
    ASSERT_EQ(connections.size(), 2u);  // state 0C does not exist; the last two lines are malformed
    EXPECT_EQ(connections[0].local, (Ipv4Address{10, 213, 7, 1}));
    EXPECT_EQ(connections[0].local_port, 139);
    EXPECT_EQ(connections[0].remote, (Ipv4Address{10, 213, 7, 2}));
    EXPECT_EQ(connections[0].remote_port, 50000);
    EXPECT_EQ(connections[0].state, TcpState::established);
    EXPECT_EQ(connections[1].state, TcpState::listen);

    auto mapped = parse_tcp_table(ipv6_table);
    ASSERT_EQ(mapped.size(), 1u);  // ::1 is no IPv4 address
    EXPECT_EQ(mapped[0].local, (Ipv4Address{10, 213, 7, 1}));
    EXPECT_EQ(mapped[0].remote, (Ipv4Address{10, 213, 7, 2}));
    EXPECT_EQ(mapped[0].remote_port, 0xD000);
    EXPECT_EQ(mapped[0].state, TcpState::close_wait);
}

}  // namespace
}  // namespace platform::nbt
