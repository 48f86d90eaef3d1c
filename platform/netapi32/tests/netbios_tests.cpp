// Netbios() against the scripted transport: what each command delivers, cut replies, refusals, asynchronous
// completion and deadlines.
#include "ncb_probe.h"
#include "transport_swap.h"

#include <testing/scripted_netbios.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::testing::ScriptedNetbios;
using platform::testing::ScriptedReply;
namespace nbt = platform::testing;

using ncb_probe::guard;
using ncb_probe::Probe;
using ncb_probe::RecordPost;

std::vector<std::uint8_t> two_name_adapter_reply() {
    ADAPTER_STATUS status{};
    status.adapter_address[0] = 0x02;
    status.xmit_success = 0xffffffffu;
    status.max_sess = 7;
    return nbt::adapter_status_reply(
        status, {nbt::name_buffer(nbt::netbios_name("HOST", ' ', 0x00), 1, REGISTERED),
                 nbt::name_buffer(nbt::netbios_name("GROUP", ' ', 0x1e), 2, GROUP_NAME | REGISTERED)});
}

std::vector<std::uint8_t> one_session_reply() {
    return nbt::session_status_reply(
        {1, 0, 0, 0},
        {nbt::session_buffer(5, SESSION_ESTABLISHED, nbt::netbios_name("HOST"), nbt::netbios_name("PEER"), 1, 2)});
}

class NetbiosTest : public ::testing::Test {
protected:
    ScriptedNetbios scripted;
};

// Enumeration.

TEST_F(NetbiosTest, EnumerationListsTheTransportsLanasInOrder) {
    scripted.set_lanas({3, 0, 7});
    Probe probe(NCBENUM, 0, sizeof(LANA_ENUM));
    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    EXPECT_EQ(probe.ncb.ncb_retcode, NRC_GOODRET);
    EXPECT_EQ(probe.ncb.ncb_cmd_cplt, NRC_GOODRET);
    EXPECT_EQ(probe.buffer()[0], 3);
    EXPECT_EQ(probe.buffer()[1], 3);
    EXPECT_EQ(probe.buffer()[2], 0);
    EXPECT_EQ(probe.buffer()[3], 7);
    EXPECT_EQ(probe.buffer()[4], guard);  // nothing written past the list
    EXPECT_TRUE(probe.guards_intact());
}

TEST_F(NetbiosTest, EnumerationCutToTheBufferIsIncomplete) {
    scripted.set_lanas({0, 1, 2, 3});
    Probe probe(NCBENUM, 0, 3);
    EXPECT_EQ(Netbios(&probe.ncb), NRC_INCOMP);
    EXPECT_EQ(probe.ncb.ncb_cmd_cplt, NRC_INCOMP);
    EXPECT_EQ(probe.buffer()[0], 4);
    EXPECT_EQ(probe.buffer()[1], 0);
    EXPECT_EQ(probe.buffer()[2], 1);
    EXPECT_TRUE(probe.guards_intact());
}

TEST_F(NetbiosTest, EnumerationWithNoLanasOrAFailure) {
    Probe empty(NCBENUM, 0, sizeof(LANA_ENUM));
    EXPECT_EQ(Netbios(&empty.ncb), NRC_GOODRET);
    EXPECT_EQ(empty.buffer()[0], 0);

    scripted.set_lanas({0});
    scripted.set_enumeration_retcode(NRC_SYSTEM);
    Probe failed(NCBENUM, 0, sizeof(LANA_ENUM));
    EXPECT_EQ(Netbios(&failed.ncb), NRC_SYSTEM);
    EXPECT_EQ(failed.ncb.ncb_cmd_cplt, NRC_SYSTEM);
    EXPECT_EQ(failed.buffer()[0], guard);  // a failed enumeration writes nothing
}

