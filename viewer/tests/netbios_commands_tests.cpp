// Start-up discovery and the viewer's command blocks, against the scripted NetBIOS transport.
#include <gtest/gtest.h>

#include <testing/scripted_netbios.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "netbios_commands.h"
#include "report_fixture.h"

using platform::testing::ScriptedNetbios;
using platform::testing::ScriptedReply;

namespace {

// Keeps a copy of every whole NCB as it reached Netbios(), before the call filled in any result, and passes
// each on to the scripted transport's own recording.
class WholeNcbRecorder : public platform::netbios::NcbObserver {
public:
    void issued(const platform::netbios::IssuedNcb &ncb) override {
        {
            std::lock_guard lock(mutex_);
            ncbs_.push_back(*ncb.ncb);
        }
        if (next_)
            next_->issued(ncb);
    }
    std::vector<NCB> ncbs() const {
        std::lock_guard lock(mutex_);
        return ncbs_;
    }
    std::shared_ptr<platform::netbios::NcbObserver> next_;

private:
    mutable std::mutex mutex_;
    std::vector<NCB> ncbs_;
};

// Records whole NCBs from construction to destruction. Made after the ScriptedNetbios it forwards to and
// gone before it, so that each puts back what it found.
class NcbRecording {
public:
    NcbRecording() : recorder_(std::make_shared<WholeNcbRecorder>()) {
        recorder_->next_ = platform::netbios::install_ncb_observer(recorder_);
    }
    ~NcbRecording() { platform::netbios::install_ncb_observer(recorder_->next_); }
    NcbRecording(const NcbRecording &) = delete;
    NcbRecording &operator=(const NcbRecording &) = delete;

    std::vector<NCB> ncbs() const { return recorder_->ncbs(); }
    // The LANA numbers of the reset commands issued, in order.
    std::vector<int> reset_lanas() const {
        std::vector<int> lanas;
        for (const NCB &ncb : ncbs()) {
            if (ncb.ncb_command == NCBRESET)
                lanas.push_back(ncb.ncb_lana_num);
        }
        return lanas;
    }

private:
    std::shared_ptr<WholeNcbRecorder> recorder_;
};

// An NCB with the given fields and every other byte 0.
NCB ZeroNcb() {
    NCB ncb;
    std::memset(&ncb, 0, sizeof(ncb));
    return ncb;
}

::testing::AssertionResult SameBytes(const NCB &actual, const NCB &expected) {
    if (std::memcmp(&actual, &expected, sizeof(NCB)) == 0)
        return ::testing::AssertionSuccess();
    auto result = ::testing::AssertionFailure() << "NCB bytes differ at";
    const auto *a = reinterpret_cast<const unsigned char *>(&actual);
    const auto *e = reinterpret_cast<const unsigned char *>(&expected);
    for (size_t i = 0; i < sizeof(NCB); ++i) {
        if (a[i] != e[i])
            result << " [" << i << "] " << int(a[i]) << "!=" << int(e[i]);
    }
    return result;
}

class NetbiosCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { tarvoke::testing::RestoreSlotTables(); }
    void TearDown() override { tarvoke::testing::RestoreSlotTables(); }

    static std::vector<SHORT> States() {
        std::vector<SHORT> states;
        for (const LANASLOT &slot : LanaSlots)
            states.push_back(slot.nState);
        return states;
    }

    ScriptedNetbios netbios_;
    NcbRecording recording_;
};

const SHORT U = -1;  // unusable

TEST_F(NetbiosCommandsTest, DiscoveryResetsTheListedLanasAndSetsEverySlot) {
    const struct {
        std::vector<std::uint8_t> listed;
        std::vector<int> resets;
        std::vector<SHORT> states;
    } cases[] = {
        {{0, 1}, {0, 1}, {0, 0, U, U, U, U, U, U, U, U, U, U}},
        {{3}, {3}, {U, U, U, 0, U, U, U, U, U, U, U, U}},
        // Numbers of 12 or more have no slot and are not reset; the list's order is kept.
        {{12, 11, 200, 5, 254}, {11, 5}, {U, U, U, U, U, 0, U, U, U, U, U, 0}},
        {{}, {}, {U, U, U, U, U, U, U, U, U, U, U, U}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.resets));
        tarvoke::testing::RestoreSlotTables();
        LanaSlots[7].nState = 0;  // a slot not listed this time is set back to -1
        ScriptedNetbios netbios;  // a fresh script and recording per case
        NcbRecording recording;
        netbios.set_lanas(c.listed);

        EXPECT_EQ(DiscoverLanas(), NRC_GOODRET);

        EXPECT_EQ(States(), c.states);
        EXPECT_EQ(recording.reset_lanas(), c.resets);
        EXPECT_EQ(netbios.issued().size(), 1 + c.resets.size());
    }
}

