// Netbios() against the scripted transport and small transports of the tests' own: command checking, what each
// command delivers into the caller's buffer, asynchronous completion, synchronous commands on the caller's
// thread, deadlines and transports that fail.
#include "ncb_probe.h"

#include "testing/temporary_prefix.h"
#include <testing/scripted_netbios.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
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
    return nbt::adapter_status_reply(
        ADAPTER_STATUS{}, {nbt::name_buffer(nbt::netbios_name("HOST", ' ', 0x00), 1, REGISTERED),
                           nbt::name_buffer(nbt::netbios_name("GROUP", ' ', 0x1e), 2, GROUP_NAME | REGISTERED)});
}

std::vector<std::uint8_t> session_reply() {
    return nbt::session_status_reply(
        {1, 0, 0, 0}, {nbt::session_buffer(5, SESSION_ESTABLISHED, nbt::netbios_name("A"), nbt::netbios_name("B"))});
}

class NetbiosTest : public ::testing::Test {
protected:
    void SetUp() override {
        scripted.set_lanas({0, 1});
        scripted.set_adapter_status(0, {NRC_GOODRET, adapter_reply(), {}});
        scripted.set_adapter_status_for(0, "FARAWAY", {NRC_CMDTMO, {}, {}});
        scripted.set_session_status(0, {NRC_GOODRET, session_reply(), {}});
        scripted.set_reset(1, NRC_NORESOURCES);
    }
    ScriptedNetbios scripted;
};

// Refused at once: the code in the return value and both NCB fields, nothing written, no transport call, no post
// routine, the caller's last error untouched. ENUM asks no adapter and RESET needs no buffer; the status
// commands need at least their fixed part.
TEST_F(NetbiosTest, NcbChecks) {
    struct Case {
        UCHAR command, lana;
        bool null_buffer;
        WORD length;
        UCHAR expected;
    } cases[] = {{NCBENUM, 0, true, sizeof(LANA_ENUM), NRC_BUFLEN},
                 {NCBENUM, 0, false, 0, NRC_BUFLEN},
                 {NCBENUM, 9, false, 1, NRC_INCOMP},
                 {NCBASTAT, 0, true, 2048, NRC_BUFLEN},
                 {NCBASTAT, 0, false, sizeof(ADAPTER_STATUS) - 1, NRC_BUFLEN},
                 {NCBASTAT, 0, false, sizeof(ADAPTER_STATUS), NRC_INCOMP},
                 {NCBSSTAT, 0, false, sizeof(SESSION_HEADER) - 1, NRC_BUFLEN},
                 {NCBSSTAT, 0, false, sizeof(SESSION_HEADER), NRC_INCOMP},
                 {NCBSSTAT | ASYNCH, 0, false, 0, NRC_BUFLEN},
                 {NCBRESET, 0, true, 0, NRC_GOODRET},
                 {NCBRESET, 1, true, 0, NRC_NORESOURCES},
                 {NCBRESET, 2, true, 0, NRC_BRIDGE},
                 {NCBSSTAT, 9, false, 2048, NRC_BRIDGE},
                 {NCBRESET | ASYNCH, 9, false, 2048, NRC_BRIDGE},
                 {NCBCALL, 0, false, 2048, NRC_ILLCMD},
                 {0xff, 0, false, 2048, NRC_ILLCMD}};  // asynchronous, yet refused at once
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "command " << int(c.command) << " LANA " << int(c.lana) << " length "
                                        << c.length);
        std::size_t calls_before = scripted.transport_calls();
        Probe probe(c.command, c.lana, c.length);
        if (c.null_buffer)
            probe.ncb.ncb_buffer = nullptr;
        probe.ncb.ncb_post = RecordPost;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(Netbios(&probe.ncb), c.expected);
        EXPECT_EQ(GetLastError(), 0xdeadbeefu);
        EXPECT_EQ(probe.ncb.ncb_retcode, c.expected);
        EXPECT_EQ(probe.ncb.ncb_cmd_cplt, c.expected);
        EXPECT_TRUE(probe.guards_intact());
        ASSERT_TRUE(scripted.wait_until_idle());
        EXPECT_EQ(probe.calls, 0);
        bool answered = c.expected == NRC_GOODRET || c.expected == NRC_INCOMP || c.expected == NRC_NORESOURCES;
        EXPECT_EQ(scripted.transport_calls() != calls_before, answered && c.command != NCBENUM);
    }
    EXPECT_EQ(Netbios(nullptr), NRC_INVADDRESS);
    EXPECT_EQ(scripted.issued().size(), std::size(cases));  // the null NCB is not recorded
}

