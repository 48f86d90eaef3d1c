// The service dispatcher, handler registration and status reports under servicectl's controller or a notify
// socket standing in for systemd. The test service signals when it has reported, so nothing polls for it.
#include <windows.h>

#include "service_registry.h"
#include "testing/temporary_prefix.h"
#include "tools/service_controller.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <tuple>
#include <cstring>
#include <thread>

namespace {

using platform::servicectl::ServiceController;
constexpr DWORD sentinel = 0xdeadbeef;

// What the test service saw, shared between its main function, its handler and the test.
struct Observed {
    SERVICE_STATUS_HANDLE handle = nullptr;
    DWORD main_thread = 0, handler_thread = 0, state = 0;
    std::vector<DWORD> controls;
    HANDLE stop_event = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE reported = CreateEventA(NULL, TRUE, FALSE, NULL);  // running, or start-pending when `pending`
    DWORD accepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
    DWORD final_exit_code = 0;
    bool pending = false, returns_early = false, raise_signals = false;
    DWORD bad_state_error = 0;
};
Observed observed;

BOOL Report(DWORD state, DWORD exit_code = 0, DWORD checkpoint = 0) {
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, state, 0, exit_code, 0, checkpoint, checkpoint ? 3000u : 0};
    status.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : observed.accepted;
    observed.state = state;
    return SetServiceStatus(observed.handle, &status);
}

VOID WINAPI TestHandler(DWORD control) {
    observed.handler_thread = GetCurrentThreadId();
    observed.controls.push_back(control);
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING, 0, 1);
        SetEvent(observed.stop_event);
        return;
    }
    Report(control == SERVICE_CONTROL_PAUSE      ? SERVICE_PAUSED
           : control == SERVICE_CONTROL_CONTINUE ? SERVICE_RUNNING
                                                 : observed.state);
}

VOID WINAPI TestServiceMain(DWORD, LPSTR *) {
    observed.main_thread = GetCurrentThreadId();
    observed.handle = RegisterServiceCtrlHandlerA("TESTSERVICE", TestHandler);
    SetLastError(sentinel);
    observed.bad_state_error = Report(8) ? 0 : GetLastError();
    if (observed.returns_early)  // without reporting stopped
        return (void)SetEvent(observed.reported);
    Report(SERVICE_START_PENDING, 0, 1);
    if (!observed.pending)  // else start-pending until the test releases it
        Report(SERVICE_RUNNING);
    SetEvent(observed.reported);
    for (int signal : {SIGUSR1, SIGUSR2, SIGTERM}) {  // pause, continue, stop; read in this order
        if (observed.raise_signals)
            kill(getpid(), signal);
    }
    WaitForSingleObject(observed.stop_event, INFINITE);
    Report(SERVICE_STOPPED, observed.final_exit_code);
}

SERVICE_TABLE_ENTRYA test_table[] = {{(LPSTR) "TestService", TestServiceMain}, {NULL, NULL}};

using Dispatcher = platform::testing::PrefixTest;

TEST_F(Dispatcher, WithoutAServiceManagerEverythingIsRefused) {
    SERVICE_TABLE_ENTRYA empty[] = {{NULL, NULL}};
    const std::tuple<const char *, SERVICE_TABLE_ENTRYA *, DWORD> cases[] = {
        // NOTIFY_SOCKET, table, error (a handler outside a dispatcher: service_conformance_tests.cpp)
        {"relative/name", test_table, ERROR_FAILED_SERVICE_CONTROLLER_CONNECT},  // not a socket path; unset: by hand
        {nullptr, empty, ERROR_INVALID_PARAMETER}};
    unsetenv(platform::services::service_name_variable);
    for (auto [notify_socket, table, error] : cases) {
        notify_socket ? setenv("NOTIFY_SOCKET", notify_socket, 1) : unsetenv("NOTIFY_SOCKET");
        SetLastError(sentinel);
        EXPECT_FALSE(StartServiceCtrlDispatcherA(table));
        EXPECT_EQ(GetLastError(), error);
    }
}

// One life of the test service: its main runs, stays start-pending or returns without reporting stopped; the
// controls sent once it has reported, each with the error and state (0: any) returned; what its handler saw.
enum Main { runs, pending, returns_early };
struct Life {
    Main main;
    DWORD accepted;
    std::vector<std::array<DWORD, 3>> steps;
    std::vector<DWORD> delivered;
};

// The prefix's path is far longer than a socket address holds: the control socket is still reached.
class UnderServicectl : public platform::testing::PrefixTest, public ::testing::WithParamInterface<Life> {
protected:
    UnderServicectl() : PrefixTest(std::string(200, 'p')) {}
    void SetUp() override {
        observed = Observed{};
        setenv(platform::services::service_name_variable, "TestService", 1);
    }
    ServiceController controller_{"testservice"};  // names compare without regard to case
};

