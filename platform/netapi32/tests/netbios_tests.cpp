// Netbios() against the scripted transport: command checking, what each command delivers into the caller's
// buffer, asynchronous completion, deadlines, and transports that fail.
#include "ncb_probe.h"

#include <testing/scripted_netbios.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <tuple>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using namespace platform::netbios;
using platform::testing::ScriptedNetbios;
namespace nbt = platform::testing;
using namespace ncb_probe;

const std::vector<std::uint8_t> adapter = nbt::adapter_status_reply(
    {}, {nbt::name_buffer(nbt::netbios_name("HOST"), 1, REGISTERED), nbt::name_buffer(nbt::netbios_name("G"), 2, 0)});
const std::vector<std::uint8_t> sessions = nbt::session_status_reply(
    {1, 0, 0, 0}, {nbt::session_buffer(5, SESSION_ESTABLISHED, nbt::netbios_name("A"), nbt::netbios_name("B"))});

class NetbiosTest : public ::testing::Test {
protected:
    void SetUp() override {
        scripted.set_lanas({0, 1});
        scripted.set_adapter_status(0, {NRC_GOODRET, adapter, {}});
        scripted.set_adapter_status_for(0, "FARAWAY", {NRC_CMDTMO, {}, {}});
        scripted.set_session_status(0, {NRC_GOODRET, sessions, {}});
        scripted.set_reset(1, NRC_NORESOURCES);
    }
    ScriptedNetbios scripted;
};

// Refused at once: the code returned and in both NCB fields, nothing written or posted, the last error kept. ENUM
// asks no adapter and RESET needs no buffer; the status commands need at least their fixed part.
TEST_F(NetbiosTest, NcbChecks) {
    // command, LANA, null buffer, length, the code
    const std::tuple<UCHAR, UCHAR, bool, WORD, UCHAR> cases[] = {
        {NCBENUM, 0, false, 0, NRC_BUFLEN},
        {NCBENUM, 9, false, 1, NRC_INCOMP},
        {NCBASTAT, 0, true, 2048, NRC_BUFLEN},
        {NCBASTAT, 0, false, sizeof(ADAPTER_STATUS) - 1, NRC_BUFLEN},
        {NCBASTAT, 0, false, sizeof(ADAPTER_STATUS), NRC_INCOMP},
        {NCBSSTAT, 0, false, sizeof(SESSION_HEADER) - 1, NRC_BUFLEN},
        {NCBSSTAT | ASYNCH, 0, false, 0, NRC_BUFLEN},
        {NCBRESET, 0, true, 0, NRC_GOODRET},
        {NCBRESET, 1, true, 0, NRC_NORESOURCES},
        {NCBRESET, 2, true, 0, NRC_BRIDGE},
        {NCBRESET | ASYNCH, 9, false, 2048, NRC_BRIDGE},
        {NCBCALL, 0, false, 2048, NRC_ILLCMD},
        {0xff, 0, false, 2048, NRC_ILLCMD}};  // asynchronous, yet refused at once
    for (const auto &[command, lana, null_buffer, length, expected] : cases) {
        SCOPED_TRACE(testing::Message() << "command " << int(command) << " LANA " << int(lana) << " length " << length);
        std::size_t calls_before = scripted.transport_calls();
        Probe probe(command, lana, length);
        if (null_buffer)
            probe.ncb.ncb_buffer = nullptr;
        probe.ncb.ncb_post = RecordPost;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(Netbios(&probe.ncb), expected);
        EXPECT_EQ(GetLastError(), 0xdeadbeefu);
        EXPECT_EQ(probe.ncb.ncb_retcode * 256 + probe.ncb.ncb_cmd_cplt, expected * 257);
        EXPECT_TRUE(probe.guards_intact());
        ASSERT_TRUE(scripted.wait_until_idle());
        EXPECT_EQ(probe.calls, 0);
        bool answered = expected == NRC_GOODRET || expected == NRC_INCOMP || expected == NRC_NORESOURCES;
        EXPECT_EQ(scripted.transport_calls() != calls_before, answered && command != NCBENUM);
    }
    EXPECT_EQ(Netbios(nullptr), NRC_INVADDRESS);
    EXPECT_EQ(scripted.issued().size(), std::size(cases));  // the null NCB is not recorded
}

