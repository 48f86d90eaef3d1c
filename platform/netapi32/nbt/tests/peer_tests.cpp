// NetBIOS over TCP/IP against a real NetBIOS node: Samba's nmbd in a network namespace of the test's own,
// reached through a veth pair that is the only LANA. The commands go through Netbios() as the viewer issues
// them. Skipped (never passed) where namespaces cannot be made.
#include "nbt_transport.h"
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

#include <cctype>
#include <chrono>
#include <cstring>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <sstream>

namespace platform::nbt {
namespace {

using namespace std::chrono_literals;
using testing::ListedName;
using testing::parse_nmblookup;
using testing::PeerTestbed;

// A status reply as the viewer's 2048-byte block holds it.
struct Completed {
    UCHAR retcode = NRC_PENDING;
    std::vector<std::uint8_t> bytes;
};

std::vector<ListedName> names_of(const Completed &reply) {
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

// Completion of asynchronous commands: the post routine files the NCB here.
std::mutex posted_lock;
std::condition_variable posted_signal;
std::vector<const NCB *> posted;

void CALLBACK RecordPost(NCB *ncb) {
    std::lock_guard guard(posted_lock);
    posted.push_back(ncb);
    posted_signal.notify_all();
}

// Takes the NCB's completion off the list, so that a later NCB at the same address waits for its own.
bool wait_for_post(const NCB *ncb, std::chrono::seconds limit) {
    std::unique_lock lock(posted_lock);
    if (!posted_signal.wait_for(lock, limit, [&] { return std::count(posted.begin(), posted.end(), ncb) > 0; }))
        return false;
    posted.erase(std::find(posted.begin(), posted.end(), ncb));
    return true;
}

// An asynchronous status command with every field the viewer sets: a 2048-byte buffer, the call name
// blank-padded (adapter status) or "*" and zeros in ncb_name (session status), a post routine, LANA 0.
class StatusCommand {
public:
    StatusCommand(UCHAR command, const std::string &callname) : buffer_(2048, 0xCD) {
        ncb_.ncb_command = command | ASYNCH;
        ncb_.ncb_buffer = buffer_.data();
        ncb_.ncb_length = static_cast<WORD>(buffer_.size());
        if (command == NCBASTAT) {
            std::memset(ncb_.ncb_callname, ' ', NCBNAMSZ);
            std::memcpy(ncb_.ncb_callname, callname.data(), std::min<std::size_t>(callname.size(), NCBNAMSZ));
        } else {
            ncb_.ncb_name[0] = '*';
        }
        ncb_.ncb_post = RecordPost;
        ncb_.ncb_lana_num = 0;
    }
    UCHAR issue() { return Netbios(&ncb_); }
    // Waits (generously) for the post routine; the reply as far as the record says it goes.
    Completed wait() {
        Completed done;
        if (!wait_for_post(&ncb_, std::chrono::seconds(60)))
            return done;
        done.retcode = ncb_.ncb_retcode;
        if (done.retcode == NRC_GOODRET)
            done.bytes.assign(buffer_.begin(), buffer_.end());
        return done;
    }

private:
    NCB ncb_{};
    std::vector<std::uint8_t> buffer_;
};

Completed status_of(UCHAR command, const std::string &callname) {
    StatusCommand call(command, callname);
    EXPECT_EQ(call.issue(), NRC_GOODRET);
    return call.wait();
}

UCHAR synchronous(UCHAR command, UCHAR lana, void *buffer = nullptr, WORD length = 0) {
    NCB ncb{};
    ncb.ncb_command = command;
    ncb.ncb_lana_num = lana;
    ncb.ncb_buffer = static_cast<PUCHAR>(buffer);
    ncb.ncb_length = length;
    return Netbios(&ncb);
}

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

    static Completed adapter_status(const std::string &name) { return status_of(NCBASTAT, name); }
    std::vector<ListedName> nmblookup_status(const Ipv4Address &address) {
        auto output = bed_->run({"nmblookup", "-s", bed_->client_config(), "-A", testing::dotted(address)});
        EXPECT_TRUE(output) << "nmblookup -A failed";
        return output ? parse_nmblookup(*output) : std::vector<ListedName>{};
    }

    static inline PeerTestbed *bed_ = nullptr;
    static inline std::string why_not_;
};

TEST_F(RealPeer, TheTestVethIsTheOnlyLanaAndResets) {
    LANA_ENUM lanas;
    std::memset(&lanas, 0xCD, sizeof lanas);
    ASSERT_EQ(synchronous(NCBENUM, 0, &lanas, sizeof lanas), NRC_GOODRET);
    ASSERT_EQ(lanas.length, 1);
    EXPECT_EQ(lanas.lana[0], 0);
    EXPECT_EQ(synchronous(NCBRESET, 0), NRC_GOODRET);
    EXPECT_EQ(synchronous(NCBRESET, 1), NRC_BRIDGE);
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
    EXPECT_EQ(by_name.bytes[sizeof(ADAPTER_STATUS) + expected.size() * sizeof(NAME_BUFFER)], 0xCD);  // no more
}

TEST_F(RealPeer, NamesResolveByUnicastToTheConfiguredWinsServer) {
    bed_->configure("wins = " + testing::dotted(bed_->peer_address()) + "\n");
    platform::testing::reload_prefix();
    auto by_wins = adapter_status(bed_->peer_name());
    auto unknown = adapter_status("NOSUCHNAME");  // the server says so at once

    // A WINS server that does not answer: the broadcast that would find the peer is not sent.
    bed_->configure("wins = 10.213.7.3\n");
    platform::testing::reload_prefix();
    auto silent_wins = adapter_status(bed_->peer_name());
    bed_->configure("");
    platform::testing::reload_prefix();

    EXPECT_EQ(by_wins.retcode, NRC_GOODRET);
    EXPECT_EQ(names_of(by_wins), nmblookup_status(bed_->peer_address()));
    EXPECT_EQ(unknown.retcode, NRC_CMDTMO);
    EXPECT_EQ(silent_wins.retcode, NRC_CMDTMO);
}

TEST_F(RealPeer, ANameNobodyHoldsTimesOutWithinItsDeadline) {
    auto reply = adapter_status("NOBODYHOLDSIT");
    EXPECT_EQ(reply.retcode, NRC_CMDTMO);

    // The transport itself keeps a deadline shorter than its tries: never past it by more than one retry
    // interval, with a generous allowance on top for the scheduler of a loaded machine.
    auto transport = make_nbt_transport();
    netbios::Name name;
    name.fill(' ');
    std::memcpy(name.data(), "NOBODYHOLDSIT", 13);
    auto deadline = netbios::Clock::now() + 400ms;
    auto direct = transport->adapter_status(0, name, deadline);
    EXPECT_EQ(direct.retcode, NRC_CMDTMO);
    EXPECT_TRUE(direct.bytes.empty());
    EXPECT_LT(netbios::Clock::now(), deadline + 250ms + 2s);
}

TEST_F(RealPeer, KillingThePeerMidQueryCompletesTheCommand) {
    bed_->signal_peer(SIGSTOP);  // the peer hears the query but cannot answer
    StatusCommand call(NCBASTAT, bed_->peer_name());
    ASSERT_EQ(call.issue(), NRC_GOODRET);
    std::this_thread::sleep_for(100ms);
    bed_->signal_peer(SIGKILL);
    EXPECT_EQ(call.wait().retcode, NRC_CMDTMO);
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

    auto none = status_of(NCBSSTAT, "*");
    ASSERT_EQ(none.retcode, NRC_GOODRET);
    EXPECT_EQ(none.bytes[1], 0);  // num_sess: a listening socket is no session

    int client = bed_->connect_from_peer(139);
    ASSERT_GE(client, 0);
    int server = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(server, 0);

    auto reply = status_of(NCBSSTAT, "*");
    ::close(server);
    ::close(client);
    ::close(listener);
    ASSERT_EQ(reply.retcode, NRC_GOODRET);
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
