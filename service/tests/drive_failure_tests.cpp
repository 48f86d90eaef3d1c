// Drives that are absent or refuse the write: the reply tails, the log file byte for byte, and what
// reaches the event log (nothing, for pipe requests).
#include "service_harness.h"

#include <fstream>

namespace vessamir_test {
namespace {

class DriveFailures : public ServiceTest {
protected:
    // A path whose parent is a plain file: no DACL can be written there, and the drive is not simply absent.
    fs::path unwritable_path() {
        std::ofstream(prefix / "plain-file") << "x";
        return prefix / "plain-file" / "drive";
    }
};

TEST_F(DriveFailures, MissingDriveBCountsAsDoneAndIsLogged) {
    point_drive("b:", prefix / "no-such-drive");
    start_running();
    EXPECT_EQ(log_text(), "\nAttempted to lock \\\\.\\B:, but it was not found");
    EXPECT_EQ(text_of(exchange("L")), "Floppies were locked");
    EXPECT_EQ(text_of(exchange("U")), "Floppies were unlocked");  // unlocking says "lock" too
    EXPECT_EQ(log_text(),
              "\nAttempted to lock \\\\.\\B:, but it was not found"
              "\nAttempted to lock \\\\.\\B:, but it was not found"
              "\nAttempted to lock \\\\.\\B:, but it was not found");
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Unlocked");
    EXPECT_TRUE(events().empty());
}

TEST_F(DriveFailures, BothWritesFailingGiveBothTailsInOrderAndTheFlagFollowsTheRequest) {
    start_running();
    point_drive("a:", unwritable_path());
    point_drive("b:", unwritable_path());
    EXPECT_EQ(text_of(exchange("L")),
              "Floppies were locked, lock of A: failed, see log file, lock of B: failed, see log file");
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Locked");
    std::string unlock = exchange("U");
    EXPECT_EQ(text_of(unlock),
              "Floppies were unlocked, unlock of A: failed, see log file, unlock of B: failed, see log file");
    EXPECT_EQ(text_of(unlock).size(), 92u);  // the longest reply
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Unlocked");
    std::string line = "\nvessamir: Error 3 from SetFileSecurity on line 744";
    EXPECT_EQ(log_text(), line + line + line + line);  // each line is in the file as soon as it is written
    EXPECT_TRUE(events().empty());                     // the pipe server does not stop the service
    EXPECT_EQ(printed_state(servicectl("query Varnholtguard")), (DWORD)SERVICE_RUNNING);
}

TEST_F(DriveFailures, FailedUnlockOnStopIsReportedAndBecomesTheExitCode) {
    start_running();
    point_drive("b:", unwritable_path());
    auto stopped = servicectl("stop Varnholtguard");
    EXPECT_EQ(printed_state(stopped), (DWORD)SERVICE_STOPPED) << stopped.output;
    EXPECT_EQ(printed_exit_code(stopped), 3u) << stopped.output;
    auto logged = events();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].back(), "Unlock of B: failed, see log file");
    EXPECT_EQ(logged[0][logged[0].size() - 2], "Varnholtguard error: 3");
    EXPECT_NE(acl_of(drive_file("a:")).find("other::rw"), std::string::npos);  // A was still unlocked
}

}  // namespace
}  // namespace vessamir_test
