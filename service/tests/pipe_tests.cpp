// Requests on the command pipe: the exact reply texts, always in 180-byte replies; the drive ACLs that lock
// and unlock leave behind and whom they admit; drives that are absent or refuse the write.
#include "service_harness.h"

namespace vessamir_test {
namespace {

using PipeRequests = ServiceTest;

TEST_F(PipeRequests, EachRequestGetsItsExactTextInA180ByteReply) {
    start_running();
    const std::pair<std::string, std::string> cases[] = {
        // request, reply text (none: the request is dropped)
        {"Q", "Floppy status is: Locked"},  // locked by the start-up
        {"", "Bad operation passed in"},    // an empty message carries no command, not the last one's
        {"U", "Floppies were unlocked"},
        {"Q", "Floppy status is: Unlocked"},
        {"L", "Floppies were locked"},
        {"l", "Bad operation passed in"},
        {"q", "Bad operation passed in"},
        {"U" + std::string(180, 'x'), ""},  // one byte too long: dropped, and did not unlock
        {"Q", "Floppy status is: Locked"},
        {"U" + std::string(179, 'x'), "Floppies were unlocked"},
        {"Q" + std::string(179, '\0'), "Floppy status is: Unlocked"},
        {"L" + std::string(179, 'U'), "Floppies were locked"},
        {"Qrest of the request is not examined", "Floppy status is: Locked"},
        {std::string(1, '\xcc'), "Bad operation passed in"},
    };
    for (auto &[request, text] : cases) {
        SCOPED_TRACE("request of " + std::to_string(request.size()) + " bytes: " + request.substr(0, 1));
        DWORD error = 0;
        std::string reply = exchange(request, &error);
        EXPECT_EQ(error == ERROR_SUCCESS, !text.empty()) << error;
        ASSERT_EQ(reply.size(), text.empty() ? 0u : 180u);
        EXPECT_EQ(text_of(reply), text);
        EXPECT_EQ(reply.find_first_not_of('\0', text.size()), std::string::npos);  // nothing of an earlier reply
    }
    EXPECT_EQ(log_text(), "");  // both drives took every write
}

TEST_F(PipeRequests, ClientsThatCloseAtOnceOrReadTooLittleOrComeSecond) {
    start_running();
    HANDLE client = CreateFileA(pipe_name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    CloseHandle(client);  // without writing: the server disconnects it and serves the next
    char small[100], request[] = "Q", reply[180];
    DWORD received = 0, mode = PIPE_READMODE_MESSAGE;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CallNamedPipeA(pipe_name, request, 1, small, sizeof small, &received, NMPWAIT_WAIT_FOREVER));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MORE_DATA);
    EXPECT_EQ(received, sizeof small);
    EXPECT_STREQ(small, "Floppy status is: Locked");
    HANDLE first = CreateFileA(pipe_name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA(pipe_name, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PIPE_BUSY);  // one instance
    EXPECT_TRUE(SetNamedPipeHandleState(first, &mode, NULL, NULL));
    EXPECT_TRUE(WriteFile(first, "U", 1, &received, NULL));
    EXPECT_TRUE(ReadFile(first, reply, sizeof reply, &received, NULL));
    EXPECT_EQ(received, 180u);
    EXPECT_STREQ(reply, "Floppies were unlocked");
    CloseHandle(first);
}

// Lock admits only the two groups ("Power Users" is nogroup: nobody is inside, daemon outside), unlock
// everyone. Clients as other users need root.
TEST_F(PipeRequests, LockAdmitsOnlyTheTwoGroupsAndUnlockEveryone) {
    start_running();
    bool root = geteuid() == 0;
    auto as = [](const std::string &user, const std::string &command) {
        return run("setpriv --reuid=" + user + " --regid=" + (user == "nobody" ? "nogroup" : user) +
                   " --clear-groups " + command);
    };
    auto pipecall = [&](const char *request) {
        std::string command = std::string(PIPECALL_PATH) + " '\\\\.\\pipe\\sd_flppy' " + request;
        return root ? as("nobody", command) : run(command);
    };
    if (root) {
        auto outside = as("daemon", std::string(PIPECALL_PATH) + " '\\\\.\\pipe\\sd_flppy' U");
        EXPECT_EQ(outside.exit_status, 1) << outside.output;
        EXPECT_NE(outside.output.find("error 5"), std::string::npos) << outside.output;
    }
    const struct {
        const char *request, *reply;
        bool locked;
    } steps[] = {{"Q", "Floppy status is: Locked\n", true},  // the refused unlock did nothing
                 {"U", "Floppies were unlocked\n", false},
                 {"L", "Floppies were locked\n", true}};
    for (auto &step : steps) {
        EXPECT_EQ(pipecall(step.request).output, step.reply);
        for (auto drive : {"a:", "b:"}) {
            SCOPED_TRACE(std::string(drive) + " after " + step.request + "\n" + acl_of(drive));
            EXPECT_EQ(grants(drive, "nogroup"), step.locked);
            EXPECT_TRUE(grants(drive, "root"));
            EXPECT_NE(acl_of(drive).find(step.locked ? "other::---" : "other::rw"), std::string::npos);
            if (root && std::string(drive) == "a:") {
                auto open = [&](const char *user) { return as(user, "head -c0 " + drive_file(drive).string()); };
                EXPECT_EQ(open("daemon").exit_status, step.locked ? 1 : 0);
                EXPECT_EQ(open("nobody").exit_status, 0);
            }
        }
    }
}

TEST_F(PipeRequests, MissingDriveBCountsAsDoneAndIsLoggedOnEveryWrite) {
    point_device("b:", folder_ / "no-such-drive");
    start_running();
    EXPECT_EQ(text_of(exchange("L")), "Floppies were locked");
    EXPECT_EQ(text_of(exchange("U")), "Floppies were unlocked");  // unlocking says "lock" too
    std::string line = "\nAttempted to lock \\\\.\\B:, but it was not found";
    EXPECT_EQ(log_text(), line + line + line);
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Unlocked");
    EXPECT_TRUE(events().empty());
}

TEST_F(PipeRequests, FailedWritesGiveTheirTailsInOrderAndTheFlagFollowsTheRequest) {
    start_running();
    point_device("a:", unwritable_path());
    point_device("b:", unwritable_path());
    EXPECT_EQ(text_of(exchange("L")),
              "Floppies were locked, lock of A: failed, see log file, lock of B: failed, see log file");
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Locked");
    EXPECT_EQ(text_of(exchange("U")),  // the longest reply: 92 characters
              "Floppies were unlocked, unlock of A: failed, see log file, unlock of B: failed, see log file");
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Unlocked");
    std::string line = "\nvessamir: Error 3 from SetFileSecurity on line 744";
    EXPECT_EQ(log_text(), line + line + line + line);  // each line is in the file as soon as it is written
    EXPECT_TRUE(events().empty());                     // the pipe server does not stop the service
    EXPECT_EQ(servicectl("query").printed("state"), (DWORD)SERVICE_RUNNING);
}

}  // namespace
}  // namespace vessamir_test
