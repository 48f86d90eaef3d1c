// Conformance of the service dispatcher, control handler registration and status reports: results and last
// errors, the thread each function runs on, the acceptance rules for controls, and the order in which
// controls reach the handler. The manager side is servicectl's controller (control socket and status file)
// or a notify socket standing in for systemd.
#include <windows.h>

#include "service_registry.h"
#include "prefix/prefix.h"
#include "tools/service_controller.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using platform::servicectl::ServiceController;

constexpr DWORD sentinel = 0xdeadbeef;
constexpr auto generous = std::chrono::seconds(60);

class TemporaryPrefix {
public:
    TemporaryPrefix() {
        char pattern[] = "/tmp/service-tests-XXXXXX";
        path_ = mkdtemp(pattern);
        setenv("PLATFORM_PREFIX", path_.c_str(), 1);
        platform::prefix::reload();
    }
    ~TemporaryPrefix() {
        std::error_code error;
        fs::remove_all(path_, error);
        unsetenv("PLATFORM_PREFIX");
        platform::prefix::reload();
    }
    const fs::path &path() const { return path_; }

private:
    fs::path path_;
};

// What the test service saw, shared between its main function, its handler and the test.
struct Observed {
    SERVICE_STATUS_HANDLE handle = nullptr;
    DWORD main_thread = 0;
    DWORD handler_thread = 0;
    std::vector<DWORD> controls;
    HANDLE stop_event = nullptr;
    DWORD accepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
    DWORD final_exit_code = 0;
    bool raise_sigterm_when_running = false;
    DWORD state = 0;
};
Observed observed;

BOOL Report(DWORD state, DWORD exit_code = 0, DWORD checkpoint = 0, DWORD wait_hint = 0) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : observed.accepted;
    status.dwWin32ExitCode = exit_code;
    status.dwCheckPoint = checkpoint;
    status.dwWaitHint = wait_hint;
    observed.state = state;
    return SetServiceStatus(observed.handle, &status);
}

VOID WINAPI TestHandler(DWORD control) {
    observed.handler_thread = GetCurrentThreadId();
    observed.controls.push_back(control);
    switch (control) {
        case SERVICE_CONTROL_STOP:
            Report(SERVICE_STOP_PENDING, 0, 1, 3000);
            SetEvent(observed.stop_event);
            break;
        case SERVICE_CONTROL_PAUSE:
            Report(SERVICE_PAUSED);
            break;
        case SERVICE_CONTROL_CONTINUE:
            Report(SERVICE_RUNNING);
            break;
        default:
            Report(observed.state);
            break;
    }
}

VOID WINAPI TestServiceMain(DWORD argc, LPSTR *argv) {
    observed.main_thread = GetCurrentThreadId();
    observed.handle = RegisterServiceCtrlHandlerA("TestService", TestHandler);
    if (!observed.handle)
        return;
    Report(SERVICE_START_PENDING, 0, 1, 3000);
    observed.stop_event = CreateEventA(NULL, TRUE, FALSE, NULL);
    Report(SERVICE_RUNNING);
    if (observed.raise_sigterm_when_running)
        kill(getpid(), SIGTERM);
    WaitForSingleObject(observed.stop_event, INFINITE);
    CloseHandle(observed.stop_event);
    Report(SERVICE_STOPPED, observed.final_exit_code);
}

SERVICE_TABLE_ENTRYA test_table[] = {{(LPSTR) "TestService", TestServiceMain}, {NULL, NULL}};