// As much of the reply as fits, NRC_INCOMP for a good one that was cut; asynchronously too, with the event
// signalled and the final codes set before the post routine runs on another thread.
TEST_F(NetbiosTest, WhatEachCommandDelivers) {
    struct Case {
        UCHAR command;
        const char *callname;
        std::vector<std::uint8_t> reply;
        WORD length;
        UCHAR expected;
    } cases[] = {{NCBASTAT, "*", adapter, 2048, NRC_GOODRET},
                 {NCBASTAT, "FARAWAY", {}, 2048, NRC_CMDTMO},
                 {NCBASTAT, "*", adapter, sizeof(ADAPTER_STATUS) + sizeof(NAME_BUFFER) + 5, NRC_INCOMP},
                 {NCBSSTAT, "", sessions, WORD(sessions.size()), NRC_GOODRET},
                 {NCBENUM, "", {2, 0, 1}, sizeof(LANA_ENUM), NRC_GOODRET},
                 {NCBENUM, "", {2, 0, 1}, 2, NRC_INCOMP}};
    for (UCHAR asynch : {UCHAR(0), UCHAR(ASYNCH)}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << "command " << int(c.command | asynch) << " length " << c.length);
            HANDLE event = CreateEventA(NULL, TRUE, TRUE, NULL);
            Probe probe(c.command | asynch, 0, c.length);
            std::memset(probe.ncb.ncb_callname, ' ', NCBNAMSZ);
            std::memcpy(probe.ncb.ncb_callname, c.callname, std::strlen(c.callname));
            probe.ncb.ncb_post = RecordPost;
            probe.ncb.ncb_event = event;
            EXPECT_EQ(Netbios(&probe.ncb), asynch ? NRC_GOODRET : c.expected);
            ASSERT_TRUE(scripted.wait_until_idle());
            EXPECT_EQ(probe.ncb.ncb_cmd_cplt, c.expected);
            EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
            std::size_t copied = std::min<std::size_t>(c.reply.size(), c.length);
            EXPECT_TRUE(std::equal(c.reply.begin(), c.reply.begin() + copied, probe.buffer()));
            EXPECT_EQ(probe.buffer()[copied], guard);
            EXPECT_EQ(probe.calls, asynch ? 1 : 0);
            if (asynch) {
                EXPECT_EQ(std::vector<int>({probe.retcode_seen, probe.cmd_cplt_seen, probe.event_signalled_seen}),
                          std::vector<int>({c.expected, c.expected, 1}));
                EXPECT_NE(probe.thread.load(), GetCurrentThreadId());
            }
            CloseHandle(event);
        }
    }
}

// A failed enumeration writes nothing; LANA_ENUM holds at most MAX_LANA + 1 numbers.
TEST_F(NetbiosTest, EnumerationEdges) {
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    auto check = [&](const std::vector<std::uint8_t> &lanas, UCHAR transport_code, UCHAR expected,
                     std::initializer_list<std::uint8_t> written) {
        scripted.set_lanas(lanas);
        scripted.set_enumeration_retcode(transport_code);
        Probe probe(NCBENUM, 0, sizeof(LANA_ENUM));
        EXPECT_EQ(Netbios(&probe.ncb), expected) << lanas.size();
        EXPECT_TRUE(std::equal(written.begin(), written.end(), probe.buffer())) << lanas.size();
    };
    check({0}, NRC_SYSTEM, NRC_SYSTEM, {guard});
    check(all, NRC_GOODRET, NRC_GOODRET, {MAX_LANA + 1, 0, 1});
}