// The reply goes into the buffer as far as it fits; a good reply that had to be cut completes with NRC_INCOMP.
// The same synchronously and asynchronously; an asynchronous command's event is signalled and its final codes
// are set before its post routine runs.
TEST_F(NetbiosTest, WhatEachCommandDelivers) {
    struct Case {
        UCHAR command;
        const char *callname;
        std::vector<std::uint8_t> reply;
        WORD length;
        UCHAR expected;
    };
    auto adapter = adapter_reply(), sessions = session_reply();
    std::vector<Case> cases = {{NCBASTAT, "*", adapter, 2048, NRC_GOODRET},
                               {NCBASTAT, "FARAWAY", {}, 2048, NRC_CMDTMO},
                               {NCBASTAT, "*", adapter, sizeof(ADAPTER_STATUS) + sizeof(NAME_BUFFER) + 5, NRC_INCOMP},
                               {NCBSSTAT, "", sessions, WORD(sessions.size()), NRC_GOODRET},
                               {NCBSSTAT, "", sessions, sizeof(SESSION_HEADER) + 1, NRC_INCOMP}};
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
            if (asynch) {
                ASSERT_TRUE(probe.wait_posted());
                EXPECT_EQ(probe.retcode_seen, c.expected);
                EXPECT_EQ(probe.cmd_cplt_seen, c.expected);
                EXPECT_EQ(probe.event_signalled_seen, 1);
            }
            EXPECT_EQ(probe.ncb.ncb_cmd_cplt, c.expected);
            EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
            std::size_t copied = std::min<std::size_t>(c.reply.size(), c.length);
            EXPECT_EQ(std::memcmp(probe.buffer(), c.reply.data(), copied), 0);
            EXPECT_EQ(probe.buffer()[copied], guard);
            EXPECT_TRUE(probe.guards_intact());
            ASSERT_TRUE(scripted.wait_until_idle());
            EXPECT_EQ(probe.calls, asynch ? 1 : 0);
            CloseHandle(event);
        }
    }
}

TEST_F(NetbiosTest, Enumeration) {
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; i++)
        all[i] = std::uint8_t(i);
    struct Case {
        std::vector<std::uint8_t> lanas;
        UCHAR transport_code;
        WORD length;
        UCHAR expected;
        std::vector<std::uint8_t> written;
    } cases[] = {{{3, 0, 7}, NRC_GOODRET, sizeof(LANA_ENUM), NRC_GOODRET, {3, 3, 0, 7}},
                 {{0, 1, 2, 3}, NRC_GOODRET, 3, NRC_INCOMP, {4, 0, 1}},
                 {{}, NRC_GOODRET, sizeof(LANA_ENUM), NRC_GOODRET, {0}},
                 {{0}, NRC_SYSTEM, sizeof(LANA_ENUM), NRC_SYSTEM, {}},  // a failed enumeration writes nothing
                 {all, NRC_GOODRET, 1, NRC_INCOMP, {MAX_LANA + 1}}};    // LANA_ENUM holds at most MAX_LANA + 1
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.lanas.size() << " LANAs, length " << c.length);
        scripted.set_lanas(c.lanas);
        scripted.set_enumeration_retcode(c.transport_code);
        Probe probe(NCBENUM, 0, c.length);
        EXPECT_EQ(Netbios(&probe.ncb), c.expected);
        EXPECT_EQ(probe.ncb.ncb_cmd_cplt, c.expected);
        EXPECT_EQ(std::vector<std::uint8_t>(probe.buffer(), probe.buffer() + c.written.size()), c.written);
        EXPECT_EQ(probe.buffer()[c.written.size()], guard);
    }
}

