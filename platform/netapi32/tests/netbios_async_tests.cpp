// Asynchronous Netbios() commands against the scripted transport: pending codes, the completion thread, post
// routines and events, many commands at once, and deadlines.
#include "ncb_probe.h"

#include "testing/temporary_prefix.h"
#include <testing/scripted_netbios.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using platform::testing::ScriptedNetbios;
namespace nbt = platform::testing;

using ncb_probe::guard;
using ncb_probe::Probe;
using ncb_probe::RecordPost;

class NetbiosAsyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        ADAPTER_STATUS status{};
        status.max_sess = 7;
        reply_ = nbt::adapter_status_reply(status, {});
        scripted.set_lanas({0, 1});
        scripted.set_adapter_status(0, {NRC_GOODRET, reply_, {}});
        scripted.set_adapter_status(1, {NRC_GOODRET, reply_, {}});
    }
    std::vector<std::uint8_t> reply_;
    ScriptedNetbios scripted;
};

TEST_F(NetbiosAsyncTest, AcceptedCommandIsPendingUntilItCompletesOnTheCompletionThread) {
    HANDLE event = CreateEventA(NULL, TRUE, TRUE, NULL);  // accepting the command resets it
    Probe probe(NCBASTAT | ASYNCH, 0, 64);
    probe.ncb.ncb_post = RecordPost;
    probe.ncb.ncb_event = event;
    scripted.hold(0);

    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    ASSERT_TRUE(scripted.wait_until_held(1));
    EXPECT_EQ(probe.ncb.ncb_retcode, NRC_PENDING);
    EXPECT_EQ(probe.ncb.ncb_cmd_cplt, NRC_PENDING);
    EXPECT_EQ(WaitForSingleObject(event, 0), (DWORD)WAIT_TIMEOUT);
    EXPECT_EQ(probe.calls, 0);

    scripted.release(0);
    ASSERT_TRUE(probe.wait_posted());
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(probe.retcode_seen, NRC_GOODRET);  // final codes are set before the post routine runs
    EXPECT_EQ(probe.cmd_cplt_seen, NRC_GOODRET);
    EXPECT_EQ(probe.event_signalled_seen, 1);  // and the event is signalled before it
    EXPECT_NE(probe.thread.load(), GetCurrentThreadId());
    EXPECT_EQ(std::memcmp(probe.buffer(), reply_.data(), reply_.size()), 0);
    ASSERT_TRUE(platform::netbios::wait_until_idle(30s));
    EXPECT_EQ(probe.calls, 1);
    CloseHandle(event);
}

TEST_F(NetbiosAsyncTest, SlowCommandDoesNotHoldUpOthers) {
    Probe slow(NCBASTAT | ASYNCH, 1, 64), quick(NCBASTAT | ASYNCH, 0, 64);
    slow.ncb.ncb_post = quick.ncb.ncb_post = RecordPost;
    scripted.hold(1);
    EXPECT_EQ(Netbios(&slow.ncb), NRC_GOODRET);
    ASSERT_TRUE(scripted.wait_until_held(1));
    EXPECT_EQ(Netbios(&quick.ncb), NRC_GOODRET);
    ASSERT_TRUE(quick.wait_posted());
    EXPECT_EQ(slow.calls, 0);
    scripted.release(1);
    ASSERT_TRUE(slow.wait_posted());
}

TEST_F(NetbiosAsyncTest, ManyConcurrentCommandsEachPostOnceOnTheOneCompletionThread) {
    constexpr int count = 200;
    scripted.set_session_status(1, {NRC_GOODRET, nbt::session_status_reply({}, {}), 3ms});
    std::vector<std::unique_ptr<Probe>> probes;
    for (int i = 0; i < count; i++) {
        static const UCHAR commands[] = {NCBASTAT | ASYNCH, NCBSSTAT | ASYNCH, NCBRESET | ASYNCH, NCBENUM | ASYNCH};
        probes.push_back(std::make_unique<Probe>(commands[i % 4], UCHAR(i % 2), 64));
        probes.back()->ncb.ncb_post = RecordPost;
    }
    std::atomic<int> next{0};
    std::vector<std::thread> issuers;
    for (int t = 0; t < 4; t++) {
        issuers.emplace_back([&] {
            for (int i; (i = next.fetch_add(1)) < count;)
                EXPECT_EQ(Netbios(&probes[i]->ncb), NRC_GOODRET);
        });
    }
    for (auto &issuer : issuers)
        issuer.join();

    ASSERT_TRUE(scripted.wait_until_idle(60s));
    for (int i = 0; i < count; i++) {
        EXPECT_EQ(probes[i]->calls, 1) << "NCB " << i;
        EXPECT_EQ(probes[i]->cmd_cplt_seen, NRC_GOODRET) << "NCB " << i;
        EXPECT_EQ(probes[i]->thread.load(), probes[0]->thread.load()) << "NCB " << i;
    }
    EXPECT_NE(probes[0]->thread.load(), GetCurrentThreadId());
    EXPECT_EQ(scripted.issued().size(), size_t(count));
}