// Waits (generously) until the recorded status has the state.
bool wait_for_state(const ServiceController &controller, DWORD state) {
    auto deadline = std::chrono::steady_clock::now() + generous;
    while (std::chrono::steady_clock::now() < deadline) {
        auto outcome = controller.query();
        if (outcome.has_record && outcome.record.status.dwCurrentState == state)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST(Dispatcher, StartedByHandFailsWithControllerConnect) {
    unsetenv(platform::services::service_name_variable);
    unsetenv("NOTIFY_SOCKET");
    SetLastError(sentinel);
    EXPECT_FALSE(StartServiceCtrlDispatcherA(test_table));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
}

TEST(Dispatcher, OutsideAServiceHandlerAndStatusAreRefused) {
    SetLastError(sentinel);
    EXPECT_EQ(RegisterServiceCtrlHandlerA("TestService", TestHandler), (SERVICE_STATUS_HANDLE)NULL);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SERVICE_NOT_IN_EXE);

    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, 0, 0, 0, 0, 0};
    SetLastError(sentinel);
    EXPECT_FALSE(SetServiceStatus(NULL, &status));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST(Dispatcher, EmptyTableIsAnInvalidParameter) {
    SERVICE_TABLE_ENTRYA empty[] = {{NULL, NULL}};
    SetLastError(sentinel);
    EXPECT_FALSE(StartServiceCtrlDispatcherA(empty));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

class UnderServicectl : public ::testing::Test {
protected:
    void SetUp() override {
        observed = Observed{};
        setenv(platform::services::service_name_variable, "TestService", 1);
    }
    TemporaryPrefix prefix;
};

// The whole life of a service: the threads it runs on, the controls in order, the acceptance rules.
TEST_F(UnderServicectl, ControlsReachTheHandlerOnTheDispatcherThreadInOrder) {
    ServiceController controller("testservice");  // names compare without regard to case
    struct Step {
        DWORD control;
        DWORD error;
        DWORD state_after;
    };
    const Step steps[] = {
        {SERVICE_CONTROL_INTERROGATE, ERROR_SUCCESS, SERVICE_RUNNING},
        {SERVICE_CONTROL_PAUSE, ERROR_SUCCESS, SERVICE_PAUSED},
        {SERVICE_CONTROL_INTERROGATE, ERROR_SUCCESS, SERVICE_PAUSED},
        {SERVICE_CONTROL_CONTINUE, ERROR_SUCCESS, SERVICE_RUNNING},
        {0, ERROR_INVALID_PARAMETER, SERVICE_RUNNING},
        {77, ERROR_INVALID_PARAMETER, SERVICE_RUNNING},
        {200, ERROR_SUCCESS, SERVICE_RUNNING},  // the service's own codes reach the handler
        {SERVICE_CONTROL_SHUTDOWN, ERROR_INVALID_SERVICE_CONTROL, SERVICE_RUNNING},
        {SERVICE_CONTROL_STOP, ERROR_SUCCESS, SERVICE_STOPPED},
    };
    std::vector<std::string> failures;
    std::thread manager([&] {
        if (!wait_for_state(controller, SERVICE_RUNNING)) {
            failures.push_back("never running");
            return;
        }
        for (auto &step : steps) {
            auto outcome = controller.control(step.control);
            if (outcome.error != step.error || outcome.record.status.dwCurrentState != step.state_after)
                failures.push_back("control " + std::to_string(step.control) + ": error " +
                                   std::to_string(outcome.error) + " state " +
                                   std::to_string(outcome.record.status.dwCurrentState));
        }
        auto after = controller.control(SERVICE_CONTROL_INTERROGATE);
        if (after.error != ERROR_SERVICE_NOT_ACTIVE)
            failures.push_back("interrogate after stop: " + std::to_string(after.error));
    });
    observed.final_exit_code = 1234;
    DWORD dispatcher_thread = GetCurrentThreadId();
    SetLastError(sentinel);
    EXPECT_TRUE(StartServiceCtrlDispatcherA(test_table));
    manager.join();
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);

    EXPECT_NE(observed.main_thread, dispatcher_thread);
    EXPECT_EQ(observed.handler_thread, dispatcher_thread);
    std::vector<DWORD> delivered = {
        SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_CONTINUE, 200,
        SERVICE_CONTROL_STOP};
    EXPECT_EQ(observed.controls, delivered);

    auto final_status = controller.query();
    ASSERT_TRUE(final_status.has_record);
    EXPECT_EQ(final_status.record.status.dwCurrentState, (DWORD)SERVICE_STOPPED);
    EXPECT_EQ(final_status.record.status.dwWin32ExitCode, 1234u);
    // After the dispatcher has returned, the handle is no longer valid.
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, 0, 0, 0, 0, 0};
    SetLastError(sentinel);
    EXPECT_FALSE(SetServiceStatus(observed.handle, &status));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(UnderServicectl, ControlsNotAcceptedAreRefusedWithoutReachingTheHandler) {
    ServiceController controller("TestService");
    observed.accepted = SERVICE_ACCEPT_STOP;
    std::vector<DWORD> errors;
    std::thread manager([&] {
        if (!wait_for_state(controller, SERVICE_RUNNING))
            return;
        errors.push_back(controller.control(SERVICE_CONTROL_PAUSE).error);
        errors.push_back(controller.control(SERVICE_CONTROL_CONTINUE).error);
        errors.push_back(controller.control(SERVICE_CONTROL_STOP).error);
    });
    EXPECT_TRUE(StartServiceCtrlDispatcherA(test_table));
    manager.join();
    std::vector<DWORD> expected = {ERROR_INVALID_SERVICE_CONTROL, ERROR_INVALID_SERVICE_CONTROL, ERROR_SUCCESS};
    EXPECT_EQ(errors, expected);
    EXPECT_EQ(observed.controls, std::vector<DWORD>{SERVICE_CONTROL_STOP});
}

SERVICE_STATUS_HANDLE pending_handle;
HANDLE release_pending;

VOID WINAPI PendingHandler(DWORD control) {
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 0, 0, 0, 0};
    SetServiceStatus(pending_handle, &status);
}

