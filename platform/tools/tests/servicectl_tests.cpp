// servicectl's registrations and its answers for services that are not running or are not services.
#include "advapi32/service_registry.h"
#include "prefix/prefix.h"
#include "service_controller.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using platform::servicectl::ServiceController;

class Servicectl : public ::testing::Test {
protected:
    Servicectl() {
        char pattern[] = "/tmp/servicectl-tests-XXXXXX";
        prefix_ = mkdtemp(pattern);
        setenv("PLATFORM_PREFIX", prefix_.c_str(), 1);
        platform::prefix::reload();
    }
    ~Servicectl() override {
        std::error_code error;
        fs::remove_all(prefix_, error);
        unsetenv("PLATFORM_PREFIX");
        platform::prefix::reload();
    }
    fs::path prefix_;
};

TEST_F(Servicectl, RegistrationLifecycle) {
    ServiceController service("Guard");
    EXPECT_EQ(service.query().error, (DWORD)ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(service.start().error, (DWORD)ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(service.remove().error, (DWORD)ERROR_SERVICE_DOES_NOT_EXIST);

    EXPECT_EQ(service.create("/bin/true").error, (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(ServiceController("GUARD").create("/bin/true").error, (DWORD)ERROR_SERVICE_EXISTS);
    auto never_started = service.query();
    EXPECT_EQ(never_started.error, (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(never_started.record.status.dwCurrentState, (DWORD)SERVICE_STOPPED);
    EXPECT_EQ(service.control(SERVICE_CONTROL_STOP).error, (DWORD)ERROR_SERVICE_NOT_ACTIVE);
    EXPECT_EQ(service.remove().error, (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(service.query().error, (DWORD)ERROR_SERVICE_DOES_NOT_EXIST);

    EXPECT_EQ(ServiceController("a/b").create("/bin/true").error, (DWORD)ERROR_INVALID_NAME);
    EXPECT_EQ(ServiceController("").create("/bin/true").error, (DWORD)ERROR_INVALID_NAME);
}

TEST_F(Servicectl, ProgramThatNeverConnectsStopsWithRequestTimeout) {
    ServiceController service("NotAService");
    ASSERT_EQ(service.create("/bin/true").error, (DWORD)ERROR_SUCCESS);
    auto started = service.start();
    EXPECT_EQ(started.error, (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(started.record.status.dwCurrentState, (DWORD)SERVICE_STOPPED);
    EXPECT_EQ(started.record.status.dwWin32ExitCode, (DWORD)ERROR_SERVICE_REQUEST_TIMEOUT);
}

TEST_F(Servicectl, MissingProgramIsFileNotFound) {
    ServiceController service("Missing");
    ASSERT_EQ(service.create(prefix_ / "no-such-program").error, (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(service.start().error, (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST_F(Servicectl, StaleRunningStatusOfAGoneProcessReadsAsAborted) {
    ServiceController service("Gone");
    ASSERT_EQ(service.create("/bin/true").error, (DWORD)ERROR_SUCCESS);
    platform::services::StatusRecord stale;
    stale.status.dwCurrentState = SERVICE_RUNNING;
    stale.pid = 999999;  // above the default pid limit: no such process
    platform::services::ServiceFiles("Gone").write_status(stale);
    auto outcome = service.query();
    EXPECT_EQ(outcome.record.status.dwCurrentState, (DWORD)SERVICE_STOPPED);
    EXPECT_EQ(outcome.record.status.dwWin32ExitCode, (DWORD)ERROR_PROCESS_ABORTED);
    EXPECT_EQ(service.start().error, (DWORD)ERROR_SUCCESS);  // and it can be started again
}

}  // namespace
