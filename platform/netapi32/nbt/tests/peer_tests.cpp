// NetBIOS over TCP/IP against Samba's nmbd in a network namespace of the test's own, reached through a veth pair
// that is the only LANA (0), through Netbios(). Skipped (never passed) where namespaces cannot be made.
#include "interfaces.h"
#include "nbt_transport.h"
#include "testing/flooding_peer.h"
#include "testing/peer_testbed.h"
#include "testing/temporary_prefix.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <nb30.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace platform::nbt {
namespace {

using namespace std::chrono_literals;
using testing::ListedName;
using testing::PeerTestbed;

// An asynchronous status command as the viewer issues it (2048 bytes, blank-padded call name, "*" in ncb_name).
struct StatusCommand {
    NCB ncb{};
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(2048, 0xCD);
    StatusCommand(UCHAR command, const std::string &callname, UCHAR asynch = ASYNCH) {
        ncb.ncb_command = command | asynch;
        ncb.ncb_buffer = buffer.data();
        ncb.ncb_length = static_cast<WORD>(buffer.size());
        ncb.ncb_event = CreateEventA(NULL, TRUE, FALSE, NULL);
        std::memset(ncb.ncb_callname, ' ', NCBNAMSZ);
        std::memcpy(ncb.ncb_callname, callname.data(), std::min<std::size_t>(callname.size(), NCBNAMSZ));
        ncb.ncb_name[0] = '*';
        UCHAR immediate = Netbios(&ncb);
        EXPECT_TRUE(!asynch || immediate == NRC_GOODRET) << int(immediate);
    }
    ~StatusCommand() { CloseHandle(ncb.ncb_event); }
    UCHAR wait() {
        EXPECT_EQ(WaitForSingleObject(ncb.ncb_event, 60000), WAIT_OBJECT_0);
        return ncb.ncb_retcode;
    }
    // The name table of a completed adapter status, numbered from 1, with nothing written past it.
    std::vector<ListedName> names() {
        std::vector<ListedName> names;
        for (std::size_t i = 0; i < buffer[offsetof(ADAPTER_STATUS, name_count)]; ++i) {
            NAME_BUFFER entry;
            std::memcpy(&entry, buffer.data() + sizeof(ADAPTER_STATUS) + i * sizeof entry, sizeof entry);
            std::string name(reinterpret_cast<char *>(entry.name), 15);
            name.erase(name.find_last_not_of(std::string(" \0", 2)) + 1);
            names.push_back({name, entry.name[15], (entry.name_flags & GROUP_NAME) != 0, entry.name_flags & 0x07});
            EXPECT_EQ(entry.name_num, i + 1);
        }
        EXPECT_EQ(buffer[sizeof(ADAPTER_STATUS) + names.size() * sizeof(NAME_BUFFER)], 0xCD);
        return names;
    }
};

class RealPeer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        bed_ = PeerTestbed::create(why_not_);
        if (bed_ && !bed_->start_peer(why_not_))
            bed_.reset();
        platform::testing::reload_prefix();
    }
    static void TearDownTestSuite() { bed_.reset(); }
    void SetUp() override {
        if (!bed_)
            GTEST_SKIP() << "no test network: " << why_not_;
    }
    static void configure(const std::string &lines) { bed_->configure(lines), platform::testing::reload_prefix(); }
    static std::vector<ListedName> nmblookup_status(const Ipv4Address &address) {
        auto output = bed_->run({"nmblookup", "-s", bed_->client_config(), "-A", testing::dotted(address)});
        EXPECT_TRUE(output) << "nmblookup -A failed";
        return output ? testing::parse_nmblookup(*output) : std::vector<ListedName>{};
    }
    static inline std::unique_ptr<PeerTestbed> bed_;
    static inline std::string why_not_;
};