// Stays start-pending until released; checks the status validation meanwhile.
VOID WINAPI PendingServiceMain(DWORD, LPSTR *) {
    pending_handle = RegisterServiceCtrlHandlerA("TESTSERVICE", PendingHandler);
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 1, 3000};
    SetServiceStatus(pending_handle, &status);
    WaitForSingleObject(release_pending, INFINITE);
    status.dwCurrentState = SERVICE_STOPPED;
    status.dwWin32ExitCode = 42;
    SetServiceStatus(pending_handle, &status);
}

TEST_F(UnderServicectl, StartPendingAcceptsNoControlAndBadStatesAreInvalidData) {
    ServiceController controller("TestService");
    release_pending = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD interrogate_error = 0, stop_error = 0, bad_state_error = 0;
    BOOL bad_state_result = TRUE;
    std::thread manager([&] {
        auto deadline = std::chrono::steady_clock::now() + generous;
        while (std::chrono::steady_clock::now() < deadline) {
            auto outcome = controller.query();
            if (outcome.has_record && outcome.record.status.dwCheckPoint == 1)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        interrogate_error = controller.control(SERVICE_CONTROL_INTERROGATE).error;
        stop_error = controller.control(SERVICE_CONTROL_STOP).error;
        SERVICE_STATUS bad{SERVICE_WIN32_OWN_PROCESS, 8, 0, 0, 0, 0, 0};
        SetLastError(sentinel);
        bad_state_result = SetServiceStatus(pending_handle, &bad);
        bad_state_error = GetLastError();
        SetEvent(release_pending);
    });
    SERVICE_TABLE_ENTRYA table[] = {{(LPSTR) "TestService", PendingServiceMain}, {NULL, NULL}};
    EXPECT_TRUE(StartServiceCtrlDispatcherA(table));
    manager.join();
    EXPECT_EQ(interrogate_error, (DWORD)ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    EXPECT_EQ(stop_error, (DWORD)ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    EXPECT_FALSE(bad_state_result);
    EXPECT_EQ(bad_state_error, (DWORD)ERROR_INVALID_DATA);
    auto final_status = controller.query();
    EXPECT_EQ(final_status.record.status.dwWin32ExitCode, 42u);
    CloseHandle(release_pending);
}

VOID WINAPI ReturningServiceMain(DWORD, LPSTR *) {}

TEST_F(UnderServicectl, MainReturningWithoutStoppedReportEndsTheDispatcher) {
    ServiceController controller("TestService");
    SERVICE_TABLE_ENTRYA table[] = {{(LPSTR) "TestService", ReturningServiceMain}, {NULL, NULL}};
    EXPECT_TRUE(StartServiceCtrlDispatcherA(table));
    auto final_status = controller.query();
    ASSERT_TRUE(final_status.has_record);
    EXPECT_EQ(final_status.record.status.dwCurrentState, (DWORD)SERVICE_STOPPED);
    EXPECT_EQ(final_status.record.status.dwWin32ExitCode, (DWORD)ERROR_PROCESS_ABORTED);
}

// systemd: status through the notify socket, SIGTERM as the stop control.
TEST(UnderSystemd, ReadinessAndStatesGoToTheNotifySocketAndSigtermStops) {
    TemporaryPrefix prefix;
    observed = Observed{};
    observed.raise_sigterm_when_running = true;
    unsetenv(platform::services::service_name_variable);
    fs::path socket_path = prefix.path() / "notify";
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socket_path.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    setenv("NOTIFY_SOCKET", socket_path.c_str(), 1);

    EXPECT_TRUE(StartServiceCtrlDispatcherA(test_table));
    EXPECT_EQ(getenv("NOTIFY_SOCKET"), nullptr);  // not passed on to the service's own children
    EXPECT_EQ(observed.controls, std::vector<DWORD>{SERVICE_CONTROL_STOP});

    std::vector<std::string> messages;
    char buffer[4096];
    ssize_t size;
    while ((size = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
        messages.emplace_back(buffer, size);
    close(fd);
    std::vector<std::string> expected = {
        "MAINPID=" + std::to_string(getpid()),
        "STATUS=Starting, checkpoint 0",
        "STATUS=Starting, checkpoint 1\nEXTEND_TIMEOUT_USEC=3000000",
        "READY=1\nSTATUS=Running",
        "STOPPING=1\nSTATUS=Stopping\nEXTEND_TIMEOUT_USEC=3000000",
        "STOPPING=1\nSTATUS=Stopped, exit code 0",
    };
    EXPECT_EQ(messages, expected);
}

TEST(UnderSystemd, UnusableNotifySocketNameFailsToConnect) {
    unsetenv(platform::services::service_name_variable);
    setenv("NOTIFY_SOCKET", "relative/name", 1);
    SetLastError(sentinel);
    EXPECT_FALSE(StartServiceCtrlDispatcherA(test_table));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
}

}  // namespace