TEST_F(NetbiosTest, AcceptedCommandIsPendingUntilItCompletesOnTheCompletionThread) {
    HANDLE event = CreateEventA(NULL, TRUE, TRUE, NULL);  // accepting the command resets it
    Probe probe(NCBASTAT | ASYNCH, 0, 2048);
    probe.ncb.ncb_post = RecordPost;
    probe.ncb.ncb_event = event;
    probe.ncb.ncb_name[0] = '*';
    std::memcpy(probe.ncb.ncb_callname, "CALLED", 6);
    scripted.hold(0);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    ASSERT_TRUE(scripted.wait_until_held(1));
    EXPECT_EQ(probe.ncb.ncb_retcode, NRC_PENDING);
    EXPECT_EQ(probe.ncb.ncb_cmd_cplt, NRC_PENDING);
    EXPECT_EQ(WaitForSingleObject(event, 0), (DWORD)WAIT_TIMEOUT);

    // A slow command holds up no other.
    Probe quick(NCBRESET | ASYNCH, 1, 0);
    quick.ncb.ncb_post = RecordPost;
    EXPECT_EQ(Netbios(&quick.ncb), NRC_GOODRET);
    ASSERT_TRUE(quick.wait_posted());
    EXPECT_EQ(probe.calls, 0);

    scripted.release(0);
    ASSERT_TRUE(probe.wait_posted());
    EXPECT_EQ(probe.retcode_seen, NRC_GOODRET);
    EXPECT_NE(probe.thread.load(), GetCurrentThreadId());
    ASSERT_TRUE(platform::netbios::wait_until_idle(30s));
    EXPECT_EQ(probe.calls, 1);
    CloseHandle(event);

    // The hook the viewer's tests read: every NCB as it reached Netbios(), before any field was set.
    auto issued = scripted.issued();
    ASSERT_EQ(issued.size(), 2u);
    EXPECT_EQ(issued[0].ncb, &probe.ncb);
    EXPECT_EQ(issued[0].command, NCBASTAT | ASYNCH);
    EXPECT_EQ(std::memcmp(issued[0].callname.data(), "CALLED\0\0\0\0\0\0\0\0\0\0", NCBNAMSZ), 0);
    EXPECT_EQ(std::memcmp(issued[0].name.data(), "*\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", NCBNAMSZ), 0);
    EXPECT_EQ(issued[0].contents.ncb_retcode, ncb_probe::unset_code);
}

// Commands issued from four threads while forty others hold every command thread there may be: a synchronous
// command needs none of them, and every asynchronous one posts once, on the one completion thread.
TEST_F(NetbiosTest, ManyConcurrentCommands) {
    scripted.hold(1);
    std::vector<std::unique_ptr<Probe>> probes;
    for (int i = 0; i < 240; i++) {
        static const UCHAR commands[] = {NCBASTAT | ASYNCH, NCBSSTAT | ASYNCH, NCBRESET | ASYNCH, NCBENUM | ASYNCH};
        probes.push_back(std::make_unique<Probe>(i < 40 ? NCBSSTAT | ASYNCH : commands[i % 4], i < 40, 2048));
        probes.back()->ncb.ncb_post = RecordPost;
        if (i < 40) {
            ASSERT_EQ(Netbios(&probes.back()->ncb), NRC_GOODRET);
        }
    }
    ASSERT_TRUE(scripted.wait_until_held(32));
    Probe sync(NCBSSTAT, 0, 2048);
    EXPECT_EQ(Netbios(&sync.ncb), NRC_GOODRET);

    std::atomic<int> next{40};
    std::vector<std::thread> issuers;
    for (int t = 0; t < 4; t++) {
        issuers.emplace_back([&] {
            for (int i; (i = next.fetch_add(1)) < int(probes.size());)
                EXPECT_EQ(Netbios(&probes[i]->ncb), NRC_GOODRET);
        });
    }
    for (auto &issuer : issuers)
        issuer.join();
    scripted.release(1);
    ASSERT_TRUE(scripted.wait_until_idle(60s));
    for (auto &probe : probes) {
        EXPECT_EQ(probe->calls, 1);
        EXPECT_EQ(probe->retcode_seen, NRC_GOODRET);
        EXPECT_EQ(probe->thread.load(), probes[0]->thread.load());
    }
}