TEST_F(NetbiosCommandsTest, AFailedEnumerationResetsNothingAndChangesNoSlot) {
    netbios_.set_lanas({0, 1});
    netbios_.set_enumeration_retcode(NRC_SYSTEM);
    LanaSlots[2].nState = 0;

    EXPECT_EQ(DiscoverLanas(), NRC_SYSTEM);

    EXPECT_EQ(States(), (std::vector<SHORT>{U, U, 0, U, U, U, U, U, U, U, U, U}));
    EXPECT_TRUE(recording_.reset_lanas().empty());
    EXPECT_EQ(netbios_.issued().size(), 1u);
}

TEST_F(NetbiosCommandsTest, ALanaWhoseResetFailsIsStillPresent) {
    netbios_.set_lanas({0, 2});
    netbios_.set_reset(0, NRC_SYSTEM);
    netbios_.set_reset(2, NRC_NORESOURCES);

    EXPECT_EQ(DiscoverLanas(), NRC_GOODRET);

    EXPECT_EQ(States(), (std::vector<SHORT>{0, U, 0, U, U, U, U, U, U, U, U, U}));
    EXPECT_EQ(recording_.reset_lanas(), (std::vector<int>{0, 2}));
}

TEST_F(NetbiosCommandsTest, EnumerationAndResetBlocksSetTheirFieldsAndNothingElse) {
    netbios_.set_lanas({9});
    ASSERT_EQ(DiscoverLanas(), NRC_GOODRET);

    std::vector<NCB> ncbs = recording_.ncbs();
    ASSERT_EQ(ncbs.size(), 2u);
    NCB enumerate = ZeroNcb();
    enumerate.ncb_command = 0x37;
    enumerate.ncb_buffer = reinterpret_cast<PUCHAR>(&leLanas);
    enumerate.ncb_length = 256;
    EXPECT_TRUE(SameBytes(ncbs[0], enumerate));
    EXPECT_EQ(leLanas.length, 1);
    EXPECT_EQ(leLanas.lana[0], 9);

    NCB reset = ZeroNcb();
    reset.ncb_command = 0x32;
    reset.ncb_lana_num = 9;
    EXPECT_TRUE(SameBytes(ncbs[1], reset));
    EXPECT_EQ(netbios_.issued()[0].ncb, &ncbEnumerate);
}

TEST_F(NetbiosCommandsTest, ResetLanaPutsTheLowByteOfTheNumberIntoTheBlock) {
    netbios_.set_lanas({4});
    ResetLana(0x0104);
    ASSERT_EQ(recording_.reset_lanas(), (std::vector<int>{4}));
}

// Status command blocks, filled over garbage to show that every other field is zeroed.
void CALLBACK SomePost(PNCB) {}

TEST_F(NetbiosCommandsTest, AdapterStatusBlockAsksTheSlotsRemoteName) {
    std::vector<UCHAR> reply(CB_STATUS_REPLY);
    const char remote[CB_REMOTE_NAME] = "FILESERVER     \0\0";
    std::memcpy(LanaSlots[6].szRemoteName, remote, CB_REMOTE_NAME);
    NCB ncb;
    std::memset(&ncb, 0xCC, sizeof(ncb));

    PrepareAdapterStatus(&ncb, 6, reply.data(), SomePost);

    NCB expected = ZeroNcb();
    expected.ncb_command = 0xB3;
    expected.ncb_buffer = reply.data();
    expected.ncb_length = 2048;
    std::memcpy(expected.ncb_callname, "FILESERVER     \0", NCBNAMSZ);
    expected.ncb_post = SomePost;
    expected.ncb_lana_num = 6;
    EXPECT_TRUE(SameBytes(ncb, expected));

    // The start-up name: "*" and zero bytes.
    std::memset(&ncb, 0xCC, sizeof(ncb));
    PrepareAdapterStatus(&ncb, 0, reply.data(), SomePost);
    std::memset(expected.ncb_callname, 0, NCBNAMSZ);
    expected.ncb_callname[0] = '*';
    expected.ncb_lana_num = 0;
    EXPECT_TRUE(SameBytes(ncb, expected));
}

TEST_F(NetbiosCommandsTest, SessionStatusBlockAsksForEveryLocalName) {
    std::vector<UCHAR> reply(CB_STATUS_REPLY);
    std::memcpy(LanaSlots[11].szRemoteName, "IGNORED", 8);
    NCB ncb;
    std::memset(&ncb, 0xCC, sizeof(ncb));

    PrepareSessionStatus(&ncb, 11, reply.data(), SomePost);

    NCB expected = ZeroNcb();
    expected.ncb_command = 0xB4;
    expected.ncb_buffer = reply.data();
    expected.ncb_length = 2048;
    expected.ncb_name[0] = '*';
    expected.ncb_post = SomePost;
    expected.ncb_lana_num = 11;
    EXPECT_TRUE(SameBytes(ncb, expected));
}

// Post routine bookkeeping for the asynchronous commands.
std::atomic<int> post_calls{0};
std::atomic<PNCB> posted_ncb{nullptr};
std::atomic<UCHAR> posted_retcode{0xEE};
void CALLBACK CountingPost(PNCB ncb) {
    posted_ncb = ncb;
    posted_retcode = ncb->ncb_retcode;
    post_calls.fetch_add(1);
}

