// Conformance of Netbios() as a Win32 program relies on it, whatever LANAs the machine has. Uses only the Win32
// API and GoogleTest, so it also builds for Windows. No command here sends anything on a network.
#include "ncb_probe.h"

#include <windows.h>
#include <nb30.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace {

using ncb_probe::Probe;
using ncb_probe::RecordPost;

// Wine's Netbios() departs from the documented behaviour in a few places, each noted where it matters.
bool RunningOnWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

// A LANA number the machine does not list.
UCHAR UnlistedLana() {
    LANA_ENUM lanas;
    NCB ncb;
    memset(&ncb, 0, sizeof(ncb));
    ncb.ncb_command = NCBENUM;
    ncb.ncb_buffer = (PUCHAR)&lanas;
    ncb.ncb_length = sizeof(lanas);
    EXPECT_EQ(Netbios(&ncb), NRC_GOODRET);
    for (int candidate = MAX_LANA; candidate >= 0; candidate--) {
        if (!memchr(lanas.lana, candidate, lanas.length))
            return (UCHAR)candidate;
    }
    return 0;
}

// A refused NCB carries its code in ncb_retcode and ncb_cmd_cplt too; Wine only returns it.
void ExpectRefusedCodes(const Probe &probe, UCHAR expected) {
    if (RunningOnWine())
        return;
    EXPECT_EQ(probe.ncb.ncb_retcode, expected);
    EXPECT_EQ(probe.ncb.ncb_cmd_cplt, expected);
}

TEST(NetbiosConformance, SynchronousEnumerationSetsBothCodes) {
    Probe probe(NCBENUM, 0, sizeof(LANA_ENUM));
    probe.ncb.ncb_post = RecordPost;  // not called for a synchronous command
    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    EXPECT_EQ(probe.ncb.ncb_retcode, NRC_GOODRET);
    EXPECT_EQ(probe.ncb.ncb_cmd_cplt, NRC_GOODRET);
    EXPECT_LE(probe.buffer()[0], MAX_LANA + 1);
    EXPECT_TRUE(probe.guards_intact());
    EXPECT_EQ(probe.calls, 0);
}

TEST(NetbiosConformance, UnknownCommandsAreIllegal) {
    const UCHAR commands[] = {0x01, 0x38, 0x3f, 0x7e};
    for (UCHAR command : commands) {
        Probe probe(command, 0, 0);
        EXPECT_EQ(Netbios(&probe.ncb), NRC_ILLCMD) << "command " << (int)command;
        ExpectRefusedCodes(probe, NRC_ILLCMD);
    }
}

TEST(NetbiosConformance, ResetOfUnlistedLanaIsRefused) {
    Probe probe(NCBRESET, UnlistedLana(), 0);
    EXPECT_EQ(Netbios(&probe.ncb), NRC_BRIDGE);
    ExpectRefusedCodes(probe, NRC_BRIDGE);
}

TEST(NetbiosConformance, AsynchronousEnumerationPostsOnceOnAnotherThreadWithFinalCodes) {
    if (RunningOnWine())
        GTEST_SKIP() << "Wine completes an asynchronous enumeration at once and never calls its post routine";
    HANDLE done = CreateEventA(NULL, TRUE, TRUE, NULL);
    Probe probe(NCBENUM | ASYNCH, 0, sizeof(LANA_ENUM));
    probe.ncb.ncb_post = RecordPost;
    probe.ncb.ncb_event = done;

    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    ASSERT_EQ(WaitForSingleObject(probe.posted, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(done, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(probe.calls, 1);
    EXPECT_NE(probe.thread.load(), GetCurrentThreadId());
    EXPECT_EQ(probe.retcode_seen, NRC_GOODRET);
    EXPECT_EQ(probe.cmd_cplt_seen, NRC_GOODRET);
    CloseHandle(done);
}

// What a program waiting for its post routine relies on: the routine runs exactly when the command was accepted,
// and never for a command that Netbios() refused at once. This platform refuses these at once.
TEST(NetbiosConformance, PostRoutineRunsOnlyForAcceptedCommands) {
    const UCHAR commands[] = {NCBRESET | ASYNCH, NCBASTAT | ASYNCH, NCBSSTAT | ASYNCH};
    UCHAR unlisted = UnlistedLana();
    for (UCHAR command : commands) {
        Probe probe(command, unlisted, 256);
        probe.ncb.ncb_post = RecordPost;
        UCHAR immediate = Netbios(&probe.ncb);
        if (immediate == NRC_GOODRET) {
            ADD_FAILURE() << "command " << (int)command << " for an unlisted LANA was accepted";
            ASSERT_EQ(WaitForSingleObject(probe.posted, 30000), WAIT_OBJECT_0) << "command " << (int)command;
            EXPECT_EQ(probe.retcode_seen, NRC_BRIDGE) << "command " << (int)command;
        } else {
            EXPECT_EQ(immediate, NRC_BRIDGE) << "command " << (int)command;
            ExpectRefusedCodes(probe, NRC_BRIDGE);
            // Proving that something does not happen takes a wait; a short one can only miss a fault, not
            // invent one.
            EXPECT_EQ(WaitForSingleObject(probe.posted, 300), (DWORD)WAIT_TIMEOUT) << "command " << (int)command;
        }
        EXPECT_LE(probe.calls, 1) << "command " << (int)command;
    }
}

}  // namespace