TEST_F(NetbiosTest, CommandsThatGetNoAnswerTimeOut) {
    scripted.set_command_timeout(200ms);
    scripted.set_session_status(0, {NRC_GOODRET, session_reply(), 60s});
    Probe delayed(NCBSSTAT, 0, 64);
    EXPECT_EQ(Netbios(&delayed.ncb), NRC_CMDTMO);
    EXPECT_EQ(delayed.buffer()[0], guard);

    // A transport that overruns its deadline cannot delay an asynchronous command, and its late reply goes
    // nowhere: the caller's buffer is already its own again.
    scripted.hold(0, /*ignore_deadline=*/true);
    Probe held(NCBASTAT | ASYNCH, 0, 2048);
    held.ncb.ncb_post = RecordPost;
    EXPECT_EQ(Netbios(&held.ncb), NRC_GOODRET);
    ASSERT_TRUE(held.wait_posted());
    EXPECT_EQ(held.retcode_seen, NRC_CMDTMO);
    ASSERT_TRUE(scripted.wait_until_held(1));
    scripted.release(0);
    ASSERT_TRUE(scripted.wait_until_answered(2));
    ASSERT_TRUE(scripted.wait_until_idle());
    EXPECT_EQ(held.buffer()[0], guard);
    EXPECT_EQ(held.calls, 1);
}

// A transport on LANA 0 that notes the thread and deadline of every call, or throws as a buggy one might.
class OwnTransport final : public platform::netbios::Transport {
public:
    enum Fault { none, throws, lanas_throw };
    explicit OwnTransport(Fault fault = none) : fault_(fault) {}
    std::vector<std::uint8_t> lanas() override {
        if (fault_ == lanas_throw)
            throw std::runtime_error("interfaces unavailable");
        return {0};
    }
    std::chrono::milliseconds command_timeout() override { return 20s; }
    std::uint8_t reset(std::uint8_t, Deadline deadline) override {
        if (note(deadline))
            throw std::bad_alloc();
        return NRC_GOODRET;
    }
    Reply adapter_status(std::uint8_t, const Name &, Deadline deadline) override {
        if (note(deadline))
            throw std::runtime_error("malformed node status");
        return {NRC_GOODRET, adapter_reply()};
    }
    Reply session_status(std::uint8_t, const Name &, Deadline deadline) override {
        note(deadline);
        return {NRC_GOODRET, session_reply()};
    }
    std::vector<std::pair<DWORD, Deadline>> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    bool note(Deadline deadline) {
        std::lock_guard lock(mutex_);
        calls_.emplace_back(GetCurrentThreadId(), deadline);
        return fault_ == throws;
    }
    Fault fault_;
    std::mutex mutex_;
    std::vector<std::pair<DWORD, Deadline>> calls_;
};

// Installs a transport of the test's own; afterwards waits until every command is done with it.
class TransportSwap {
public:
    explicit TransportSwap(std::shared_ptr<platform::netbios::Transport> transport)
        : previous_(platform::netbios::current_transport()) {
        platform::netbios::install_transport(std::move(transport));
    }
    ~TransportSwap() {
        platform::netbios::wait_until_idle(30s);
        platform::netbios::install_transport(previous_);
    }

private:
    std::shared_ptr<platform::netbios::Transport> previous_;
};