TEST_F(NetbiosTest, BufferProblemsAreRefused) {
    scripted.set_lanas({0});
    struct Case {
        UCHAR command;
        bool null_buffer;
        WORD length;
    } cases[] = {
        {NCBENUM, true, sizeof(LANA_ENUM)},
        {NCBENUM, false, 0},
        {NCBASTAT, true, 2048},
        {NCBASTAT, false, sizeof(ADAPTER_STATUS) - 1},
        {NCBSSTAT, true, 2048},
        {NCBSSTAT, false, sizeof(SESSION_HEADER) - 1},
        {NCBSSTAT | ASYNCH, false, 0},
    };
    for (const auto &c : cases) {
        Probe probe(c.command, 0, c.length);
        if (c.null_buffer)
            probe.ncb.ncb_buffer = nullptr;
        probe.ncb.ncb_post = RecordPost;
        EXPECT_EQ(Netbios(&probe.ncb), NRC_BUFLEN) << "command " << int(c.command) << " length " << c.length;
        EXPECT_EQ(probe.ncb.ncb_cmd_cplt, NRC_BUFLEN);
        EXPECT_TRUE(probe.guards_intact());
    }
    EXPECT_EQ(scripted.transport_calls(), 0u);
}

// Reset and LANA checks.

TEST_F(NetbiosTest, ResetReturnsTheTransportsCodeAndUnlistedLanasAreRefused) {
    scripted.set_lanas({0, 2});
    scripted.set_reset(2, NRC_NORESOURCES);
    Probe ok(NCBRESET, 0, 0), failed(NCBRESET, 2, 0), unlisted(NCBRESET, 1, 0);
    ok.ncb.ncb_buffer = failed.ncb.ncb_buffer = unlisted.ncb.ncb_buffer = nullptr;
    EXPECT_EQ(Netbios(&ok.ncb), NRC_GOODRET);
    EXPECT_EQ(Netbios(&failed.ncb), NRC_NORESOURCES);
    EXPECT_EQ(failed.ncb.ncb_cmd_cplt, NRC_NORESOURCES);
    EXPECT_EQ(Netbios(&unlisted.ncb), NRC_BRIDGE);
    EXPECT_EQ(unlisted.ncb.ncb_cmd_cplt, NRC_BRIDGE);
    EXPECT_EQ(scripted.transport_calls(), 2u);

    for (UCHAR command : {UCHAR(NCBASTAT), UCHAR(NCBSSTAT), UCHAR(NCBASTAT | ASYNCH), UCHAR(NCBRESET | ASYNCH)}) {
        Probe probe(command, 9, 2048);
        probe.ncb.ncb_post = RecordPost;
        EXPECT_EQ(Netbios(&probe.ncb), NRC_BRIDGE) << "command " << int(command);
        EXPECT_EQ(probe.ncb.ncb_retcode, NRC_BRIDGE);
        EXPECT_TRUE(probe.guards_intact());
        ASSERT_TRUE(scripted.wait_until_idle());
        EXPECT_EQ(probe.calls, 0);
    }
}

TEST_F(NetbiosTest, NullNcbAndUnknownCommands) {
    EXPECT_EQ(Netbios(nullptr), NRC_INVADDRESS);
    scripted.set_lanas({0});
    for (UCHAR command : {UCHAR(NCBCALL), UCHAR(NCBADDNAME), UCHAR(NCBCANCEL), UCHAR(0x7f), UCHAR(0xff)}) {
        Probe probe(command, 0, 2048);
        probe.ncb.ncb_post = RecordPost;
        EXPECT_EQ(Netbios(&probe.ncb), NRC_ILLCMD) << "command " << int(command);
        EXPECT_EQ(probe.ncb.ncb_retcode, NRC_ILLCMD);
        EXPECT_EQ(probe.ncb.ncb_cmd_cplt, NRC_ILLCMD);
        ASSERT_TRUE(scripted.wait_until_idle());
        EXPECT_EQ(probe.calls, 0);  // 0xff is asynchronous: refused at once, so never posted
    }
    EXPECT_EQ(scripted.issued().size(), 5u);  // the null NCB is not recorded
}

// Status replies.

TEST_F(NetbiosTest, AdapterStatusDeliversTheWholeReply) {
    auto reply = two_name_adapter_reply();
    scripted.set_lanas({1});
    scripted.set_adapter_status(1, {NRC_GOODRET, reply, {}});
    Probe probe(NCBASTAT, 1, 2048);
    probe.ncb.ncb_callname[0] = '*';
    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    EXPECT_EQ(std::memcmp(probe.buffer(), reply.data(), reply.size()), 0);
    EXPECT_EQ(probe.buffer()[reply.size()], guard);
    EXPECT_EQ(reinterpret_cast<PADAPTER_STATUS>(probe.buffer())->name_count, 2);
}

