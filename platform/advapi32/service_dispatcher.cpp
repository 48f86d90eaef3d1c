// StartServiceCtrlDispatcherA, RegisterServiceCtrlHandlerA and SetServiceStatus. The dispatcher runs the
// service's main function on a thread of its own and calls the control handler on the thread that called
// the dispatcher, as a service program expects. Controls come from the manager link (servicectl) and from
// signals: SIGTERM is the stop control (systemd's way to stop), SIGUSR1 pause and SIGUSR2 continue.
#include "service_manager_link.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <strings.h>
#include <thread>

namespace platform::services {
namespace {

// How long the dispatcher lets the main function finish after the service has reported itself stopped.
constexpr auto main_return_grace = std::chrono::seconds(30);

class RunningService {
public:
    RunningService(std::string name, LPSERVICE_MAIN_FUNCTIONA main, std::unique_ptr<ManagerLink> link)
        : name_(std::move(name)), main_(main), link_(std::move(link)), wake_(eventfd(0, EFD_CLOEXEC)) {
        status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status_.dwCurrentState = SERVICE_START_PENDING;
        link_->publish(status_);
    }

    const std::string &name() const { return name_; }
    ManagerLink &link() { return *link_; }
    int wake_fd() const { return wake_.get(); }

    void set_handler(LPHANDLER_FUNCTION handler) {
        std::lock_guard guard(lock_);
        handler_ = handler;
    }

    void report(const SERVICE_STATUS &status) {
        std::lock_guard guard(lock_);
        status_ = status;
        link_->publish(status_);
        if (status.dwCurrentState == SERVICE_STOPPED)
            stopped_ = true;
        wake();
    }

    void run_main() {
        std::string argument = name_;
        LPSTR arguments[] = {argument.data(), nullptr};
        main_(1, arguments);
        std::lock_guard guard(lock_);
        main_returned_ = true;
        wake();
    }

    // A main function that returns without reporting the service stopped leaves it stopped all the same,
    // as a process that ended unexpectedly.
    void settle_after_main() {
        std::lock_guard guard(lock_);
        if (main_returned_ && !stopped_) {
            status_.dwCurrentState = SERVICE_STOPPED;
            status_.dwControlsAccepted = 0;
            status_.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
            status_.dwCheckPoint = status_.dwWaitHint = 0;
            link_->publish(status_);
            stopped_ = true;
        }
    }

    bool stopped() {
        std::lock_guard guard(lock_);
        return stopped_;
    }
    bool main_returned() {
        std::lock_guard guard(lock_);
        return main_returned_;
    }

    // The acceptance rules of a control, then the handler on the calling (dispatcher) thread.
    ControlReply deliver(DWORD control) {
        LPHANDLER_FUNCTION handler;
        {
            std::lock_guard guard(lock_);
            DWORD refusal = refusal_of(control);
            if (refusal != ERROR_SUCCESS)
                return {refusal, status_};
            handler = handler_;
        }
        handler(control);
        std::lock_guard guard(lock_);
        return {ERROR_SUCCESS, status_};
    }

private:
    DWORD refusal_of(DWORD control) const {
        if (control == 0 || (control > SERVICE_CONTROL_PARAMCHANGE && (control < 128 || control > 255)))
            return ERROR_INVALID_PARAMETER;
        if (stopped_ || status_.dwCurrentState == SERVICE_STOPPED)
            return ERROR_SERVICE_NOT_ACTIVE;
        if (!handler_ || status_.dwCurrentState == SERVICE_START_PENDING ||
            status_.dwCurrentState == SERVICE_STOP_PENDING)
            return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        DWORD needed = 0;
        switch (control) {
            case SERVICE_CONTROL_STOP:
                needed = SERVICE_ACCEPT_STOP;
                break;
            case SERVICE_CONTROL_PAUSE:
            case SERVICE_CONTROL_CONTINUE:
                needed = SERVICE_ACCEPT_PAUSE_CONTINUE;
                break;
            case SERVICE_CONTROL_SHUTDOWN:
                needed = SERVICE_ACCEPT_SHUTDOWN;
                break;
            case SERVICE_CONTROL_PARAMCHANGE:
                needed = SERVICE_ACCEPT_PARAMCHANGE;
                break;
            default:
                break;  // interrogate and the service's own codes always reach the handler
        }
        if (needed && !(status_.dwControlsAccepted & needed))
            return ERROR_INVALID_SERVICE_CONTROL;
        return ERROR_SUCCESS;
    }

    void wake() {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(wake_.get(), &one, sizeof one);
    }

