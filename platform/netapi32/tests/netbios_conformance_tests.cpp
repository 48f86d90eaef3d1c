// Conformance of Netbios() as a Win32 program relies on it, whatever LANAs the machine has. Uses only the Win32
// API and GoogleTest, so it also builds for Windows.
#include <windows.h>
#include <nb30.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace {

constexpr UCHAR sentinel = 0x5a;

// An NCB with what its post routine saw. The NCB comes first so the post routine can find its probe.
struct PostProbe {
    NCB ncb;
    std::atomic<int> calls{0};
    std::atomic<DWORD> thread{0};
    std::atomic<int> retcode_seen{-1};
    std::atomic<int> cmd_cplt_seen{-1};
    HANDLE posted = nullptr;
};

void CALLBACK RecordPost(PNCB pncb) {
    auto *probe = reinterpret_cast<PostProbe *>(pncb);
    probe->retcode_seen = pncb->ncb_retcode;
    probe->cmd_cplt_seen = pncb->ncb_cmd_cplt;
    probe->thread = GetCurrentThreadId();
    probe->calls++;
    SetEvent(probe->posted);
}

class NetbiosConformance : public ::testing::Test {
protected:
    void SetUp() override {
        posted_ = CreateEventA(NULL, TRUE, FALSE, NULL);
        ASSERT_NE(posted_, (HANDLE)NULL);
    }
    void TearDown() override { CloseHandle(posted_); }

    void Prepare(PostProbe &probe, UCHAR command, PUCHAR buffer, WORD length) {
        memset(&probe.ncb, 0, sizeof(probe.ncb));
        probe.ncb.ncb_command = command;
        probe.ncb.ncb_buffer = buffer;
        probe.ncb.ncb_length = length;
        probe.ncb.ncb_retcode = sentinel;
        probe.ncb.ncb_cmd_cplt = sentinel;
        probe.posted = posted_;
    }

    // The LANAs the machine lists, and one number it does not list.
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

    HANDLE posted_ = nullptr;
};

TEST_F(NetbiosConformance, SynchronousEnumerationSetsBothCodes) {
    PostProbe probe;
    LANA_ENUM lanas;
    memset(&lanas, 0xee, sizeof(lanas));
    Prepare(probe, NCBENUM, (PUCHAR)&lanas, sizeof(lanas));
    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    EXPECT_EQ(probe.ncb.ncb_retcode, NRC_GOODRET);
    EXPECT_EQ(probe.ncb.ncb_cmd_cplt, NRC_GOODRET);
    EXPECT_LE(lanas.length, MAX_LANA + 1);
    EXPECT_EQ(probe.calls, 0);
}

TEST_F(NetbiosConformance, UnknownCommandsAreIllegal) {
    const UCHAR commands[] = {0x01, 0x38, 0x3f, 0x7e};
    for (UCHAR command : commands) {
        PostProbe probe;
        Prepare(probe, command, NULL, 0);
        EXPECT_EQ(Netbios(&probe.ncb), NRC_ILLCMD) << "command " << (int)command;
        EXPECT_EQ(probe.ncb.ncb_retcode, NRC_ILLCMD) << "command " << (int)command;
        EXPECT_EQ(probe.ncb.ncb_cmd_cplt, NRC_ILLCMD) << "command " << (int)command;
    }
}

TEST_F(NetbiosConformance, ResetOfUnlistedLanaIsRefused) {
    PostProbe probe;
    Prepare(probe, NCBRESET, NULL, 0);
    probe.ncb.ncb_lana_num = UnlistedLana();
    EXPECT_EQ(Netbios(&probe.ncb), NRC_BRIDGE);
    EXPECT_EQ(probe.ncb.ncb_retcode, NRC_BRIDGE);
    EXPECT_EQ(probe.ncb.ncb_cmd_cplt, NRC_BRIDGE);
}

TEST_F(NetbiosConformance, AsynchronousEnumerationPostsOnceOnAnotherThreadWithFinalCodes) {
    PostProbe probe;
    LANA_ENUM lanas;
    HANDLE done = CreateEventA(NULL, TRUE, TRUE, NULL);
    Prepare(probe, NCBENUM | ASYNCH, (PUCHAR)&lanas, sizeof(lanas));
    probe.ncb.ncb_post = RecordPost;
    probe.ncb.ncb_event = done;

    EXPECT_EQ(Netbios(&probe.ncb), NRC_GOODRET);
    ASSERT_EQ(WaitForSingleObject(posted_, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(done, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(probe.calls, 1);
    EXPECT_NE(probe.thread.load(), GetCurrentThreadId());
    EXPECT_EQ(probe.retcode_seen, NRC_GOODRET);
    EXPECT_EQ(probe.cmd_cplt_seen, NRC_GOODRET);
    CloseHandle(done);
}

TEST_F(NetbiosConformance, RefusedAsynchronousCommandNeverPosts) {
    PostProbe refused[3];
    Prepare(refused[0], 0x38 | ASYNCH, NULL, 0);
    Prepare(refused[1], NCBRESET | ASYNCH, NULL, 0);
    refused[1].ncb.ncb_lana_num = UnlistedLana();
    Prepare(refused[2], NCBASTAT | ASYNCH, NULL, 0);
    refused[2].ncb.ncb_lana_num = UnlistedLana();
    const UCHAR expected[] = {NRC_ILLCMD, NRC_BRIDGE, NRC_BRIDGE};
    for (int i = 0; i < 3; i++) {
        refused[i].ncb.ncb_post = RecordPost;
        EXPECT_EQ(Netbios(&refused[i].ncb), expected[i]) << "NCB " << i;
        EXPECT_EQ(refused[i].ncb.ncb_retcode, expected[i]) << "NCB " << i;
        EXPECT_EQ(refused[i].ncb.ncb_cmd_cplt, expected[i]) << "NCB " << i;
    }

    // A command accepted afterwards completes; by then any post routine of the refused ones would have run.
    PostProbe accepted;
    LANA_ENUM lanas;
    Prepare(accepted, NCBENUM | ASYNCH, (PUCHAR)&lanas, sizeof(lanas));
    accepted.ncb.ncb_post = RecordPost;
    EXPECT_EQ(Netbios(&accepted.ncb), NRC_GOODRET);
    ASSERT_EQ(WaitForSingleObject(posted_, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(accepted.calls, 1);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(refused[i].calls, 0) << "NCB " << i;
}

}  // namespace