TEST_F(NetbiosTest, ShortBufferGetsExactlyTheBytesThatFit) {
    auto adapter = two_name_adapter_reply();
    auto sessions = one_session_reply();
    scripted.set_lanas({0});
    scripted.set_adapter_status(0, {NRC_GOODRET, adapter, {}});
    scripted.set_session_status(0, {NRC_GOODRET, sessions, {}});

    for (UCHAR asynch : {UCHAR(0), UCHAR(ASYNCH)}) {
        WORD length = sizeof(ADAPTER_STATUS) + sizeof(NAME_BUFFER) + 5;
        Probe astat(NCBASTAT | asynch, 0, length);
        astat.ncb.ncb_post = RecordPost;
        UCHAR immediate = Netbios(&astat.ncb);
        if (asynch) {
            EXPECT_EQ(immediate, NRC_GOODRET);
            ASSERT_TRUE(astat.wait_posted());
        } else {
            EXPECT_EQ(immediate, NRC_INCOMP);
        }
        EXPECT_EQ(astat.ncb.ncb_retcode, NRC_INCOMP);
        EXPECT_EQ(astat.ncb.ncb_cmd_cplt, NRC_INCOMP);
        EXPECT_EQ(std::memcmp(astat.buffer(), adapter.data(), length), 0);
        EXPECT_TRUE(astat.guards_intact());

        Probe sstat(NCBSSTAT | asynch, 0, sizeof(SESSION_HEADER) + 1);
        sstat.ncb.ncb_post = RecordPost;
        Netbios(&sstat.ncb);
        if (asynch) {
            ASSERT_TRUE(sstat.wait_posted());
        }
        EXPECT_EQ(sstat.ncb.ncb_retcode, NRC_INCOMP);
        EXPECT_EQ(std::memcmp(sstat.buffer(), sessions.data(), sizeof(SESSION_HEADER) + 1), 0);
        EXPECT_TRUE(sstat.guards_intact());
    }
}

TEST_F(NetbiosTest, ReplyOfExactlyTheBufferSizeIsComplete) {
    auto sessions = one_session_reply();
    scripted.set_lanas({0});
    scripted.set_session_status(0, {NRC_GOODRET, sessions, {}});
    Probe probe(NCBSSTAT, 0, static_cast<WORD>(sessions.size()));
    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    EXPECT_EQ(std::memcmp(probe.buffer(), sessions.data(), sessions.size()), 0);
    EXPECT_TRUE(probe.guards_intact());
}

TEST_F(NetbiosTest, AdapterStatusIsAskedOfTheCallName) {
    scripted.set_lanas({0});
    scripted.set_adapter_status(0, {NRC_GOODRET, two_name_adapter_reply(), {}});
    scripted.set_adapter_status_for(0, "FARAWAY", {NRC_CMDTMO, {}, {}});
    Probe remote(NCBASTAT, 0, 2048);
    std::memcpy(remote.ncb.ncb_callname, "FARAWAY         ", NCBNAMSZ);
    EXPECT_EQ(Netbios(&remote.ncb), NRC_CMDTMO);
    EXPECT_EQ(remote.buffer()[0], guard);

    Probe local(NCBASTAT, 0, 2048);
    std::memcpy(local.ncb.ncb_callname, "*               ", NCBNAMSZ);
    EXPECT_EQ(Netbios(&local.ncb), NRC_GOODRET);
}

