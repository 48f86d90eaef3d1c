// The transport against a real NetBIOS node: Samba's nmbd in a network namespace of the test's own, reached
// through a veth pair that is the only LANA. Skipped (never passed) where namespaces cannot be made.
#include "netapi32/nbt/nbt_transport.h"
#include "peer_testbed.h"
#include "prefix/prefix.h"

#include <gtest/gtest.h>
#include <nb30.h>

#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <future>
#include <sstream>

namespace platform::nbt {
namespace {

using namespace std::chrono_literals;
using testing::PeerTestbed;

struct ListedName {
    std::string name;
    int type = 0;
    bool group = false;
    int state = 0;
    bool operator==(const ListedName &) const = default;
};

std::ostream &operator<<(std::ostream &out, const ListedName &n) {
    return out << n.name << "<" << std::hex << n.type << std::dec << ">" << (n.group ? " group" : "") << " state "
               << n.state;
}

// The names of an `nmblookup -A` listing: "\tNAME            <20> - <GROUP> B <ACTIVE> <CONFLICT>".
std::vector<ListedName> parse_nmblookup(const std::string &text) {
    std::vector<ListedName> names;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        auto open = line.find('<');
        if (line.empty() || line[0] != '\t' || open == std::string::npos || line.find("> -") != open + 3)
            continue;
        ListedName entry;
        entry.name = line.substr(1, open - 1);
        while (!entry.name.empty() && entry.name.back() == ' ')
            entry.name.pop_back();
        entry.type = std::stoi(line.substr(open + 1, 2), nullptr, 16);
        entry.group = line.find("<GROUP>") != std::string::npos;
        bool deregistering = line.find("<DEREGISTERING>") != std::string::npos;
        bool conflict = line.find("<CONFLICT>") != std::string::npos;
        entry.state = deregistering && conflict ? DUPLICATE_DEREG
                      : conflict                ? DUPLICATE
                      : deregistering           ? DEREGISTERED
                                                : REGISTERED;
        names.push_back(entry);
    }
    return names;
}

std::vector<ListedName> names_of(const netbios::Reply &reply) {
    std::vector<ListedName> names;
    ADAPTER_STATUS status{};
    if (reply.bytes.size() < sizeof status)
        return names;
    std::memcpy(&status, reply.bytes.data(), sizeof status);
    for (std::size_t i = 0; i < status.name_count; ++i) {
        NAME_BUFFER entry{};
        std::memcpy(&entry, reply.bytes.data() + sizeof status + i * sizeof entry, sizeof entry);
        ListedName listed;
        listed.name.assign(reinterpret_cast<char *>(entry.name), 15);
        while (!listed.name.empty() && (listed.name.back() == ' ' || listed.name.back() == '\0'))
            listed.name.pop_back();
        listed.type = entry.name[15];
        listed.group = entry.name_flags & GROUP_NAME;
        listed.state = entry.name_flags & 0x07;
        EXPECT_EQ(entry.name_num, i + 1);
        names.push_back(listed);
    }
    return names;
}

netbios::Name call_name(const std::string &text) {
    netbios::Name name;
    name.fill(' ');
    std::memcpy(name.data(), text.data(), std::min<std::size_t>(text.size(), 16));
    return name;
}

class RealPeer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        bed_ = PeerTestbed::create(why_not_).release();
        if (bed_)
            prefix::reload();
    }
    static void TearDownTestSuite() {
        delete bed_;
        bed_ = nullptr;
    }
    void SetUp() override {
        if (!bed_)
            GTEST_SKIP() << "no test network: " << why_not_;
        std::string error;
        ASSERT_TRUE(bed_->start_peer(error)) << error;
        transport_ = make_nbt_transport();
    }
    void TearDown() override {
        if (bed_)
            bed_->stop_peer();
    }

    netbios::Reply adapter_status(const std::string &name, std::chrono::milliseconds within = 10s) {
        return transport_->adapter_status(0, call_name(name), netbios::Clock::now() + within);
    }
    std::vector<ListedName> nmblookup_status(const Ipv4Address &address) {
        auto output = bed_->run({"nmblookup", "-s", bed_->client_config(), "-A", testing::dotted(address)});
        EXPECT_TRUE(output) << "nmblookup -A failed";
        return output ? parse_nmblookup(*output) : std::vector<ListedName>{};
    }

    static inline PeerTestbed *bed_ = nullptr;
    static inline std::string why_not_;
    std::shared_ptr<netbios::Transport> transport_;
};

TEST_F(RealPeer, TheTestVethIsTheOnlyLanaAndResets) {
    EXPECT_EQ(transport_->lanas(), std::vector<std::uint8_t>{0});
    EXPECT_EQ(transport_->reset(0, netbios::Clock::now() + 5s), NRC_GOODRET);
    EXPECT_EQ(transport_->reset(1, netbios::Clock::now() + 5s), NRC_BRIDGE);
}