TEST_P(UnderServicectl, ControlsGetTheirAnswersAndReachTheHandlerOnTheDispatcherThreadInOrder) {
    std::tie(observed.accepted, observed.pending, observed.returns_early, observed.final_exit_code) =
        std::make_tuple(GetParam().accepted, GetParam().main == pending, GetParam().main == returns_early, 1234);
    std::vector<std::array<DWORD, 3>> answers;
    std::thread manager([&] {
        WaitForSingleObject(observed.reported, INFINITE);
        for (auto &step : GetParam().steps) {
            auto outcome = controller_.control(step[0]);
            answers.push_back({step[0], outcome.error, step[2] ? outcome.record.status.dwCurrentState : 0});
        }
        SetEvent(observed.stop_event);
    });
    EXPECT_TRUE(StartServiceCtrlDispatcherA(test_table));
    manager.join();
    EXPECT_EQ(answers, GetParam().steps);
    EXPECT_EQ(observed.controls, GetParam().delivered);
    EXPECT_NE(observed.main_thread, GetCurrentThreadId());
    EXPECT_EQ(observed.handler_thread, observed.controls.empty() ? 0 : GetCurrentThreadId());
    EXPECT_EQ(observed.bad_state_error, (DWORD)ERROR_INVALID_DATA);
    auto final_status = controller_.query().record.status;
    EXPECT_EQ(final_status.dwCurrentState, (DWORD)SERVICE_STOPPED);
    EXPECT_EQ(final_status.dwWin32ExitCode, observed.returns_early ? ERROR_PROCESS_ABORTED : 1234u);
    SetLastError(sentinel);
    EXPECT_FALSE(Report(SERVICE_RUNNING));  // after the dispatcher has returned, the handle is invalid
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

constexpr DWORD interrogate = SERVICE_CONTROL_INTERROGATE, pause = SERVICE_CONTROL_PAUSE,
                resume = SERVICE_CONTROL_CONTINUE, stop = SERVICE_CONTROL_STOP;
INSTANTIATE_TEST_SUITE_P(
    Each, UnderServicectl,
    ::testing::Values(Life{runs,
                           SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE,
                           {{interrogate, ERROR_SUCCESS, SERVICE_RUNNING},
                            {pause, ERROR_SUCCESS, SERVICE_PAUSED},
                            {interrogate, ERROR_SUCCESS, SERVICE_PAUSED},
                            {resume, ERROR_SUCCESS, SERVICE_RUNNING},
                            {0, ERROR_INVALID_PARAMETER, SERVICE_RUNNING},
                            {77, ERROR_INVALID_PARAMETER, SERVICE_RUNNING},
                            {200, ERROR_SUCCESS, SERVICE_RUNNING},  // the service's own codes reach the handler
                            {SERVICE_CONTROL_SHUTDOWN, ERROR_INVALID_SERVICE_CONTROL, SERVICE_RUNNING},
                            {stop, ERROR_SUCCESS, SERVICE_STOPPED}},
                           {interrogate, pause, interrogate, resume, 200, stop}},
                      Life{runs,
                           SERVICE_ACCEPT_STOP,
                           {{pause, ERROR_INVALID_SERVICE_CONTROL, 0},
                            {resume, ERROR_INVALID_SERVICE_CONTROL, 0},
                            {stop, ERROR_SUCCESS, SERVICE_STOPPED}},
                           {stop}},
                      Life{pending,
                           SERVICE_ACCEPT_STOP,
                           {{interrogate, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, 0},
                            {stop, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, 0}},
                           {}},
                      Life{returns_early, 0, {}, {}}));

// systemd: status through the notify socket; SIGUSR1, SIGUSR2 and SIGTERM as pause, continue and stop.
TEST_F(Dispatcher, UnderSystemdStatesGoToTheNotifySocketAndSignalsAreControls) {
    observed = Observed{};
    observed.raise_signals = true;
    unsetenv(platform::services::service_name_variable);
    std::string socket_path = (prefix_ / "notify").string();
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strcpy(address.sun_path, socket_path.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    setenv("NOTIFY_SOCKET", socket_path.c_str(), 1);
    EXPECT_TRUE(StartServiceCtrlDispatcherA(test_table));
    EXPECT_EQ(getenv("NOTIFY_SOCKET"), nullptr);  // not passed on to the service's own children
    EXPECT_EQ(observed.controls,
              (std::vector<DWORD>{SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_STOP}));
    std::string messages;  // each ended by " | "
    char buffer[4096];
    for (ssize_t size; (size = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
        messages += std::string(buffer, size) + " | ";
    close(fd);
    EXPECT_EQ(messages,
              "MAINPID=" + std::to_string(getpid()) +
                  " | STATUS=Starting, checkpoint 0 | STATUS=Starting, checkpoint 1\nEXTEND_TIMEOUT_USEC=3000000"
                  " | READY=1\nSTATUS=Running | STATUS=Paused | READY=1\nSTATUS=Running"
                  " | STOPPING=1\nSTATUS=Stopping\nEXTEND_TIMEOUT_USEC=3000000"
                  " | STOPPING=1\nSTATUS=Stopped, exit code 0 | ");
}

}  // namespace
