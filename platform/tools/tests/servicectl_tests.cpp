// servicectl's registrations and its answers for services that are not running or are not services.
#include "advapi32/service_registry.h"
#include "service_controller.h"
#include "testing/temporary_prefix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <tuple>

namespace {

using platform::servicectl::ServiceController;
using Servicectl = platform::testing::PrefixTest;

TEST_F(Servicectl, RegistrationLifecycle) {
    ServiceController service("Guard");
    const std::pair<platform::servicectl::Outcome, DWORD> steps[] = {
        // in order: outcome, error
        {service.query(), ERROR_SERVICE_DOES_NOT_EXIST},
        {service.start(), ERROR_SERVICE_DOES_NOT_EXIST},
        {service.remove(), ERROR_SERVICE_DOES_NOT_EXIST},
        {service.create("/bin/true"), ERROR_SUCCESS},
        {ServiceController("GUARD").create("/bin/true"), ERROR_SERVICE_EXISTS},  // names ignore case
        {service.query(), ERROR_SUCCESS},                                        // never started: stopped
        {service.control(SERVICE_CONTROL_STOP), ERROR_SERVICE_NOT_ACTIVE},
        {service.remove(), ERROR_SUCCESS},
        {service.query(), ERROR_SERVICE_DOES_NOT_EXIST},
        {ServiceController("a/b").create("/bin/true"), ERROR_INVALID_NAME},
        {ServiceController("").create("/bin/true"), ERROR_INVALID_NAME},
    };  // a program that never connects a dispatcher, or none: command_line_tests.cpp
    for (std::size_t i = 0; i < std::size(steps); ++i)
        EXPECT_EQ(steps[i].first.error, steps[i].second) << "step " << i;
    EXPECT_EQ(steps[5].first.record.status.dwCurrentState, (DWORD)SERVICE_STOPPED);
}

TEST_F(Servicectl, RunningStatusCountsOnlyWhileItsOwnProcessLives) {
    ServiceController service("Gone");
    ASSERT_EQ(service.create("/bin/true").error, (DWORD)ERROR_SUCCESS);
    unsigned long long started = platform::services::process_start_time(getpid()).value_or(0);
    const std::tuple<pid_t, unsigned long long, DWORD> cases[] = {
        // recorded pid, its start time, state read
        {getpid(), started, SERVICE_RUNNING},
        {getpid(), 0, SERVICE_RUNNING},            // start time not recorded: the pid alone
        {getpid(), started + 1, SERVICE_STOPPED},  // the pid now belongs to another process
        {999999, 0, SERVICE_STOPPED}};             // above the default pid limit: no such process
    for (auto [pid, start_time, state] : cases) {
        platform::services::StatusRecord stale{
            {SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, 0, 0, 0, 0, 0}, pid, start_time};
        platform::services::ServiceFiles("Gone").write_status(stale);
        auto outcome = service.query();
        EXPECT_EQ(outcome.record.status.dwCurrentState, state) << pid << " " << start_time;
        EXPECT_EQ(outcome.record.status.dwWin32ExitCode, state == SERVICE_STOPPED ? ERROR_PROCESS_ABORTED : 0u);
    }
}

// servicectl runs a registered program only when the prefix's owner registered it and nobody else may change it.
TEST_F(Servicectl, StartRefusesARegistrationOthersCouldHaveWritten) {
    const std::pair<std::function<void(const std::filesystem::path &)>, const char *> cases[] = {
        {[](auto &path) { chmod(path.c_str(), 0666); }, "is writable by group or others"},
        {[&](auto &path) {
             std::filesystem::remove(path);
             std::ofstream(folder_ / "elsewhere") << "program=/bin/true\n";
             std::filesystem::create_symlink(folder_ / "elsewhere", path);
         },
         "is a symbolic link"},
        {[](auto &path) { EXPECT_EQ(chown(path.c_str(), 65534, 65534), 0); },
         "is owned by uid 65534, not by the prefix's owner (uid 0)"},
    };
    for (auto &[spoil, said] : cases) {
        if (std::string(said).find("owned") != std::string::npos && geteuid() != 0)
            continue;  // only root can give a file to another user
        ServiceController service("Planted");
        ASSERT_EQ(service.create("/bin/true").error, (DWORD)ERROR_SUCCESS);
        spoil(platform::services::ServiceFiles("Planted").registration());
        auto outcome = service.start();
        EXPECT_EQ(outcome.error, (DWORD)ERROR_ACCESS_DENIED) << said;
        EXPECT_NE(outcome.detail.find(said), std::string::npos) << outcome.detail;
        std::filesystem::remove(platform::services::ServiceFiles("Planted").registration());
    }
}

}  // namespace
