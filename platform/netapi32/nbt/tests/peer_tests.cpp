// NetBIOS over TCP/IP against a real NetBIOS node: Samba's nmbd in a network namespace of the test's own,
// reached through a veth pair that is the only LANA. The commands go through Netbios() as the viewer issues
// them. Skipped (never passed) where namespaces cannot be made.
#include "interfaces.h"
#include "testing/peer_testbed.h"
#include "testing/temporary_prefix.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <nb30.h>

#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <thread>

namespace platform::nbt {
namespace {

using namespace std::chrono_literals;
using testing::ListedName;
using testing::PeerTestbed;

// An asynchronous status command with the fields the viewer sets: a 2048-byte buffer, the call name
// blank-padded, "*" in ncb_name, LANA 0. Its event says when it completed.
struct StatusCommand {
    NCB ncb{};
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(2048, 0xCD);
    HANDLE done = CreateEventA(NULL, TRUE, FALSE, NULL);
    StatusCommand(UCHAR command, const std::string &callname) {
        ncb.ncb_command = command | ASYNCH;
        ncb.ncb_buffer = buffer.data();
        ncb.ncb_length = static_cast<WORD>(buffer.size());
        ncb.ncb_event = done;
        std::memset(ncb.ncb_callname, ' ', NCBNAMSZ);
        std::memcpy(ncb.ncb_callname, callname.data(), std::min<std::size_t>(callname.size(), NCBNAMSZ));
        ncb.ncb_name[0] = '*';
        EXPECT_EQ(Netbios(&ncb), NRC_GOODRET);
    }
    ~StatusCommand() { CloseHandle(done); }
    UCHAR wait() {
        EXPECT_EQ(WaitForSingleObject(done, 60000), WAIT_OBJECT_0);
        return ncb.ncb_retcode;
    }
    // The name table of a completed adapter status.
    std::vector<ListedName> names() {
        ADAPTER_STATUS status;
        std::memcpy(&status, buffer.data(), sizeof status);
        std::vector<ListedName> names;
        for (std::size_t i = 0; i < status.name_count; ++i) {
            NAME_BUFFER entry;
            std::memcpy(&entry, buffer.data() + sizeof status + i * sizeof entry, sizeof entry);
            std::string name(reinterpret_cast<char *>(entry.name), 15);
            name.erase(name.find_last_not_of(std::string(" \0", 2)) + 1);
            names.push_back({name, entry.name[15], (entry.name_flags & GROUP_NAME) != 0, entry.name_flags & 0x07});
            EXPECT_EQ(entry.name_num, i + 1);
        }
        EXPECT_EQ(buffer[sizeof status + names.size() * sizeof(NAME_BUFFER)], 0xCD);  // nothing more
        return names;
    }
};

class RealPeer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        bed_ = PeerTestbed::create(why_not_).release();
        if (bed_)
            platform::testing::reload_prefix();
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
    }
    void TearDown() override {
        if (bed_)
            bed_->stop_peer();
    }
    static void configure(const std::string &lines) {
        bed_->configure(lines);
        platform::testing::reload_prefix();
    }
    std::vector<ListedName> nmblookup_status(const Ipv4Address &address) {
        auto output = bed_->run({"nmblookup", "-s", bed_->client_config(), "-A", testing::dotted(address)});
        EXPECT_TRUE(output) << "nmblookup -A failed";
        return output ? testing::parse_nmblookup(*output) : std::vector<ListedName>{};
    }

    static inline PeerTestbed *bed_ = nullptr;
    static inline std::string why_not_;
};

TEST_F(RealPeer, TheVethIsTheOnlyLanaAndItsPeerAnswersByNameAndByAddress) {
    LANA_ENUM lanas;
    NCB ncb{};
    ncb.ncb_command = NCBENUM;
    ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
    ncb.ncb_length = sizeof lanas;
    ASSERT_EQ(Netbios(&ncb), NRC_GOODRET);
    ASSERT_EQ(lanas.length, 1);
    EXPECT_EQ(lanas.lana[0], 0);
    ncb.ncb_command = NCBRESET;
    EXPECT_EQ(Netbios(&ncb), NRC_GOODRET);
    ncb.ncb_lana_num = 1;
    EXPECT_EQ(Netbios(&ncb), NRC_BRIDGE);

    auto expected = nmblookup_status(bed_->peer_address());
    ASSERT_GE(expected.size(), 4u);  // <00>, <03>, <20> and the workgroup's names
    StatusCommand by_name(NCBASTAT, bed_->peer_name());
    StatusCommand by_address(NCBASTAT, testing::dotted(bed_->peer_address()));
    StatusCommand nobody(NCBASTAT, "NOBODYHOLDSIT");
    ASSERT_EQ(by_name.wait(), NRC_GOODRET);
    ASSERT_EQ(by_address.wait(), NRC_GOODRET);
    EXPECT_EQ(by_name.names(), expected);
    EXPECT_EQ(by_name.buffer, by_address.buffer);
    EXPECT_EQ(nobody.wait(), NRC_CMDTMO);
    EXPECT_EQ(nobody.buffer[0], 0xCD);
}

