// Start-up that goes wrong: a program started by hand, a group that cannot be looked up, a drive that
// cannot be locked. What the event log, the log file, the status and the drives show afterwards.
#include "service_harness.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace vessamir_test {
namespace {

class StartupFailures : public ServiceTest {
protected:
    // The service stops on its own after a reported error; waits (generously) for that.
    CommandResult wait_until_stopped() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        CommandResult query;
        while (std::chrono::steady_clock::now() < deadline) {
            query = servicectl("query Varnholtguard");
            if (printed_state(query) == SERVICE_STOPPED)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return query;
    }
};

TEST_F(StartupFailures, StartedByHandEmptiesTheLogReportsTheDispatcherFailureAndEnds) {
    std::ofstream(prefix / "drive_c" / "vessamir.out") << "left from an earlier run";
    auto result = run(VESSAMIR_PATH);
    EXPECT_EQ(result.exit_status, 0) << result.output;
    EXPECT_EQ(log_text(), "");
    auto logged = events();
    ASSERT_EQ(logged.size(), 1u);
    Event expected = {"Varnholtguard", "error", "0", "Varnholtguard error: 1063", "StartServiceCtrlDispatcher failed."};
    EXPECT_EQ(logged[0], expected);
    EXPECT_NE(acl_of(drive_file("a:")).find("other::r"), std::string::npos);  // the drives were not touched
}

TEST_F(StartupFailures, WithoutPowerUsersTheLookupIsReportedTwiceAndTheServiceStops) {
    accounts = "Administrators = root\nPower Users =\n";
    write_configuration();
    auto started = servicectl("start Varnholtguard");
    auto stopped = wait_until_stopped();
    ASSERT_EQ(printed_state(stopped), (DWORD)SERVICE_STOPPED) << started.output << stopped.output;

    auto logged = events();
    ASSERT_GE(logged.size(), 2u);
    EXPECT_EQ(logged[0].back(), "LookupAccountName");
    EXPECT_EQ(logged[0][logged[0].size() - 2], "Varnholtguard error: 1332");
    EXPECT_EQ(logged[1].back(), "LookupAccountName returned the wrong SID type");
    // The final status carries the code of the last reported error.
    std::string last_code = logged.back()[logged.back().size() - 2].substr(std::string("Varnholtguard error: ").size());
    EXPECT_EQ(printed_exit_code(stopped), std::stoul(last_code)) << stopped.output;
    // The drives keep the DACL that set-up wrote: no unlock happened.
    std::string acl = acl_of(drive_file("a:"));
    EXPECT_NE(acl.find("group:root:rw"), std::string::npos) << acl;
    EXPECT_NE(acl.find("other::---"), std::string::npos) << acl;
}

TEST_F(StartupFailures, DriveThatCannotBeLockedStopsTheServiceWithItsError) {
    std::ofstream(prefix / "plain-file") << "x";
    point_drive("a:", prefix / "plain-file" / "drive");
    servicectl("start Varnholtguard");
    auto stopped = wait_until_stopped();
    EXPECT_EQ(printed_state(stopped), (DWORD)SERVICE_STOPPED);
    EXPECT_EQ(printed_exit_code(stopped), 3u) << stopped.output;
    auto logged = events();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].back(), "Write of DACL to A: failed");
    EXPECT_EQ(log_text(), "\nvessamir: Error 3 from SetFileSecurity on line 744");
    EXPECT_NE(acl_of(drive_file("b:")).find("other::---"), std::string::npos);  // B was locked, and stays so
}

}  // namespace
}  // namespace vessamir_test