TEST_F(RealPeer, AdapterStatusByNameAndByAddressMatchesNmblookup) {
    auto expected = nmblookup_status(bed_->peer_address());
    ASSERT_GE(expected.size(), 4u);  // <00>, <03>, <20> and the workgroup's names

    auto by_name = adapter_status(bed_->peer_name());
    ASSERT_EQ(by_name.retcode, NRC_GOODRET);
    EXPECT_EQ(names_of(by_name), expected);

    auto by_address = adapter_status(testing::dotted(bed_->peer_address()));
    ASSERT_EQ(by_address.retcode, NRC_GOODRET);
    EXPECT_EQ(names_of(by_address), expected);
    EXPECT_EQ(by_name.bytes, by_address.bytes);
}

TEST_F(RealPeer, ANameNobodyHoldsTimesOutWithinItsDeadline) {
    auto deadline = netbios::Clock::now() + 600ms;
    auto reply = transport_->adapter_status(0, call_name("NOBODYHOLDSIT"), deadline);
    EXPECT_EQ(reply.retcode, NRC_CMDTMO);
    EXPECT_TRUE(reply.bytes.empty());
    // Never past the deadline by more than one retry interval; the scheduler of a loaded machine gets a
    // generous allowance on top.
    EXPECT_LT(netbios::Clock::now(), deadline + 250ms + 2s);
}

TEST_F(RealPeer, KillingThePeerMidQueryCompletesTheCommand) {
    bed_->signal_peer(SIGSTOP);  // the peer hears the query but cannot answer
    auto pending = std::async(std::launch::async, [this] { return adapter_status(bed_->peer_name(), 5s); });
    std::this_thread::sleep_for(100ms);
    bed_->signal_peer(SIGKILL);
    ASSERT_EQ(pending.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(pending.get().retcode, NRC_CMDTMO);
}

TEST_F(RealPeer, LocalAdapterShowsTheVethMacAndCounters) {
    ifreq request{};
    std::strncpy(request.ifr_name, bed_->local_interface().c_str(), IFNAMSIZ - 1);
    int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_EQ(::ioctl(probe, SIOCGIFHWADDR, &request), 0);
    ::close(probe);

    auto reply = adapter_status("*");
    ASSERT_EQ(reply.retcode, NRC_GOODRET);
    ADAPTER_STATUS status{};
    ASSERT_GE(reply.bytes.size(), sizeof status);
    std::memcpy(&status, reply.bytes.data(), sizeof status);
    EXPECT_EQ(std::memcmp(status.adapter_address, request.ifr_hwaddr.sa_data, 6), 0);
    EXPECT_GT(status.xmit_success, 0u);  // the name queries that found the peer went out here
    EXPECT_GT(status.recv_success, 0u);
    EXPECT_EQ(status.name_count, 0);  // no NetBIOS node of our own on this end
    EXPECT_EQ(reply.bytes.size(), sizeof status);
}

TEST_F(RealPeer, LocalAdapterNameTableIsWhatTheLocalNodeAnswers) {
    std::string error;
    ASSERT_TRUE(bed_->start_local_node(error)) << error;
    auto expected = nmblookup_status(bed_->local_address());
    ASSERT_FALSE(expected.empty());
    auto reply = adapter_status("*");
    ASSERT_EQ(reply.retcode, NRC_GOODRET);
    EXPECT_EQ(names_of(reply), expected);
}

TEST_F(RealPeer, SessionStatusListsPort139ConnectionsOnTheLanaAddress) {
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(139);
    auto local = bed_->local_address();
    std::memcpy(&address.sin_addr, local.data(), 4);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);

    auto every_name = netbios::Name{'*'};
    auto none = transport_->session_status(0, every_name, netbios::Clock::now() + 10s);
    ASSERT_EQ(none.retcode, NRC_GOODRET);
    ASSERT_EQ(none.bytes.size(), sizeof(SESSION_HEADER));  // a listening socket is no session

    int client = bed_->connect_from_peer(139);
    ASSERT_GE(client, 0);
    int server = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(server, 0);

    auto reply = transport_->session_status(0, every_name, netbios::Clock::now() + 10s);
    ::close(server);
    ::close(client);
    ::close(listener);
    ASSERT_EQ(reply.retcode, NRC_GOODRET);
    ASSERT_EQ(reply.bytes.size(), sizeof(SESSION_HEADER) + sizeof(SESSION_BUFFER));
    SESSION_HEADER header;
    SESSION_BUFFER session;
    std::memcpy(&header, reply.bytes.data(), sizeof header);
    std::memcpy(&session, reply.bytes.data() + sizeof header, sizeof session);
    EXPECT_EQ(header.num_sess, 1);
    EXPECT_NE(header.sess_name, 0);
    EXPECT_EQ(session.lsn, 1);
    EXPECT_EQ(session.state, SESSION_ESTABLISHED);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(session.remote_name), 16), "10.213.7.2      ");
    EXPECT_EQ(session.local_name[15], 0x20);
}

}  // namespace
}  // namespace platform::nbt
