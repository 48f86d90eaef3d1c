#include "service_registry.h"

#include "prefix/prefix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

namespace platform::services {
namespace fs = std::filesystem;

bool valid_service_name(std::string_view name) {
    if (name.empty() || name.size() > 256)
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == '/' || c == '\\' || c == 0x7f)
            return false;
    return true;
}

namespace {

// What servicectl and the services keep in services/ is for the prefix's owner only, whatever the umask.
constexpr mode_t state_file_mode = 0600;

// Makes a new file (never through a link, never over an existing one) and writes the whole text to it.
bool write_new_file(const fs::path &path, const std::string &text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, state_file_mode);
    if (fd < 0)
        return false;
    bool done = fchmod(fd, state_file_mode) == 0;
    for (std::string_view rest = text; done && !rest.empty();) {
        ssize_t written = ::write(fd, rest.data(), rest.size());
        done = written > 0;
        if (done)
            rest.remove_prefix(static_cast<std::size_t>(written));
    }
    return (::close(fd) == 0) && done;
}

}  // namespace

ServiceFiles::ServiceFiles(std::string_view name) : folder_(prefix::root() / "services") {
    for (unsigned char c : name)
        key_ += static_cast<char>(std::tolower(c));
}

std::optional<fs::path> ServiceFiles::read_registration(std::string *refusal) const {
    // servicectl runs the program a registration names, as whoever runs servicectl: only a registration that
    // the prefix's owner (or root) wrote and nobody else may change names one.
    int fd = ::open(registration().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT)
        return std::nullopt;
    struct stat info {};
    std::string problem;
    if (fd < 0)
        problem = errno == ELOOP ? "is a symbolic link" : std::strerror(errno);
    else if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        problem = "is not a regular file";
    else if (info.st_uid != prefix::owner() && info.st_uid != 0)
        problem = "is owned by uid " + std::to_string(info.st_uid) + ", not by the prefix's owner (uid " +
                  std::to_string(prefix::owner()) + ")";
    else if (info.st_mode & 022)
        problem = "is writable by group or others";
    std::string text;
    char buffer[4096];
    for (ssize_t got; problem.empty() && (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    if (fd >= 0)
        ::close(fd);
    if (!problem.empty()) {
        if (refusal)
            *refusal = "the registration " + registration().string() + " " + problem;
        return std::nullopt;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("program=", 0) == 0)
            return fs::path(line.substr(8));
    return std::nullopt;
}

bool ServiceFiles::write_registration(const fs::path &program) const {
    return write_new_file(registration(), "program=" + program.string() + "\n");
}

std::optional<StatusRecord> ServiceFiles::read_status() const {
    std::ifstream file(status());
    if (!file)
        return std::nullopt;
    StatusRecord record;
    SERVICE_STATUS &s = record.status;
    std::string key;
    unsigned long long value;
    int fields = 0;
    while (file >> key >> value) {
        auto field = [&](std::string_view name, DWORD &target) {
            if (key == name) {
                target = static_cast<DWORD>(value);
                ++fields;
            }
        };
        field("type", s.dwServiceType);
        field("state", s.dwCurrentState);
        field("controls", s.dwControlsAccepted);
        field("exit_code", s.dwWin32ExitCode);
        field("service_exit_code", s.dwServiceSpecificExitCode);
        field("checkpoint", s.dwCheckPoint);
        field("wait_hint", s.dwWaitHint);
        if (key == "pid")
            record.pid = static_cast<pid_t>(value);
        if (key == "start_time")
            record.start_time = value;
    }
    if (fields != 7)
        return std::nullopt;
    return record;
}

bool ServiceFiles::write_status(const StatusRecord &record, std::string *why) const {
    const SERVICE_STATUS &s = record.status;
    std::ostringstream text;
    text << "type " << s.dwServiceType << "\nstate " << s.dwCurrentState << "\ncontrols " << s.dwControlsAccepted
         << "\nexit_code " << s.dwWin32ExitCode << "\nservice_exit_code " << s.dwServiceSpecificExitCode
         << "\ncheckpoint " << s.dwCheckPoint << "\nwait_hint " << s.dwWaitHint << "\npid " << record.pid
         << "\nstart_time " << record.start_time << "\n";
    fs::path temporary = status();
    temporary += "." + std::to_string(getpid()) + ".new";
    ::unlink(temporary.c_str());  // left by a process of this id that did not finish
    std::error_code error;
    errno = 0;
    if (!write_new_file(temporary, text.str()))
        error = std::error_code(errno ? errno : EIO, std::generic_category());
    if (!error)
        fs::rename(temporary, status(), error);
    if (!error)
        return true;
    std::error_code ignored;
    fs::remove(temporary, ignored);
    if (why)
        *why = "cannot write " + status().string() + ": " + error.message();
    return false;
}

std::optional<unsigned long long> process_start_time(pid_t pid) {
    // /proc/PID/stat: "pid (command) state ..." with the start time the 22nd field; the command may hold
    // spaces and parentheses, so the fields are counted from the last ')'.
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), {});
    auto end_of_command = text.rfind(')');
    if (end_of_command == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(end_of_command + 1));
    std::string field;
    for (int number = 3; number < 22; ++number)
        fields >> field;
    unsigned long long start_time = 0;
    if (!(fields >> start_time))
        return std::nullopt;
    return start_time;
}

std::string state_name(DWORD state) {
    switch (state) {
        case SERVICE_STOPPED:
            return "STOPPED";
        case SERVICE_START_PENDING:
            return "START_PENDING";
        case SERVICE_STOP_PENDING:
            return "STOP_PENDING";
        case SERVICE_RUNNING:
            return "RUNNING";
        case SERVICE_CONTINUE_PENDING:
            return "CONTINUE_PENDING";
        case SERVICE_PAUSE_PENDING:
            return "PAUSE_PENDING";
        case SERVICE_PAUSED:
            return "PAUSED";
        default:
            return "UNKNOWN";
    }
}

std::string accepted_controls_text(DWORD accepted) {
    static const std::pair<DWORD, const char *> names[] = {{SERVICE_ACCEPT_STOP, "STOP"},
                                                           {SERVICE_ACCEPT_PAUSE_CONTINUE, "PAUSE_CONTINUE"},
                                                           {SERVICE_ACCEPT_SHUTDOWN, "SHUTDOWN"},
                                                           {SERVICE_ACCEPT_PARAMCHANGE, "PARAMCHANGE"}};
    std::string text;
    for (auto &[bit, name] : names)
        if (accepted & bit)
            text += (text.empty() ? "" : " ") + std::string(name);
    return text.empty() ? "(none)" : text;
}

}  // namespace platform::services