TEST_F(RealPeer, NamesResolveByUnicastToTheConfiguredWinsServer) {
    configure("wins = " + testing::dotted(bed_->peer_address()) + "\n");
    StatusCommand by_wins(NCBASTAT, bed_->peer_name());
    StatusCommand unknown(NCBASTAT, "NOSUCHNAME");  // the server says so at once
    EXPECT_EQ(by_wins.wait(), NRC_GOODRET);
    EXPECT_EQ(unknown.wait(), NRC_CMDTMO);

    // A WINS server that does not answer: the broadcast that would find the peer is not sent.
    configure("wins = 10.213.7.3\n");
    StatusCommand silent_wins(NCBASTAT, bed_->peer_name());
    EXPECT_EQ(silent_wins.wait(), NRC_CMDTMO);
    configure("");
    EXPECT_EQ(by_wins.names(), nmblookup_status(bed_->peer_address()));
}

TEST_F(RealPeer, KillingThePeerMidQueryCompletesTheCommand) {
    auto packets_sent = [] {
        for (auto &interface : list_interfaces()) {
            if (interface.name == bed_->local_interface())
                return interface.counters.tx_packets;
        }
        return 0u;
    };
    bed_->signal_peer(SIGSTOP);  // the peer hears the query but cannot answer
    auto before = packets_sent();
    StatusCommand call(NCBASTAT, bed_->peer_name());
    // The query has left when the veth counts one more packet sent; the stopped peer holds it unanswered.
    for (auto limit = std::chrono::steady_clock::now() + 30s;
         packets_sent() == before && std::chrono::steady_clock::now() < limit;)
        std::this_thread::yield();
    bed_->signal_peer(SIGKILL);
    EXPECT_EQ(call.wait(), NRC_CMDTMO);
}

TEST_F(RealPeer, LocalAdapterShowsTheVethMacCountersAndTheLocalNodesNames) {
    ifreq request{};
    std::strncpy(request.ifr_name, bed_->local_interface().c_str(), IFNAMSIZ - 1);
    int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_EQ(::ioctl(probe, SIOCGIFHWADDR, &request), 0);
    ::close(probe);
    StatusCommand alone(NCBASTAT, "*");
    ASSERT_EQ(alone.wait(), NRC_GOODRET);
    ADAPTER_STATUS status;
    std::memcpy(&status, alone.buffer.data(), sizeof status);
    EXPECT_EQ(std::memcmp(status.adapter_address, request.ifr_hwaddr.sa_data, 6), 0);
    EXPECT_GT(status.xmit_success, 0u);  // the name queries that found the peer went out here
    EXPECT_GT(status.recv_success, 0u);
    EXPECT_EQ(status.name_count, 0);  // no NetBIOS node of our own on this end yet

    std::string error;
    ASSERT_TRUE(bed_->start_local_node(error)) << error;
    auto expected = nmblookup_status(bed_->local_address());
    ASSERT_FALSE(expected.empty());
    StatusCommand with_node(NCBASTAT, "*");
    ASSERT_EQ(with_node.wait(), NRC_GOODRET);
    EXPECT_EQ(with_node.names(), expected);
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
    StatusCommand none(NCBSSTAT, "");
    ASSERT_EQ(none.wait(), NRC_GOODRET);
    EXPECT_EQ(none.buffer[1], 0);  // num_sess: a listening socket is no session

    int client = bed_->connect_from_peer(139);
    ASSERT_GE(client, 0);
    int server = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(server, 0);
    StatusCommand one(NCBSSTAT, "");
    UCHAR retcode = one.wait();
    ::close(server);
    ::close(client);
    ::close(listener);
    ASSERT_EQ(retcode, NRC_GOODRET);
    SESSION_HEADER header;
    SESSION_BUFFER session;
    std::memcpy(&header, one.buffer.data(), sizeof header);
    std::memcpy(&session, one.buffer.data() + sizeof header, sizeof session);
    EXPECT_EQ(header.num_sess, 1);
    EXPECT_NE(header.sess_name, 0);
    EXPECT_EQ(session.lsn, 1);
    EXPECT_EQ(session.state, SESSION_ESTABLISHED);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(session.remote_name), 16), "10.213.7.2      ");
    EXPECT_EQ(session.local_name[15], 0x20);
}

}  // namespace
}  // namespace platform::nbt