TEST(NetbiosTransportFailures, BecomeReturnCodes) {
    struct Case {
        OwnTransport::Fault fault;
        UCHAR command, immediate, completed;
    } cases[] = {{OwnTransport::throws, NCBASTAT | ASYNCH, NRC_GOODRET, NRC_SYSTEM},
                 {OwnTransport::throws, NCBRESET, NRC_OSRESNOTAV, NRC_OSRESNOTAV},
                 {OwnTransport::lanas_throw, NCBASTAT | ASYNCH, NRC_SYSTEM, NRC_SYSTEM}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "fault " << c.fault << " command " << int(c.command));
        TransportSwap swap(std::make_shared<OwnTransport>(c.fault));
        Probe probe(c.command, 0, 2048);
        probe.ncb.ncb_post = RecordPost;
        EXPECT_EQ(Netbios(&probe.ncb), c.immediate);
        EXPECT_TRUE(platform::netbios::wait_until_idle(30s));
        EXPECT_EQ(probe.calls, c.immediate == NRC_GOODRET ? 1 : 0);
        EXPECT_EQ(probe.ncb.ncb_cmd_cplt, c.completed);
        EXPECT_TRUE(probe.guards_intact());
        EXPECT_EQ(probe.buffer()[0], guard);
    }
}

// A synchronous command runs on its caller's thread with the deadline every command gets, also inside a post
// routine; the same command issued asynchronously is carried out elsewhere.
TEST(NetbiosSynchronous, RunsOnTheCallersThreadWithTheUsualDeadline) {
    auto transport = std::make_shared<OwnTransport>();
    TransportSwap swap(transport);
    for (UCHAR command : {UCHAR(NCBRESET), UCHAR(NCBASTAT), UCHAR(NCBSSTAT), UCHAR(NCBASTAT | ASYNCH)}) {
        SCOPED_TRACE(testing::Message() << "command " << int(command));
        Probe probe(command, 0, 2048);
        probe.ncb.ncb_post = RecordPost;
        auto before = Clock::now();
        EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
        if (command & ASYNCH) {
            ASSERT_TRUE(probe.wait_posted());
        }
        auto after = Clock::now();
        auto calls = transport->calls();
        EXPECT_EQ(calls.back().first == GetCurrentThreadId(), !(command & ASYNCH));
        EXPECT_GE(calls.back().second, before + 20s);
        EXPECT_LE(calls.back().second, after + 20s);
    }

    struct NestedIssuer {
        NCB ncb{};  // first, so that the post routine finds the rest
        Probe inner{NCBASTAT, 0, 2048};
        std::atomic<int> inner_result{-1};
    } issuer;
    issuer.ncb.ncb_command = NCBRESET | ASYNCH;
    issuer.ncb.ncb_post = [](PNCB pncb) {
        auto *self = reinterpret_cast<NestedIssuer *>(pncb);
        self->inner_result = Netbios(&self->inner.ncb);
    };
    EXPECT_EQ(Netbios(&issuer.ncb), NRC_GOODRET);
    ASSERT_TRUE(platform::netbios::wait_until_idle(30s));
    EXPECT_EQ(issuer.inner_result, NRC_GOODRET);
    auto reply = adapter_reply();
    EXPECT_EQ(std::memcmp(issuer.inner.buffer(), reply.data(), reply.size()), 0);
}

TEST(NetbiosDefaultTransport, AMapOfMissingInterfacesLeavesNoLanas) {
    nbt::TemporaryPrefix prefix;
    prefix.write_config("[netbios]\nlana.0 = no-such-if\n");
    Probe lanas(NCBENUM, 0, sizeof(LANA_ENUM));
    EXPECT_EQ(Netbios(&lanas.ncb), NRC_GOODRET);
    EXPECT_EQ(lanas.buffer()[0], 0);
    Probe reset(NCBRESET, 0, 0);
    EXPECT_EQ(Netbios(&reset.ncb), NRC_BRIDGE);
}

}  // namespace
