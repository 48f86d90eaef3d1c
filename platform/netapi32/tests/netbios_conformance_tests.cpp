// Conformance of Netbios() as a Win32 program relies on it, whatever LANAs the machine has. Uses only the Win32
// API and GoogleTest, so it also builds for Windows. No command here sends anything on a network.
#include "ncb_probe.h"

#include <gtest/gtest.h>

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

// Posted once, on another thread, with final codes and its event signalled; marks that earlier NCBs were handled.
void ExpectAsynchronousEnumeration() {
    Probe probe(NCBENUM | ASYNCH, 0, sizeof(LANA_ENUM));
    probe.ncb.ncb_post = RecordPost;
    probe.ncb.ncb_event = CreateEventA(NULL, TRUE, TRUE, NULL);
    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    ASSERT_TRUE(probe.wait_posted());
    EXPECT_EQ(WaitForSingleObject(probe.ncb.ncb_event, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(probe.calls, 1);
    EXPECT_NE(probe.thread.load(), GetCurrentThreadId());
    EXPECT_EQ(probe.retcode_seen * 256 + probe.cmd_cplt_seen, NRC_GOODRET);
    CloseHandle(probe.ncb.ncb_event);
}

// Refused at once, with the code in both NCB fields too (Wine only returns it), and never posted: a program
// waiting for its post routine relies on it running exactly when the command was accepted.
TEST(NetbiosConformance, RefusedCommandsAreNeverPostedAndAcceptedOnesOnce) {
    Probe lanas(NCBENUM, 0, sizeof(LANA_ENUM));
    lanas.ncb.ncb_post = RecordPost;  // not called for a synchronous command
    ASSERT_EQ(Netbios(&lanas.ncb), NRC_GOODRET);
    UCHAR unlisted = 0;
    while (memchr(lanas.buffer() + 1, unlisted, lanas.buffer()[0]))
        unlisted++;
    const UCHAR commands[] = {0x01, 0x38, 0x7e, NCBRESET, NCBRESET | ASYNCH, NCBASTAT | ASYNCH, NCBSSTAT | ASYNCH};
    for (UCHAR command : commands) {
        Probe probe(command, unlisted, 256);
        probe.ncb.ncb_post = RecordPost;
        UCHAR expected = (command & 0x7f) == NCBRESET || command & ASYNCH ? NRC_BRIDGE : NRC_ILLCMD;
        EXPECT_EQ(Netbios(&probe.ncb), expected) << "command " << (int)command;
        if (!RunningOnWine()) {
            EXPECT_EQ(probe.ncb.ncb_retcode * 256 + probe.ncb.ncb_cmd_cplt, expected * 257) << (int)command;
            ExpectAsynchronousEnumeration();
        }
        EXPECT_EQ(probe.calls, 0) << "command " << (int)command;
    }
    EXPECT_EQ(lanas.calls, 0);
}

}  // namespace