class StatusCommandTest : public NetbiosCommandsTest {
protected:
    void SetUp() override {
        NetbiosCommandsTest::SetUp();
        post_calls = 0;
        posted_ncb = nullptr;
        posted_retcode = 0xEE;
    }
};

TEST_F(StatusCommandTest, AnAcceptedStatusCommandDeliversItsReplyThroughThePostRoutineOnce) {
    netbios_.set_lanas({2});
    ADAPTER_STATUS status{};
    status.duration = 7;
    std::vector<NAME_BUFFER> names = {
        platform::testing::name_buffer(platform::testing::netbios_name("HOST", ' ', 0x20), 1, 0x04)};
    std::vector<std::uint8_t> bytes = platform::testing::adapter_status_reply(status, names);
    netbios_.set_adapter_status(2, ScriptedReply{NRC_GOODRET, bytes, {}});
    std::vector<UCHAR> reply(CB_STATUS_REPLY, 0xAB);
    NCB ncb;

    EXPECT_EQ(IssueAdapterStatus(&ncb, 2, reply.data(), CountingPost), NRC_GOODRET);
    ASSERT_TRUE(platform::netbios::wait_until_idle(std::chrono::seconds(30)));

    EXPECT_EQ(post_calls.load(), 1);
    EXPECT_EQ(posted_ncb.load(), &ncb);
    EXPECT_EQ(posted_retcode.load(), NRC_GOODRET);
    EXPECT_EQ(std::memcmp(reply.data(), bytes.data(), bytes.size()), 0);
    std::vector<platform::testing::IssuedNcb> issued = netbios_.issued();
    ASSERT_EQ(issued.size(), 1u);
    EXPECT_EQ(issued[0].command, 0xB3);
    EXPECT_EQ(issued[0].lana, 2);
    EXPECT_EQ(issued[0].callname, platform::testing::netbios_name("*", 0));
    EXPECT_EQ(issued[0].length, 2048);
    EXPECT_EQ(issued[0].post, CountingPost);
    EXPECT_EQ(issued[0].event, nullptr);
}

TEST_F(StatusCommandTest, ASessionStatusCommandCompletesWithItsReplyAndRetcode) {
    netbios_.set_lanas({1});
    SESSION_HEADER header{};
    header.sess_name = 1;
    std::vector<std::uint8_t> bytes = platform::testing::session_status_reply(header, {});
    netbios_.set_session_status(1, ScriptedReply{NRC_GOODRET, bytes, {}});
    std::vector<UCHAR> reply(CB_STATUS_REPLY, 0xAB);
    NCB ncb;

    EXPECT_EQ(IssueSessionStatus(&ncb, 1, reply.data(), CountingPost), NRC_GOODRET);
    ASSERT_TRUE(platform::netbios::wait_until_idle(std::chrono::seconds(30)));

    EXPECT_EQ(post_calls.load(), 1);
    EXPECT_EQ(posted_retcode.load(), NRC_GOODRET);
    EXPECT_EQ(std::memcmp(reply.data(), bytes.data(), bytes.size()), 0);
    ASSERT_EQ(netbios_.issued().size(), 1u);
    EXPECT_EQ(netbios_.issued()[0].name, platform::testing::netbios_name("*", 0));
}

TEST_F(StatusCommandTest, ACommandRefusedAtOnceReturnsItsCodeAndRunsNoPostRoutine) {
    netbios_.set_lanas({2});
    std::vector<UCHAR> reply(CB_STATUS_REPLY);
    NCB ncb;

    // LANA 5 is not listed: the worker learns it from the immediate code and must not wait for a post.
    EXPECT_EQ(IssueAdapterStatus(&ncb, 5, reply.data(), CountingPost), NRC_BRIDGE);
    EXPECT_EQ(IssueSessionStatus(&ncb, 5, reply.data(), CountingPost), NRC_BRIDGE);
    ASSERT_TRUE(platform::netbios::wait_until_idle(std::chrono::seconds(30)));
    EXPECT_EQ(post_calls.load(), 0);
}

TEST_F(StatusCommandTest, ACommandThatFailsLaterReportsTheFailureToThePostRoutine) {
    netbios_.set_lanas({3});
    netbios_.set_adapter_status(3, ScriptedReply{NRC_CMDTMO, {}, {}});
    std::vector<UCHAR> reply(CB_STATUS_REPLY);
    NCB ncb;

    EXPECT_EQ(IssueAdapterStatus(&ncb, 3, reply.data(), CountingPost), NRC_GOODRET);
    ASSERT_TRUE(platform::netbios::wait_until_idle(std::chrono::seconds(30)));
    EXPECT_EQ(post_calls.load(), 1);
    EXPECT_EQ(posted_retcode.load(), NRC_CMDTMO);
}

}  // namespace
