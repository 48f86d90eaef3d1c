// Synchronous Netbios() commands: they run on the caller's own thread with the deadline every command gets, need
// no free command thread, and may be issued from anywhere a program calls them, a post routine included.
#include "ncb_probe.h"
#include "transport_swap.h"

#include <testing/scripted_netbios.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::netbios::Clock;
using platform::netbios::Deadline;
using platform::netbios::Name;
using platform::netbios::Reply;
using platform::testing::ScriptedNetbios;
namespace nbt = platform::testing;

using ncb_probe::guard;
using ncb_probe::Probe;
using ncb_probe::RecordPost;

std::vector<std::uint8_t> adapter_reply() {
    ADAPTER_STATUS status{};
    status.max_sess = 7;
    return nbt::adapter_status_reply(status, {nbt::name_buffer(nbt::netbios_name("HOST"), 1, REGISTERED)});
}

// A transport on LANA 0 that notes the thread and the deadline of every call. Its adapter status can be made to
// overrun the deadline, as a broken transport would.
class RecordingTransport final : public platform::netbios::Transport {
public:
    struct Call {
        DWORD thread = 0;
        Deadline deadline;
    };

    explicit RecordingTransport(std::chrono::milliseconds timeout = 30s, std::chrono::milliseconds overrun = 0ms)
        : timeout_(timeout), overrun_(overrun) {}

    std::vector<std::uint8_t> lanas() override { return {0}; }
    std::chrono::milliseconds command_timeout() override { return timeout_; }
    std::uint8_t reset(std::uint8_t, Deadline deadline) override {
        note(deadline);
        return NRC_GOODRET;
    }
    Reply adapter_status(std::uint8_t, const Name &, Deadline deadline) override {
        note(deadline);
        if (overrun_ > 0ms)
            std::this_thread::sleep_until(deadline + overrun_);
        return {NRC_GOODRET, adapter_reply()};
    }
    Reply session_status(std::uint8_t, const Name &, Deadline deadline) override {
        note(deadline);
        return {NRC_GOODRET, nbt::session_status_reply({}, {})};
    }

    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    void note(Deadline deadline) {
        std::lock_guard lock(mutex_);
        calls_.push_back({GetCurrentThreadId(), deadline});
    }

    std::chrono::milliseconds timeout_, overrun_;
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

TEST(NetbiosSynchronous, RunsOnTheCallersThreadWithTheUsualDeadline) {
    auto transport = std::make_shared<RecordingTransport>(20s);
    TransportSwap swap(transport);
    for (UCHAR command : {UCHAR(NCBRESET), UCHAR(NCBASTAT), UCHAR(NCBSSTAT)}) {
        Probe probe(command, 0, 2048);
        probe.ncb.ncb_name[0] = '*';
        auto before = Clock::now();
        EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET) << "command " << int(command);
        auto after = Clock::now();
        auto calls = transport->calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().thread, GetCurrentThreadId()) << "command " << int(command);
        EXPECT_GE(calls.back().deadline, before + 20s) << "command " << int(command);
        EXPECT_LE(calls.back().deadline, after + 20s) << "command " << int(command);
    }

    // The same command issued asynchronously is carried out elsewhere: the check above can tell the difference.
    Probe async(NCBASTAT | ASYNCH, 0, 2048);
    async.ncb.ncb_post = RecordPost;
    EXPECT_EQ(Netbios(&async.ncb), NRC_GOODRET);
    ASSERT_TRUE(async.wait_posted());
    EXPECT_NE(transport->calls().back().thread, GetCurrentThreadId());
}

TEST(NetbiosSynchronous, NeedsNoFreeCommandThread) {
    // Enough held asynchronous commands to occupy every command thread there may be.
    constexpr int held_count = 40;
    ScriptedNetbios scripted;
    scripted.set_lanas({0, 1});
    scripted.set_adapter_status(0, {NRC_GOODRET, adapter_reply(), {}});
    scripted.hold(1);
    std::vector<std::unique_ptr<Probe>> held;
    for (int i = 0; i < held_count; i++) {
        held.push_back(std::make_unique<Probe>(NCBRESET | ASYNCH, 1, 0));
        held.back()->ncb.ncb_post = RecordPost;
        ASSERT_EQ(Netbios(&held.back()->ncb), NRC_GOODRET);
    }
    ASSERT_TRUE(scripted.wait_until_held(32));

    Probe sync(NCBASTAT, 0, 2048);
    EXPECT_EQ(Netbios(&sync.ncb), NRC_GOODRET);
    auto reply = adapter_reply();
    EXPECT_EQ(std::memcmp(sync.buffer(), reply.data(), reply.size()), 0);

    scripted.release(1);
    for (auto &probe : held) {
        ASSERT_TRUE(probe->wait_posted());
        EXPECT_EQ(probe->retcode_seen, NRC_GOODRET);
    }
}