TEST_F(RealPeer, RemoteAdapterStatusByNameAndByAddressMatchesNmblookup) {
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

// The veth's MAC address and counters, the local node's names, and connections to port 139 as sessions.
TEST_F(RealPeer, LocalAdapterAndSessions) {
    InterfaceInfo veth;
    for (auto &interface : list_interfaces())
        veth = interface.name == bed_->local_interface() ? interface : veth;
    StatusCommand alone(NCBASTAT, "*");
    ASSERT_EQ(alone.wait(), NRC_GOODRET);
    ADAPTER_STATUS status;
    std::memcpy(&status, alone.buffer.data(), sizeof status);
    EXPECT_EQ(std::memcmp(status.adapter_address, veth.mac.data(), 6), 0);
    EXPECT_GT(status.xmit_success, 0u);  // the name queries that found the peer went out here
    EXPECT_GT(status.recv_success, 0u);
    EXPECT_EQ(status.name_count, 0);  // no NetBIOS node of our own on this end yet

    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, htons(139), {}, {}};
    std::memcpy(&address.sin_addr, bed_->local_address().data(), 4);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    int client = bed_->connect_from_peer(139);
    int server = ::accept(listener, nullptr, nullptr);
    StatusCommand one(NCBSSTAT, "");
    EXPECT_EQ(one.wait(), NRC_GOODRET);
    for (int descriptor : {server, client, listener})
        ::close(descriptor);
    SESSION_BUFFER session;
    std::memcpy(&session, one.buffer.data() + sizeof(SESSION_HEADER), sizeof session);
    // sess_name, num_sess, ...: with no local node the sessions belong to the host's name <20>, number 1.
    EXPECT_EQ(std::vector<int>({one.buffer[0], one.buffer[1], session.lsn, session.state, session.local_name[15]}),
              std::vector<int>({1, 1, 1, SESSION_ESTABLISHED, 0x20}));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(session.remote_name), 16), "10.213.7.2      ");

    std::string error;
    ASSERT_TRUE(bed_->start_local_node(error)) << error;
    StatusCommand with_node(NCBASTAT, "*");
    ASSERT_EQ(with_node.wait(), NRC_GOODRET);
    EXPECT_EQ(with_node.names(), nmblookup_status(bed_->local_address()));
}

// NetBIOS over TCP/IP with a command timeout of the test's choosing.
class ShortTimeout final : public netbios::Transport {
public:
    std::vector<std::uint8_t> lanas() override { return nbt_->lanas(); }
    std::chrono::milliseconds command_timeout() override { return 300ms; }
    std::uint8_t reset(std::uint8_t, netbios::Deadline) override { return NRC_GOODRET; }
    netbios::Reply adapter_status(std::uint8_t lana, const netbios::Name &name, netbios::Deadline deadline) override {
        return nbt_->adapter_status(lana, name, deadline);
    }
    netbios::Reply session_status(std::uint8_t, const netbios::Name &, netbios::Deadline) override { return {}; }
    std::unique_ptr<netbios::Operation> start_adapter_status(std::uint8_t lana, const netbios::Name &name,
                                                             netbios::Deadline deadline) override {
        return nbt_->start_adapter_status(lana, name, deadline);
    }

private:
    std::shared_ptr<netbios::Transport> nbt_ = make_nbt_transport();
};

// A node that floods the asking socket with datagrams that answer nothing cannot keep a command past its
// deadline, waited for on the caller's thread or on the completion loop; and the socket, back in its pool with
// the flood's leftovers in it, serves the next command.
TEST_F(RealPeer, AFloodOfDatagramsThatAnswerNothingDoesNotDelayTheDeadline) {
    testing::FloodingPeer flood;
    ASSERT_EQ(flood.start(*bed_), "");
    netbios::install_transport(std::make_shared<ShortTimeout>());
    for (UCHAR asynch : {UCHAR(0), UCHAR(ASYNCH)}) {
        std::size_t sent_before = flood.sent();
        auto started = std::chrono::steady_clock::now();
        StatusCommand flooded(NCBASTAT, testing::dotted(flood.address()), asynch);
        EXPECT_EQ(asynch ? flooded.wait() : flooded.ncb.ncb_retcode, NRC_CMDTMO) << int(asynch);
        auto took = std::chrono::steady_clock::now() - started;
        EXPECT_TRUE(took >= 300ms && took <= 350ms) << int(asynch) << ": " << (took / 1us) << " us";
        EXPECT_GT(flood.sent() - sent_before, 1000u) << int(asynch);  // the flood did reach the command
    }
    StatusCommand after(NCBASTAT, testing::dotted(bed_->peer_address()));
    EXPECT_EQ(after.wait(), NRC_GOODRET);
    netbios::install_transport(nullptr);
}

}  // namespace
}  // namespace platform::nbt