TEST_F(NetbiosTest, EveryIssuedNcbIsRecorded) {
    scripted.set_lanas({2});
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    Probe probe(NCBSSTAT | ASYNCH, 2, 2048);
    probe.ncb.ncb_name[0] = '*';
    std::memcpy(probe.ncb.ncb_callname, "CALLED", 6);
    probe.ncb.ncb_post = RecordPost;
    probe.ncb.ncb_event = event;
    probe.ncb.ncb_rto = 9;
    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    ASSERT_TRUE(probe.wait_posted());

    auto issued = scripted.issued();
    ASSERT_EQ(issued.size(), 1u);
    EXPECT_EQ(issued[0].ncb, &probe.ncb);
    EXPECT_EQ(issued[0].command, NCBSSTAT | ASYNCH);
    EXPECT_EQ(issued[0].lana, 2);
    EXPECT_EQ(std::memcmp(issued[0].callname.data(), "CALLED\0\0\0\0\0\0\0\0\0\0", NCBNAMSZ), 0);
    EXPECT_EQ(std::memcmp(issued[0].name.data(), "*\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", NCBNAMSZ), 0);
    EXPECT_EQ(issued[0].length, 2048);
    EXPECT_EQ(issued[0].buffer, probe.buffer());
    EXPECT_EQ(issued[0].post, &RecordPost);
    EXPECT_EQ(issued[0].event, event);
    EXPECT_EQ(issued[0].thread, GetCurrentThreadId());
    EXPECT_EQ(issued[0].contents.ncb_rto, 9);
    EXPECT_EQ(issued[0].contents.ncb_retcode, ncb_probe::unset_code);  // as issued, before Netbios() set it
    CloseHandle(event);
}

TEST_F(NetbiosTest, SynchronousCommandSignalsItsEvent) {
    scripted.set_lanas({0});
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    Probe probe(NCBRESET, 0, 0);
    probe.ncb.ncb_event = event;
    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(probe.calls, 0);
    CloseHandle(event);
}

}  // namespace

namespace {

// A transport that fails the way a buggy one might: by throwing.
class ThrowingTransport : public platform::netbios::Transport {
public:
    explicit ThrowingTransport(bool throw_from_lanas) : throw_from_lanas_(throw_from_lanas) {}
    std::vector<std::uint8_t> lanas() override {
        if (throw_from_lanas_)
            throw std::runtime_error("interfaces unavailable");
        return {0};
    }
    std::uint8_t reset(std::uint8_t, platform::netbios::Deadline) override { throw std::bad_alloc(); }
    platform::netbios::Reply adapter_status(std::uint8_t, const platform::netbios::Name &,
                                            platform::netbios::Deadline) override {
        throw std::runtime_error("malformed node status");
    }
    platform::netbios::Reply session_status(std::uint8_t, const platform::netbios::Name &,
                                            platform::netbios::Deadline) override {
        return {};
    }

private:
    bool throw_from_lanas_;
};

TEST(NetbiosTransportFailures, BecomeReturnCodes) {
    {
        TransportSwap swap(std::make_shared<ThrowingTransport>(false));
        Probe astat(NCBASTAT | ASYNCH, 0, 2048);
        astat.ncb.ncb_post = RecordPost;
        EXPECT_EQ(Netbios(&astat.ncb), NRC_GOODRET);
        ASSERT_TRUE(astat.wait_posted());
        EXPECT_EQ(astat.retcode_seen, NRC_SYSTEM);
        EXPECT_TRUE(astat.guards_intact());

        Probe reset(NCBRESET, 0, 0);
        EXPECT_EQ(Netbios(&reset.ncb), NRC_OSRESNOTAV);
    }
    {
        TransportSwap swap(std::make_shared<ThrowingTransport>(true));
        Probe astat(NCBASTAT | ASYNCH, 0, 2048);
        astat.ncb.ncb_post = RecordPost;
        EXPECT_EQ(Netbios(&astat.ncb), NRC_SYSTEM);
        EXPECT_EQ(astat.ncb.ncb_cmd_cplt, NRC_SYSTEM);
        EXPECT_TRUE(platform::netbios::wait_until_idle(std::chrono::seconds(30)));
        EXPECT_EQ(astat.calls, 0);
    }
}

TEST_F(NetbiosTest, CallersLastErrorIsKept) {
    scripted.set_lanas({0});
    Probe probe(NCBASTAT | ASYNCH, 0, 2048);
    probe.ncb.ncb_event = reinterpret_cast<HANDLE>(0x7ff0);  // not a handle: resetting it fails
    probe.ncb.ncb_post = RecordPost;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    ASSERT_TRUE(probe.wait_posted());

    Probe refused(0x7f, 0, 0);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Netbios(&refused.ncb), NRC_ILLCMD);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
}

}  // namespace
