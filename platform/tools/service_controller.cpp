#include "service_controller.h"

#include "advapi32/service_manager_link.h"
#include "kernel32/named_pipe_location.h"
#include "prefix/prefix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

namespace platform::servicectl {
namespace fs = std::filesystem;
using services::StatusRecord;

namespace {

// Generous limits: a loaded machine may be slow, and a hung service must not hang servicectl for ever.
constexpr auto state_change_limit = std::chrono::seconds(120);
constexpr int control_reply_limit_ms = 35000;
constexpr auto poll_interval = std::chrono::milliseconds(10);

// The recorded service process, held by a pidfd, or nothing when that process has ended. A process that has
// died counts as ended at once, before whoever is its parent reaps it, and a later process that has taken
// over its pid (another start time) is not it.
services::UniqueFd recorded_process(const StatusRecord &record) {
    if (record.pid <= 0)
        return {};
    services::UniqueFd fd(static_cast<int>(syscall(SYS_pidfd_open, record.pid, 0)));
    if (!fd)
        return {};
    auto start_time = services::process_start_time(record.pid);
    if (record.start_time != 0 && start_time && *start_time != record.start_time)
        return {};
    pollfd ended{fd.get(), POLLIN, 0};
    if (poll(&ended, 1, 0) == 1)
        return {};
    return fd;
}

bool process_alive(const StatusRecord &record) {
    return static_cast<bool>(recorded_process(record));
}

// Waits until the recorded process has ended, so that "stopped" is never said of a process that still runs
// (and might still write). False when it outlives the deadline. A controller inside the service's own
// process cannot see that process end, and does not wait for it.
bool process_ends_by(const StatusRecord &record, std::chrono::steady_clock::time_point deadline) {
    auto fd = recorded_process(record);
    if (!fd || record.pid == getpid())
        return true;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd ended{fd.get(), POLLIN, 0};
    int ready;
    do
        ready = poll(&ended, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
    while (ready < 0 && errno == EINTR);
    return ready == 1;
}

StatusRecord stopped_record(DWORD exit_code) {
    StatusRecord record;
    record.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    record.status.dwCurrentState = SERVICE_STOPPED;
    record.status.dwWin32ExitCode = exit_code;
    return record;
}

Outcome with_record(DWORD error, const StatusRecord &record) {
    return {error, record, true, {}};
}

Outcome failed(DWORD error) {
    Outcome outcome;
    outcome.error = error;
    return outcome;
}

[[noreturn]] void exec_service(const fs::path &program, const std::string &name, const fs::path &log) {
    setsid();
    int null_fd = open("/dev/null", O_RDONLY);
    int log_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (log_fd >= 0)
        fchmod(log_fd, 0600);  // the owner's alone, whatever the umask
    if (null_fd >= 0)
        dup2(null_fd, STDIN_FILENO);
    if (log_fd >= 0) {
        dup2(log_fd, STDOUT_FILENO);
        dup2(log_fd, STDERR_FILENO);
    }
    for (int fd = 3; fd < 1024; ++fd)
        close(fd);
    setenv(services::service_name_variable, name.c_str(), 1);
    setenv("PLATFORM_PREFIX", prefix::root().c_str(), 1);
    unsetenv("NOTIFY_SOCKET");
    [[maybe_unused]] int changed = chdir(prefix::root().c_str());
    std::string program_text = program.string();
    char *arguments[] = {program_text.data(), nullptr};
    execv(program_text.c_str(), arguments);
    _exit(127);
}

}  // namespace

ServiceController::ServiceController(std::string name) : name_(std::move(name)), files_(name_) {}

Outcome ServiceController::create(const fs::path &program) const {
    if (!services::valid_service_name(name_))
        return failed(ERROR_INVALID_NAME);
    if (files_.read_registration())
        return failed(ERROR_SERVICE_EXISTS);
    // A registration that could never start is refused now, when whoever made it is there to hear why.
    fs::path absolute = fs::absolute(program);
    std::error_code error;
    auto kind = fs::status(absolute, error).type();
    if (kind == fs::file_type::not_found) {
        Outcome outcome = failed(ERROR_FILE_NOT_FOUND);
        outcome.detail = absolute.string() + ": no such file";
        return outcome;
    }
    if (kind != fs::file_type::regular || access(absolute.c_str(), X_OK) != 0) {
        Outcome outcome = failed(ERROR_ACCESS_DENIED);
        outcome.detail = absolute.string() + ": not a program this user may run";
        return outcome;
    }
    if (!files_.write_registration(absolute))
        return failed(ERROR_ACCESS_DENIED);
    return {};
}

Outcome ServiceController::remove() const {
    if (!files_.read_registration())
        return failed(ERROR_SERVICE_DOES_NOT_EXIST);
    std::error_code error;
    fs::remove(files_.registration(), error);
    auto status = current_status();
    if (!status || status->status.dwCurrentState == SERVICE_STOPPED)
        fs::remove(files_.status(), error);
    return error ? failed(ERROR_ACCESS_DENIED) : Outcome{};
}

std::optional<StatusRecord> ServiceController::current_status() const {
    auto record = files_.read_status();
    if (record && record->status.dwCurrentState != SERVICE_STOPPED && record->pid != 0 && !process_alive(*record))
        return stopped_record(ERROR_PROCESS_ABORTED);
    return record;
}

Outcome ServiceController::restart() const {
    Outcome stopped = control(SERVICE_CONTROL_STOP);
    if (stopped.error != ERROR_SUCCESS && stopped.error != ERROR_SERVICE_NOT_ACTIVE)
        return stopped;
    return start();
}

std::vector<ServiceEntry> list_services() {
    std::vector<ServiceEntry> entries;
    std::error_code error;
    for (auto &file : fs::directory_iterator(prefix::root() / "services", error)) {
        if (file.path().extension() != ".conf")
            continue;
        std::string name = file.path().stem().string();
        ServiceController controller(name);
        Outcome status = controller.query();
        std::string refusal;
        auto program = services::ServiceFiles(name).read_registration(&refusal);
        entries.push_back({name, program ? program->string() : refusal, status.record});
    }
    std::sort(entries.begin(), entries.end(), [](auto &a, auto &b) { return a.name < b.name; });
    return entries;
}

Outcome ServiceController::query() const {
    auto record = current_status();
    if (record)
        return with_record(ERROR_SUCCESS, *record);
    if (!files_.read_registration())
        return failed(ERROR_SERVICE_DOES_NOT_EXIST);
    return with_record(ERROR_SUCCESS, stopped_record(0));
}

bool ServiceController::wait_for_state(pid_t child, bool stop, StatusRecord &record) const {
    auto deadline = std::chrono::steady_clock::now() + state_change_limit;
    while (std::chrono::steady_clock::now() < deadline) {
        bool child_ended = false;
        if (child > 0) {
            int wait_status;
            child_ended = waitpid(child, &wait_status, WNOHANG) == child;
        }
        auto seen = files_.read_status();
        if (seen) {
            DWORD state = seen->status.dwCurrentState;
            if (state == SERVICE_STOPPED) {
                record = *seen;
                return process_ends_by(*seen, deadline);
            }
            if (!stop && state != SERVICE_START_PENDING) {
                record = *seen;
                return true;
            }
            if (stop && seen->pid != 0 && !process_alive(*seen)) {
                record = stopped_record(ERROR_PROCESS_ABORTED);
                return true;
            }
        }
        if (child_ended) {
            // The program ended without reporting stopped: it never became a service (its dispatcher did
            // not connect), or it ended unexpectedly.
            record = stopped_record(seen && seen->pid != 0 ? ERROR_PROCESS_ABORTED : ERROR_SERVICE_REQUEST_TIMEOUT);
            files_.write_status(record);
            return true;
        }
        std::this_thread::sleep_for(poll_interval);
    }
    if (auto seen = files_.read_status())
        record = *seen;
    return false;
}

Outcome ServiceController::start() const {
    std::string refusal;
    auto program = files_.read_registration(&refusal);
    if (!refusal.empty()) {
        Outcome outcome = failed(ERROR_ACCESS_DENIED);
        outcome.detail = refusal;
        return outcome;
    }
    if (!program)
        return failed(ERROR_SERVICE_DOES_NOT_EXIST);
    if (auto status = current_status(); status && status->status.dwCurrentState != SERVICE_STOPPED)
        return with_record(ERROR_SERVICE_ALREADY_RUNNING, *status);
    if (access(program->c_str(), X_OK) != 0)
        return failed(ERROR_FILE_NOT_FOUND);

    StatusRecord pending;
    pending.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    pending.status.dwCurrentState = SERVICE_START_PENDING;
    // A start that cannot record its progress fails here, with the reason; else a status left by an earlier
    // run would be taken for this one's.
    std::string why;
    if (!files_.write_status(pending, &why)) {
        Outcome outcome = failed(ERROR_ACCESS_DENIED);
        outcome.detail = why;
        return outcome;
    }
    pid_t child = fork();
    if (child < 0)
        return failed(ERROR_NOT_ENOUGH_MEMORY);
    if (child == 0)
        exec_service(*program, name_, files_.output_log());

    StatusRecord record;
    if (!wait_for_state(child, false, record))
        return with_record(ERROR_SERVICE_REQUEST_TIMEOUT, record);
    return with_record(ERROR_SUCCESS, record);
}

Outcome ServiceController::control(DWORD control) const {
    // Reached through the services folder's descriptor when the path is too long for a socket address.
    kernel::SocketAddress address(files_.control_socket().parent_path().string(),
                                  files_.control_socket().filename().string());
    if (!address.valid())
        return failed(ERROR_FILENAME_EXCED_RANGE);
    services::UniqueFd fd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    if (!fd)
        return failed(ERROR_NOT_ENOUGH_MEMORY);
    if (connect(fd.get(), address.get(), address.size()) != 0) {
        if (errno == EACCES || errno == EPERM)
            return failed(ERROR_ACCESS_DENIED);
        if (!files_.read_registration() && !files_.read_status())
            return failed(ERROR_SERVICE_DOES_NOT_EXIST);
        auto status = current_status();
        return status ? with_record(ERROR_SERVICE_NOT_ACTIVE, *status) : failed(ERROR_SERVICE_NOT_ACTIVE);
    }
    services::ControlRequest request{control};
    services::ControlReply reply{};
    pollfd waiting{fd.get(), POLLIN, 0};
    if (send(fd.get(), &request, sizeof request, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof request) ||
        poll(&waiting, 1, control_reply_limit_ms) != 1 ||
        recv(fd.get(), &reply, sizeof reply, 0) != static_cast<ssize_t>(sizeof reply))
        return failed(ERROR_SERVICE_REQUEST_TIMEOUT);

    StatusRecord record{reply.status, 0};
    if (auto status = files_.read_status())
        record.pid = status->pid;
    if (reply.error != ERROR_SUCCESS || control != SERVICE_CONTROL_STOP)
        return with_record(reply.error, record);
    if (!wait_for_state(0, true, record))
        return with_record(ERROR_SERVICE_REQUEST_TIMEOUT, record);
    return with_record(ERROR_SUCCESS, record);
}

std::string error_text(DWORD error) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof text, nullptr);
    std::string result(text, length);
    while (!result.empty() && std::isspace(static_cast<unsigned char>(result.back())))
        result.pop_back();
    return result.empty() ? "unknown error" : result;
}

}  // namespace platform::servicectl