    std::string name_;
    LPSERVICE_MAIN_FUNCTIONA main_;
    std::unique_ptr<ManagerLink> link_;
    UniqueFd wake_;
    std::mutex lock_;
    SERVICE_STATUS status_{};
    LPHANDLER_FUNCTION handler_ = nullptr;
    bool stopped_ = false;
    bool main_returned_ = false;
};

std::mutex active_lock;
RunningService *active_service = nullptr;

std::string take_environment(const char *variable) {
    const char *value = std::getenv(variable);
    std::string text = value ? value : "";
    unsetenv(variable);  // the service's own children are not services
    return text;
}

// Which manager started this process, if any. servicectl names the service it started.
std::unique_ptr<ManagerLink> connect_manager(const SERVICE_TABLE_ENTRYA *table, DWORD &error) {
    std::string servicectl_name = take_environment(service_name_variable);
    std::string notify_socket = take_environment("NOTIFY_SOCKET");
    if (!servicectl_name.empty())
        return connect_servicectl(servicectl_name, error);
    if (!notify_socket.empty())
        return connect_systemd(notify_socket, error);
    error = ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
    return nullptr;
}

class SignalControls {
public:
    SignalControls() {
        sigset_t signals;
        sigemptyset(&signals);
        for (int signal_number : {SIGTERM, SIGUSR1, SIGUSR2})
            sigaddset(&signals, signal_number);
        // Blocked before the main function's thread starts, so that every thread of the service inherits
        // the mask and the signals reach only the descriptor.
        pthread_sigmask(SIG_BLOCK, &signals, &previous_);
        fd_ = UniqueFd(signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
    }
    ~SignalControls() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

    int fd() const { return fd_.get(); }

    // The control a waiting signal asks for, or 0.
    DWORD take() {
        signalfd_siginfo info{};
        if (read(fd_.get(), &info, sizeof info) != static_cast<ssize_t>(sizeof info))
            return 0;
        switch (info.ssi_signo) {
            case SIGTERM:
                return SERVICE_CONTROL_STOP;
            case SIGUSR1:
                return SERVICE_CONTROL_PAUSE;
            case SIGUSR2:
                return SERVICE_CONTROL_CONTINUE;
            default:
                return 0;
        }
    }

private:
    sigset_t previous_{};
    UniqueFd fd_;
};

void drain(int fd) {
    uint64_t count;
    [[maybe_unused]] ssize_t got = read(fd, &count, sizeof count);
}

// The dispatcher's loop on the calling thread: serves controls until the service has reported itself
// stopped and its main function has returned.
void dispatch(RunningService &service, SignalControls &signals) {
    using clock = std::chrono::steady_clock;
    bool stop_requested = false;  // a SIGTERM that came while the service could not take a stop yet
    std::optional<clock::time_point> give_up;
    for (;;) {
        service.settle_after_main();
        if (service.stopped()) {
            if (service.main_returned())
                return;
            if (!give_up)
                give_up = clock::now() + main_return_grace;
            else if (clock::now() >= *give_up)
                return;
        }
        if (stop_requested &&
            service.deliver(SERVICE_CONTROL_STOP).error != static_cast<uint32_t>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL))
            stop_requested = false;

        pollfd fds[3] = {
            {service.wake_fd(), POLLIN, 0}, {signals.fd(), POLLIN, 0}, {service.link().control_fd(), POLLIN, 0}};
        int timeout = -1;
        if (give_up)
            timeout = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(*give_up - clock::now()).count() + 1);
        if (poll(fds, fds[2].fd >= 0 ? 3 : 2, std::max(timeout, -1)) <= 0)
            continue;
        if (fds[0].revents)
            drain(service.wake_fd());
        if (fds[1].revents) {
            DWORD control = signals.take();
            if (control == SERVICE_CONTROL_STOP)
                stop_requested = true;
            else if (control != 0)
                service.deliver(control);
        }
        if (fds[2].fd >= 0 && fds[2].revents)
            service.link().serve_control([&](DWORD control) { return service.deliver(control); });
    }
}

bool valid_status(const SERVICE_STATUS &status) {
    return status.dwCurrentState >= SERVICE_STOPPED && status.dwCurrentState <= SERVICE_PAUSED;
}

}  // namespace
}  // namespace platform::services

using namespace platform::services;

extern "C" BOOL WINAPI StartServiceCtrlDispatcherA(CONST SERVICE_TABLE_ENTRYA *lpServiceStartTable) {
    if (!lpServiceStartTable || !lpServiceStartTable->lpServiceName || !lpServiceStartTable->lpServiceProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    {
        std::lock_guard guard(active_lock);
        if (active_service) {
            SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
            return FALSE;
        }
    }
    DWORD error = ERROR_SUCCESS;
    auto link = connect_manager(lpServiceStartTable, error);
    if (!link) {
        SetLastError(error);
        return FALSE;
    }
    // An own-process service: the process runs the first service of its table, whatever it was started as.
    auto *service =
        new RunningService(lpServiceStartTable->lpServiceName, lpServiceStartTable->lpServiceProc, std::move(link));
    {
        std::lock_guard guard(active_lock);
        active_service = service;
    }
    SignalControls signals;
    std::thread([service] { service->run_main(); }).detach();
    dispatch(*service, signals);
    {
        std::lock_guard guard(active_lock);
        active_service = nullptr;
    }
    // A main function still running past its grace keeps its record; otherwise the record goes.
    if (service->main_returned())
        delete service;
    return TRUE;
}

extern "C" SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerA(LPCSTR lpServiceName,
                                                                    LPHANDLER_FUNCTION lpHandlerProc) {
    std::lock_guard guard(active_lock);
    if (!lpServiceName || !active_service || strcasecmp(lpServiceName, active_service->name().c_str()) != 0) {
        SetLastError(ERROR_SERVICE_NOT_IN_EXE);
        return nullptr;
    }
    if (!lpHandlerProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    active_service->set_handler(lpHandlerProc);
    return reinterpret_cast<SERVICE_STATUS_HANDLE>(active_service);
}

extern "C" BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus, LPSERVICE_STATUS lpServiceStatus) {
    std::lock_guard guard(active_lock);
    if (!hServiceStatus || reinterpret_cast<RunningService *>(hServiceStatus) != active_service) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!lpServiceStatus || !valid_status(*lpServiceStatus)) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    active_service->report(*lpServiceStatus);
    return TRUE;
}
