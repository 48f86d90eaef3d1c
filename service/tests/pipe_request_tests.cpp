// Requests on the command pipe: the exact reply texts, always in 180-byte replies, and the drive ACLs
// that lock and unlock leave behind.
#include "service_harness.h"

namespace vessamir_test {
namespace {

class PipeRequests : public ServiceTest {};

TEST_F(PipeRequests, EachRequestGetsItsExactTextInA180ByteReply) {
    start_running();
    struct Case {
        std::string request, reply;
    };
    const Case cases[] = {
        {"Q", "Floppy status is: Locked"},  // locked by the start-up
        {"", "Bad operation passed in"},    // an empty message carries no command, not the last one's
        {"U", "Floppies were unlocked"},
        {"Q", "Floppy status is: Unlocked"},
        {"L", "Floppies were locked"},
        {"Q", "Floppy status is: Locked"},
        {"l", "Bad operation passed in"},
        {"q", "Bad operation passed in"},
        {"U" + std::string(179, 'x'), "Floppies were unlocked"},
        {"Q" + std::string(179, '\0'), "Floppy status is: Unlocked"},
        {"L" + std::string(179, 'U'), "Floppies were locked"},
        {"Qrest of the request is not examined", "Floppy status is: Locked"},
        {std::string(1, '\xcc'), "Bad operation passed in"},
    };
    for (auto &test : cases) {
        SCOPED_TRACE("request of " + std::to_string(test.request.size()) + " bytes: " + test.request.substr(0, 1));
        DWORD error = 0;
        std::string reply = exchange(test.request, &error);
        ASSERT_EQ(error, (DWORD)ERROR_SUCCESS);
        ASSERT_EQ(reply.size(), 180u);
        EXPECT_EQ(text_of(reply), test.reply);
        // Nothing of an earlier, longer reply shows after the NUL.
        EXPECT_EQ(reply.find_first_not_of('\0', test.reply.size()), std::string::npos);
    }
    EXPECT_EQ(log_text(), "");  // both drives took every write
}

TEST_F(PipeRequests, OverlongRequestIsDroppedWithoutReplyAndTheNextIsServed) {
    start_running();
    DWORD error = 0;
    EXPECT_EQ(exchange("U" + std::string(180, 'x'), &error), "");
    EXPECT_NE(error, (DWORD)ERROR_SUCCESS);
    // The 181-byte unlock did nothing.
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Locked");
    EXPECT_EQ(acl_of(drive_file("a:")).find("other::---") != std::string::npos, true);
}

TEST_F(PipeRequests, ClientThatClosesWithoutWritingIsDisconnected) {
    start_running();
    HANDLE client = CreateFileA(pipe_name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    CloseHandle(client);
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Locked");
}

TEST_F(PipeRequests, SmallReadBufferGetsMoreData) {
    start_running();
    char reply[100];
    DWORD received = 0;
    char request[] = "Q";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CallNamedPipeA(pipe_name, request, 1, reply, sizeof reply, &received, NMPWAIT_WAIT_FOREVER));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MORE_DATA);
    EXPECT_EQ(received, sizeof reply);
    EXPECT_STREQ(reply, "Floppy status is: Locked");
}

TEST_F(PipeRequests, LockAndUnlockWriteTheAclsOnTheDrives) {
    start_running();
    for (auto drive : {"a:", "b:"}) {
        std::string acl = acl_of(drive_file(drive));
        EXPECT_NE(acl.find("group:root:rw"), std::string::npos) << acl;
        EXPECT_NE(acl.find("group:nogroup:rw"), std::string::npos) << acl;
        EXPECT_NE(acl.find("other::---"), std::string::npos) << acl;
    }
    EXPECT_EQ(text_of(exchange("U")), "Floppies were unlocked");
    for (auto drive : {"a:", "b:"}) {
        std::string acl = acl_of(drive_file(drive));
        EXPECT_NE(acl.find("other::rw"), std::string::npos) << acl;
        EXPECT_EQ(acl.find("group:nogroup"), std::string::npos) << acl;
    }
    EXPECT_EQ(text_of(exchange("L")), "Floppies were locked");
    EXPECT_NE(acl_of(drive_file("b:")).find("other::---"), std::string::npos);
}

}  // namespace
}  // namespace vessamir_test
