#include "service_registry.h"

#include "prefix/prefix.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
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

ServiceFiles::ServiceFiles(std::string_view name) : folder_(prefix::root() / "services") {
    for (unsigned char c : name)
        key_ += static_cast<char>(std::tolower(c));
    std::error_code error;
    fs::create_directories(folder_, error);
}

std::optional<fs::path> ServiceFiles::read_registration() const {
    std::ifstream file(registration());
    std::string line;
    while (std::getline(file, line))
        if (line.rfind("program=", 0) == 0)
            return fs::path(line.substr(8));
    return std::nullopt;
}

bool ServiceFiles::write_registration(const fs::path &program) const {
    std::ofstream file(registration(), std::ios::trunc);
    file << "program=" << program.string() << "\n";
    return static_cast<bool>(file.flush());
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
    std::error_code error;
    {
        errno = 0;
        std::ofstream file(temporary, std::ios::trunc);
        file << text.str();
        if (!file.flush())
            error = std::error_code(errno ? errno : EIO, std::generic_category());
    }
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