TEST_F(NetbiosAsyncTest, PostRoutineMayFreeItsNcb) {
    struct Owned {
        NCB ncb{};
        UCHAR buffer[128];
        HANDLE done;
    };
    auto *owned = new Owned;
    owned->done = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE done = owned->done;
    owned->ncb.ncb_command = NCBASTAT | ASYNCH;
    owned->ncb.ncb_buffer = owned->buffer;
    owned->ncb.ncb_length = sizeof(owned->buffer);
    owned->ncb.ncb_post = [](PNCB pncb) {
        auto *self = reinterpret_cast<Owned *>(pncb);
        HANDLE event = self->done;
        delete self;
        SetEvent(event);
    };
    EXPECT_EQ(Netbios(&owned->ncb), NRC_GOODRET);
    EXPECT_EQ(WaitForSingleObject(done, 30000), WAIT_OBJECT_0);
    ASSERT_TRUE(platform::netbios::wait_until_idle(30s));
    CloseHandle(done);
}

TEST_F(NetbiosAsyncTest, CommandsThatGetNoAnswerTimeOut) {
    scripted.set_command_timeout(200ms);
    scripted.set_session_status(0, {NRC_GOODRET, nbt::session_status_reply({}, {}), 60s});
    Probe delayed(NCBSSTAT, 0, 64);
    EXPECT_EQ(Netbios(&delayed.ncb), NRC_CMDTMO);
    EXPECT_EQ(delayed.ncb.ncb_cmd_cplt, NRC_CMDTMO);
    EXPECT_EQ(delayed.buffer()[0], guard);

    scripted.hold(0);
    Probe held(NCBASTAT | ASYNCH, 0, 64);
    held.ncb.ncb_post = RecordPost;
    EXPECT_EQ(Netbios(&held.ncb), NRC_GOODRET);
    ASSERT_TRUE(held.wait_posted());
    EXPECT_EQ(held.retcode_seen, NRC_CMDTMO);
    EXPECT_EQ(held.buffer()[0], guard);
}

TEST_F(NetbiosAsyncTest, TransportThatOverrunsItsDeadlineCannotDelayCompletion) {
    // Long enough for the command thread to reach the transport even on a loaded machine.
    scripted.set_command_timeout(2s);
    scripted.hold(1, /*ignore_deadline=*/true);
    Probe async(NCBASTAT | ASYNCH, 1, 64);
    async.ncb.ncb_post = RecordPost;
    EXPECT_EQ(Netbios(&async.ncb), NRC_GOODRET);
    ASSERT_TRUE(scripted.wait_until_held(1));
    ASSERT_TRUE(async.wait_posted());
    EXPECT_EQ(async.retcode_seen, NRC_CMDTMO);

    // The late reply goes nowhere: the caller's buffer is already its own again.
    scripted.release(1);
    ASSERT_TRUE(scripted.wait_until_answered(1));
    Probe after(NCBENUM | ASYNCH, 0, 64);
    after.ncb.ncb_post = RecordPost;
    EXPECT_EQ(Netbios(&after.ncb), NRC_GOODRET);
    ASSERT_TRUE(after.wait_posted());
    EXPECT_EQ(async.buffer()[0], guard);
    EXPECT_EQ(async.calls, 1);
}

TEST(NetbiosDefaultTransport, OffersNoLanas) {
    // The default transport carries NetBIOS over this machine's interfaces; a prefix whose LANA map names no
    // interface that exists leaves it without LANAs, and nothing is sent anywhere.
    auto prefix = std::filesystem::temp_directory_path() / ("netbios-default-" + std::to_string(getpid()));
    std::filesystem::create_directories(prefix);
    std::ofstream(prefix / "platform.conf") << "[netbios]\nlana.0 = no-such-if\n";
    setenv("PLATFORM_PREFIX", prefix.c_str(), 1);
    platform::testing::reload_prefix();

    LANA_ENUM lanas;
    NCB ncb{};
    ncb.ncb_command = NCBENUM;
    ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
    ncb.ncb_length = sizeof(lanas);
    EXPECT_EQ(Netbios(&ncb), NRC_GOODRET);
    EXPECT_EQ(lanas.length, 0);
    NCB reset{};
    reset.ncb_command = NCBRESET;
    EXPECT_EQ(Netbios(&reset), NRC_BRIDGE);

    unsetenv("PLATFORM_PREFIX");
    platform::testing::reload_prefix();
    std::filesystem::remove_all(prefix);
}

TEST(ScriptedNetbiosLifetime, DestructionWaitsForOutstandingCommands) {
    Probe probe(NCBRESET | ASYNCH, 0, 64);
    probe.ncb.ncb_post = RecordPost;
    {
        ScriptedNetbios scripted;
        scripted.set_lanas({0});
        scripted.hold(0);
        EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
        ASSERT_TRUE(scripted.wait_until_held(1));
    }
    // Destruction released the held reply and waited for the post routine.
    EXPECT_EQ(probe.calls, 1);
    EXPECT_EQ(probe.retcode_seen, NRC_GOODRET);
}

}  // namespace