TEST_F(NetbiosTest, AcceptedCommandIsPendingUntilItCompletes) {
    HANDLE event = CreateEventA(NULL, TRUE, TRUE, NULL);  // accepting the command resets it
    Probe probe(NCBASTAT | ASYNCH, 0, 2048);
    probe.ncb.ncb_post = RecordPost;
    probe.ncb.ncb_event = event;
    std::memcpy(probe.ncb.ncb_callname, "CALLED", 6);
    scripted.hold(0);
    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    ASSERT_TRUE(scripted.wait_until_held(1));
    EXPECT_EQ(probe.ncb.ncb_retcode * 256 + probe.ncb.ncb_cmd_cplt, NRC_PENDING * 257);
    EXPECT_EQ(WaitForSingleObject(event, 0), (DWORD)WAIT_TIMEOUT);
    // The hook the viewer's tests read: every NCB as it reached Netbios().
    EXPECT_EQ(std::string(reinterpret_cast<char *>(scripted.issued().at(0).callname.data()), 6), "CALLED");

    // Issued again while pending, in any way, the NCB is refused and the first command's codes stay.
    for (UCHAR command : {UCHAR(NCBASTAT), UCHAR(NCBASTAT | ASYNCH), UCHAR(NCBRESET)}) {
        probe.ncb.ncb_command = command;
        EXPECT_EQ(Netbios(&probe.ncb), NRC_TOOMANY) << int(command);
        EXPECT_EQ(probe.ncb.ncb_retcode * 256 + probe.ncb.ncb_cmd_cplt, NRC_PENDING * 257) << int(command);
    }

    // A slow command holds up no other.
    Probe quick(NCBRESET | ASYNCH, 1, 0);
    quick.ncb.ncb_post = RecordPost;
    EXPECT_EQ(Netbios(&quick.ncb), NRC_GOODRET);
    ASSERT_TRUE(quick.wait_posted());
    EXPECT_EQ(probe.calls, 0);
    scripted.release(0);
    ASSERT_TRUE(scripted.wait_until_idle());
    EXPECT_EQ(probe.calls, 1);
    EXPECT_EQ(probe.thread.load(), quick.thread.load());  // the one completion thread
    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);          // completed, the NCB is free again
    CloseHandle(event);
}

// NCBRESET, accepted, completes the commands in flight on its LANA with NRC_CMDCAN, once, writing nothing into
// their buffers; commands on other LANAs go on.
TEST_F(NetbiosTest, ResetCancelsTheCommandsInFlightOnItsLana) {
    for (std::uint8_t lana : {0, 1})
        scripted.set_adapter_status(lana, {NRC_GOODRET, adapter, 20s});  // answered long after the test
    scripted.set_reset(1, NRC_GOODRET);
    for (UCHAR asynch : {UCHAR(0), UCHAR(ASYNCH)}) {
        Probe on_lana(NCBASTAT | ASYNCH, 0, 2048), other_lana(NCBASTAT | ASYNCH, 1, 2048);
        on_lana.ncb.ncb_post = other_lana.ncb.ncb_post = RecordPost;
        ASSERT_EQ(Netbios(&on_lana.ncb) * 256 + Netbios(&other_lana.ncb), NRC_GOODRET);
        Probe reset(NCBRESET | asynch, 0, 0), reset_other(NCBRESET, 1, 0);
        EXPECT_EQ(Netbios(&reset.ncb), NRC_GOODRET);
        ASSERT_TRUE(on_lana.wait_posted());
        EXPECT_EQ(other_lana.ncb.ncb_cmd_cplt, NRC_PENDING);
        EXPECT_EQ(Netbios(&reset_other.ncb), NRC_GOODRET);
        ASSERT_TRUE(scripted.wait_until_idle());
        EXPECT_EQ(std::vector<int>({on_lana.calls, on_lana.retcode_seen, on_lana.cmd_cplt_seen, on_lana.buffer()[0],
                                    other_lana.calls, other_lana.retcode_seen}),
                  std::vector<int>({1, NRC_CMDCAN, NRC_CMDCAN, guard, 1, NRC_CMDCAN}));
    }
}

