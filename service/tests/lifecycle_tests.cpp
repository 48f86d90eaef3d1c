// The service's life: controls through servicectl and the pipe server around them, start-ups that go
// wrong, a stop that cannot unlock, and the program under systemd (Type=notify). Every test ends with the
// service's process gone (checked in TearDown).
#include "service_harness.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <thread>

namespace vessamir_test {
namespace {

using Lifecycle = ServiceTest;
using Events = std::vector<std::vector<std::string>>;

TEST_F(Lifecycle, ControlsMoveBetweenRunningAndPausedAndStopUnlocks) {
    start_running();
    const std::pair<const char *, DWORD> steps[] = {{"pause", SERVICE_PAUSED},     {"interrogate", SERVICE_PAUSED},
                                                    {"pause", SERVICE_PAUSED},     {"continue", SERVICE_RUNNING},
                                                    {"continue", SERVICE_RUNNING}, {"interrogate", SERVICE_RUNNING},
                                                    {"pause", SERVICE_PAUSED},     {"stop", SERVICE_STOPPED}};
    for (auto &[command, state] : steps) {
        auto result = servicectl(command);
        EXPECT_EQ(result.exit_status, 0) << command << "\n" << result.output;
        EXPECT_EQ(result.printed("state"), state) << command << "\n" << result.output;
        EXPECT_EQ(result.printed("exit code"), 0u) << result.output;
        EXPECT_NE(result.output.find("accepted controls: 0x3 STOP PAUSE_CONTINUE"), std::string::npos);
    }
    EXPECT_TRUE(process_ends(pid_));
    auto again = servicectl("pause");
    EXPECT_EQ(again.exit_status, 1);
    EXPECT_NE(again.output.find("error 1062"), std::string::npos) << again.output;  // not active
    EXPECT_NE(acl_of("a:").find("other::rw"), std::string::npos);
    EXPECT_NE(acl_of("b:").find("other::rw"), std::string::npos);
    EXPECT_TRUE(events().empty());
}

TEST_F(Lifecycle, AClientDuringPauseWaitsAndIsServedAfterContinue) {
    start_running();
    ASSERT_EQ(servicectl("pause").printed("state"), (DWORD)SERVICE_PAUSED);
    std::string reply = "not served";
    std::thread client([&] { reply = exchange("U"); });
    // A round trip to the service later, the client still has no answer.
    EXPECT_EQ(servicectl("interrogate").printed("state"), (DWORD)SERVICE_PAUSED);
    EXPECT_EQ(acl_of("a:").find("other::rw"), std::string::npos);
    EXPECT_EQ(servicectl("continue").printed("state"), (DWORD)SERVICE_RUNNING);
    client.join();
    EXPECT_EQ(text_of(reply), "Floppies were unlocked");
}

TEST_F(Lifecycle, FailedUnlockOnStopIsReportedAndBecomesTheExitCode) {
    start_running();
    point_device("b:", unwritable_path());
    auto stopped = servicectl("stop");
    EXPECT_EQ(stopped.printed("state"), (DWORD)SERVICE_STOPPED) << stopped.output;
    EXPECT_EQ(stopped.printed("exit code"), 3u) << stopped.output;
    EXPECT_EQ(events(),
              (Events{{"Varnholtguard", "error", "0", "Varnholtguard error: 3", "Unlock of B: failed, see log file"}}));
    EXPECT_NE(acl_of("a:").find("other::rw"), std::string::npos);  // A was still unlocked
}

TEST_F(Lifecycle, StartedByHandEmptiesTheLogReportsTheDispatcherFailureAndEnds) {
    std::ofstream(prefix_ / "drive_c" / "vessamir.out") << "left from an earlier run";
    EXPECT_EQ(run(VESSAMIR_PATH).exit_status, 0);
    EXPECT_EQ(log_text(), "");
    EXPECT_EQ(
        events(),
        (Events{{"Varnholtguard", "error", "0", "Varnholtguard error: 1063", "StartServiceCtrlDispatcher failed."}}));
    EXPECT_NE(acl_of("a:").find("other::r"), std::string::npos);  // the drives were not touched
}

// A start-up error is reported and stops the service, with the last error's code as the exit code.
struct StartupFailure {
    const char *name, *accounts;
    std::vector<std::string> messages;  // the events' last strings
    DWORD exit_code;
    const char *log;  // the log file, when drive A cannot be written
};

class StartupFailures : public ServiceTest, public ::testing::WithParamInterface<StartupFailure> {};

TEST_P(StartupFailures, AreReportedAndStopTheService) {
    const StartupFailure &c = GetParam();
    write_configuration(c.accounts);
    if (*c.log)
        point_device("a:", unwritable_path());
    // Start returns once the service runs or has stopped; when it ran, wait for its process to end.
    auto started = servicectl("start");
    bool ran = started.printed("state") != SERVICE_STOPPED;
    ASSERT_TRUE(!ran || (pid_ != 0 && process_ends(pid_))) << started.output;
    auto stopped = servicectl("query");
    EXPECT_EQ(stopped.printed("state"), (DWORD)SERVICE_STOPPED) << stopped.output;
    EXPECT_EQ(stopped.printed("exit code"), c.exit_code) << stopped.output;
    auto logged = events();
    ASSERT_EQ(logged.size(), c.messages.size()) << ::testing::PrintToString(logged);
    for (size_t i = 0; i < logged.size(); ++i)
        EXPECT_EQ(logged[i].back(), c.messages[i]);
    EXPECT_EQ(logged.back()[3], "Varnholtguard error: " + std::to_string(c.exit_code));
    EXPECT_EQ(log_text(), c.log);
    EXPECT_TRUE(grants("b:", "root"));  // B is still locked: no unlock happened
    EXPECT_NE(acl_of("b:").find("other::---"), std::string::npos) << acl_of("b:");
}

INSTANTIATE_TEST_SUITE_P(Each, StartupFailures,
                         ::testing::Values(StartupFailure{"PowerUsersUnmapped",
                                                          "Administrators = root\nPower Users =\n",
                                                          {"LookupAccountName",
                                                           "LookupAccountName returned the wrong SID type",
                                                           "AddAccessAllowedAce"},
                                                          1337,
                                                          ""},
                                           StartupFailure{"DriveAUnwritable",
                                                          "Administrators = root\nPower Users = nogroup\n",
                                                          {"Write of DACL to A: failed"},
                                                          3,
                                                          "\nvessamir: Error 3 from SetFileSecurity on line 744"}),
                         [](const auto &test) { return std::string(test.param.name); });

TEST_F(Lifecycle, UnderSystemdReportsReadyPausesAndStopsOnSigterm) {
    std::string socket_path = (folder_ / "notify").string();
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    pid_t child = fork();
    if (child == 0) {
        setenv("NOTIFY_SOCKET", socket_path.c_str(), 1);
        execl(VESSAMIR_PATH, "vessamir", static_cast<char *>(nullptr));
        _exit(127);
    }
    // The next notify message that holds `wanted`, waiting at most a minute for each; empty when none.
    auto message_with = [fd](const std::string &wanted) {
        char buffer[4096];
        pollfd ready{fd, POLLIN, 0};
        for (ssize_t size; poll(&ready, 1, 60000) == 1 && (size = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            if (std::string(buffer, size).find(wanted) != std::string::npos)
                return std::string(buffer, size);
        }
        return std::string();
    };
    EXPECT_EQ(message_with("READY=1"), "READY=1\nSTATUS=Running");
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Locked");
    const std::tuple<int, const char *, const char *> steps[] = {
        {SIGUSR1, "STATUS=", "STATUS=Paused"},
        {SIGUSR2, "STATUS=", "READY=1\nSTATUS=Running"},
        {SIGTERM, "Stopped", "STOPPING=1\nSTATUS=Stopped, exit code 0"}};
    for (auto &[signal, wanted, message] : steps) {
        kill(child, signal);
        EXPECT_EQ(message_with(wanted), message);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(fd);
    EXPECT_NE(acl_of("a:").find("other::rw"), std::string::npos);
}

}  // namespace
}  // namespace vessamir_test