TEST(NetbiosSynchronous, TransportThatOverrunsItsDeadlineStillTimesOut) {
    // The caller waits for the late transport, then gets the timeout it would have got from one that kept time;
    // the late reply is not written.
    TransportSwap swap(std::make_shared<RecordingTransport>(50ms, 700ms));
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    Probe probe(NCBASTAT, 0, 2048);
    probe.ncb.ncb_event = event;
    EXPECT_EQ(Netbios(&probe.ncb), NRC_CMDTMO);
    EXPECT_EQ(probe.ncb.ncb_retcode, NRC_CMDTMO);
    EXPECT_EQ(probe.ncb.ncb_cmd_cplt, NRC_CMDTMO);
    EXPECT_EQ(probe.buffer()[0], guard);
    EXPECT_TRUE(probe.guards_intact());
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CloseHandle(event);
}

// An asynchronous command whose post routine issues a synchronous adapter status and keeps what it saw.
struct NestedIssuer {
    NCB ncb;  // first, so that the post routine finds the rest
    Probe inner{NCBASTAT, 0, 2048};
    std::atomic<int> inner_result{-1};
    std::atomic<DWORD> post_thread{0};
    HANDLE done = CreateEventA(NULL, TRUE, FALSE, NULL);
    ~NestedIssuer() { CloseHandle(done); }
};

void CALLBACK IssueFromPost(PNCB pncb) {
    auto *issuer = reinterpret_cast<NestedIssuer *>(pncb);
    issuer->post_thread = GetCurrentThreadId();
    issuer->inner_result = Netbios(&issuer->inner.ncb);
    SetEvent(issuer->done);
}

TEST(NetbiosSynchronous, MayBeIssuedFromAPostRoutine) {
    auto transport = std::make_shared<RecordingTransport>();
    TransportSwap swap(transport);
    NestedIssuer issuer;
    std::memset(&issuer.ncb, 0, sizeof issuer.ncb);
    issuer.ncb.ncb_command = NCBRESET | ASYNCH;
    issuer.ncb.ncb_post = IssueFromPost;
    EXPECT_EQ(Netbios(&issuer.ncb), NRC_GOODRET);
    ASSERT_EQ(WaitForSingleObject(issuer.done, 30000), WAIT_OBJECT_0);

    EXPECT_EQ(issuer.inner_result, NRC_GOODRET);
    EXPECT_EQ(issuer.inner.ncb.ncb_cmd_cplt, NRC_GOODRET);
    auto reply = adapter_reply();
    EXPECT_EQ(std::memcmp(issuer.inner.buffer(), reply.data(), reply.size()), 0);
    auto calls = transport->calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].thread, issuer.post_thread.load());

    // The completion thread is free again for the commands that follow.
    Probe after(NCBSSTAT | ASYNCH, 0, 2048);
    after.ncb.ncb_name[0] = '*';
    after.ncb.ncb_post = RecordPost;
    EXPECT_EQ(Netbios(&after.ncb), NRC_GOODRET);
    ASSERT_TRUE(after.wait_posted());
    EXPECT_EQ(after.retcode_seen, NRC_GOODRET);
}

TEST(NetbiosSynchronous, ConcurrentCallersEachRunTheirOwnCommands) {
    constexpr int callers = 4, per_caller = 25;
    auto transport = std::make_shared<RecordingTransport>();
    TransportSwap swap(transport);
    auto reply = adapter_reply();
    std::mutex ids_lock;
    std::set<DWORD> caller_ids;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < callers; t++) {
        threads.emplace_back([&] {
            {
                std::lock_guard lock(ids_lock);
                caller_ids.insert(GetCurrentThreadId());
            }
            for (int i = 0; i < per_caller; i++) {
                Probe probe(NCBASTAT, 0, 2048);
                if (Netbios(&probe.ncb) == NRC_GOODRET && probe.guards_intact() &&
                    std::memcmp(probe.buffer(), reply.data(), reply.size()) == 0)
                    good++;
            }
        });
    }
    for (auto &thread : threads)
        thread.join();

    EXPECT_EQ(good, callers * per_caller);
    std::set<DWORD> transport_ids;
    for (auto &call : transport->calls())
        transport_ids.insert(call.thread);
    EXPECT_EQ(transport_ids, caller_ids);
}

}  // namespace