HANDLE post_entered = CreateEventA(NULL, TRUE, FALSE, NULL), post_may_return = CreateEventA(NULL, TRUE, FALSE, NULL);

void CALLBACK BlockingPost(PNCB ncb) {
    SetEvent(post_entered);
    WaitForSingleObject(post_may_return, INFINITE);
    RecordPost(ncb);
}

// A transport past its deadline cannot delay the command, and its late reply goes nowhere; nor can a post routine
// of another command that blocks delay it by more than the documented bound: another thread takes the loop over.
TEST_F(NetbiosTest, NeitherAHungTransportNorABlockingPostRoutineDelaysACommand) {
    scripted.set_command_timeout(2s);  // time for the command thread to reach the transport on a busy machine
    scripted.hold(0, /*ignore_deadline=*/true);
    Probe blocking(NCBRESET | ASYNCH, 1, 0);
    blocking.ncb.ncb_post = BlockingPost;
    EXPECT_EQ(Netbios(&blocking.ncb), NRC_GOODRET);
    ASSERT_EQ(WaitForSingleObject(post_entered, 30000), WAIT_OBJECT_0);

    auto started = Clock::now();
    Probe held(NCBASTAT | ASYNCH, 0, 2048);
    held.ncb.ncb_post = RecordPost;
    EXPECT_EQ(Netbios(&held.ncb), NRC_GOODRET);
    ASSERT_TRUE(held.wait_posted());
    EXPECT_LE(Clock::now() - started, 2s + 500ms + blocked_post_delay_bound);  // 500 ms: the grace of a late reply
    ASSERT_TRUE(scripted.wait_until_held(1));
    scripted.release(0);
    ASSERT_TRUE(scripted.wait_until_answered(1));
    SetEvent(post_may_return);
    ASSERT_TRUE(scripted.wait_until_idle());
    EXPECT_EQ(held.buffer()[0], guard);
    EXPECT_EQ(std::vector<int>({held.calls, held.retcode_seen, blocking.calls}), std::vector<int>({1, NRC_CMDTMO, 1}));
    EXPECT_NE(blocking.thread.load(), held.thread.load());
}

// A transport that fails the way a buggy one might: by throwing.
class ThrowingTransport final : public Transport {
public:
    bool from_lanas = false;
    std::vector<std::uint8_t> lanas() override {
        if (from_lanas)
            throw std::runtime_error("interfaces unavailable");
        return {0};
    }
    std::uint8_t reset(std::uint8_t, Deadline) override { throw std::bad_alloc(); }
    Reply adapter_status(std::uint8_t, const Name &, Deadline) override { throw std::runtime_error("malformed"); }
    Reply session_status(std::uint8_t, const Name &, Deadline) override { return {}; }
};

TEST(NetbiosTransportFailures, BecomeReturnCodes) {
    const std::tuple<bool, UCHAR, UCHAR, UCHAR> cases[] = {{false, NCBASTAT | ASYNCH, NRC_GOODRET, NRC_SYSTEM},
                                                           {false, NCBRESET, NRC_OSRESNOTAV, NRC_OSRESNOTAV},
                                                           {true, NCBASTAT | ASYNCH, NRC_SYSTEM, NRC_SYSTEM}};
    for (const auto &[from_lanas, command, immediate, completed] : cases) {
        auto transport = std::make_shared<ThrowingTransport>();
        transport->from_lanas = from_lanas;
        install_transport(transport);
        Probe probe(command, 0, 2048);
        probe.ncb.ncb_post = RecordPost;
        EXPECT_EQ(Netbios(&probe.ncb), immediate) << "command " << int(command);
        EXPECT_TRUE(wait_until_idle(30s));
        EXPECT_EQ(probe.calls, immediate == NRC_GOODRET ? 1 : 0) << "command " << int(command);
        EXPECT_EQ(probe.ncb.ncb_cmd_cplt, completed) << "command " << int(command);
        EXPECT_EQ(probe.buffer()[0], guard);
    }
    install_transport(nullptr);
}

// A transport whose status calls wait, as operations, on a pipe that nobody writes until their deadline, a minute
// away; `started` is set for its LANA as each begins.
class SilentTransport final : public Transport {
public:
    SilentTransport() { EXPECT_EQ(::pipe(pipe_), 0); }
    ~SilentTransport() override {
        ::close(pipe_[0]);
        ::close(pipe_[1]);
        for (HANDLE event : started)
            CloseHandle(event);
    }
    std::vector<std::uint8_t> lanas() override { return {0, 1}; }
    std::chrono::milliseconds command_timeout() override { return 60s; }
    std::uint8_t reset(std::uint8_t, Deadline) override { return NRC_GOODRET; }
    Reply adapter_status(std::uint8_t, const Name &, Deadline) override { return {NRC_SYSTEM, {}}; }
    Reply session_status(std::uint8_t, const Name &, Deadline) override { return {NRC_SYSTEM, {}}; }
    std::unique_ptr<Operation> start_adapter_status(std::uint8_t lana, const Name &, Deadline deadline) override {
        SetEvent(started[lana]);
        return std::make_unique<Silence>(pipe_[0], deadline);
    }
    HANDLE started[2] = {CreateEventA(NULL, TRUE, FALSE, NULL), CreateEventA(NULL, TRUE, FALSE, NULL)};  // per LANA

private:
    struct Silence final : Operation {
        Silence(int descriptor, Deadline deadline) : descriptor_(descriptor), deadline_(deadline) {}
        int descriptor() const override { return descriptor_; }
        Deadline next_wake() const override { return deadline_; }
        std::optional<Reply> advance(Clock::time_point now) override {
            return now >= deadline_ ? std::optional<Reply>(Reply{NRC_CMDTMO, {}}) : std::nullopt;
        }
        int descriptor_;
        Deadline deadline_;
    };
    int pipe_[2] = {-1, -1};
};

// NCBRESET also ends the synchronous commands that other threads run on its LANA, with NRC_CMDCAN and nothing
// written into their buffers; one on another LANA runs on until a reset of its own.
TEST(NetbiosSynchronousCommands, AResetEndsThoseOnItsLanaRunningOnOtherThreads) {
    auto transport = std::make_shared<SilentTransport>();
    install_transport(transport);
    Probe on_lana(NCBASTAT, 0, 2048), other_lana(NCBASTAT, 1, 2048);
    for (Probe *probe : {&on_lana, &other_lana})
        std::memset(probe->ncb.ncb_callname, '*', 1);
    std::atomic<int> on_lana_result{-1}, other_lana_result{-1};
    std::thread first([&] { on_lana_result = Netbios(&on_lana.ncb); });
    std::thread second([&] { other_lana_result = Netbios(&other_lana.ncb); });
    EXPECT_EQ(WaitForMultipleObjects(2, transport->started, TRUE, 30000), WAIT_OBJECT_0);
    for (auto [lana, thread, result, probe] :
         {std::tuple(0, &first, &on_lana_result, &on_lana), std::tuple(1, &second, &other_lana_result, &other_lana)}) {
        EXPECT_EQ(other_lana_result, -1);  // still waiting for its reply
        Probe reset(NCBRESET, lana, 0);
        EXPECT_EQ(Netbios(&reset.ncb), NRC_GOODRET);
        thread->join();
        EXPECT_EQ(std::vector<int>({*result, probe->ncb.ncb_retcode, probe->ncb.ncb_cmd_cplt, probe->buffer()[0]}),
                  std::vector<int>({NRC_CMDCAN, NRC_CMDCAN, NRC_CMDCAN, guard}));
    }
    install_transport(nullptr);
}

}  // namespace
