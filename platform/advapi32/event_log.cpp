// The event log: one syslog record per reported event, identity the source name; or, when platform.conf has
// [eventlog] target = file:PATH (relative to the prefix), one line per event in that file:
//   time TAB source TAB type TAB id TAB string 1 TAB string 2 ...
// with the time in UTC as 2026-01-31T12:00:00Z, the type as a word (error, warning, information, success,
// audit-success, audit-failure) and the id in decimal. Tabs, line breaks and other control characters inside a
// string are written as \t, \n, \r or \xNN so that an event stays on its line.
#include "kernel32/errno_map.h"
#include "kernel32/handle_table.h"
#include "prefix/prefix.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

using namespace platform::kernel;

namespace {

class EventSource : public KernelObject {
public:
    explicit EventSource(std::string source_name) : name(std::move(source_name)) {}
    const std::string name;
};

struct EventType {
    WORD type;
    const char *word;
    int priority;
};

constexpr EventType event_types[] = {
    {EVENTLOG_SUCCESS, "success", LOG_INFO},
    {EVENTLOG_ERROR_TYPE, "error", LOG_ERR},
    {EVENTLOG_WARNING_TYPE, "warning", LOG_WARNING},
    {EVENTLOG_INFORMATION_TYPE, "information", LOG_INFO},
    {EVENTLOG_AUDIT_SUCCESS, "audit-success", LOG_NOTICE},
    {EVENTLOG_AUDIT_FAILURE, "audit-failure", LOG_WARNING},
};

const EventType *event_type(WORD type) {
    for (auto &known : event_types)
        if (known.type == type)
            return &known;
    return nullptr;
}

std::string escaped(const char *text) {
    std::string result;
    for (const char *c = text; *c; ++c) {
        auto byte = static_cast<unsigned char>(*c);
        if (byte == '\t')
            result += "\\t";
        else if (byte == '\n')
            result += "\\n";
        else if (byte == '\r')
            result += "\\r";
        else if (byte < 0x20 || byte == 0x7f) {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02X", byte);
            result += code;
        } else
            result += *c;
    }
    return result;
}

// syslog keeps one identity per process: records are written one at a time under this lock.
std::mutex &syslog_lock() {
    static std::mutex *lock = new std::mutex;
    return *lock;
}

bool write_to_syslog(const std::string &source, const EventType &type, DWORD id,
                     const std::vector<std::string> &strings) {
    std::string message;
    if (id != 0)
        message = "event " + std::to_string(id) + ": ";
    for (std::size_t i = 0; i < strings.size(); ++i)
        message += (i ? " | " : "") + strings[i];
    std::lock_guard guard(syslog_lock());
    openlog(source.c_str(), LOG_PID, LOG_DAEMON);
    syslog(type.priority, "%s", message.c_str());
    closelog();
    return true;
}

bool write_to_file(const std::string &path, const std::string &source, const EventType &type, DWORD id,
                   const std::vector<std::string> &strings) {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char time_text[32];
    std::strftime(time_text, sizeof time_text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::string line =
        std::string(time_text) + "\t" + escaped(source.c_str()) + "\t" + type.word + "\t" + std::to_string(id);
    for (auto &text : strings)
        line += "\t" + text;
    line += "\n";
    // One write of a whole line to a file opened for appending: lines from several threads or processes
    // never mix.
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0) {
        SetLastError(win32_error_for_path(errno, path.c_str()));
        return false;
    }
    ssize_t written;
    do
        written = ::write(fd, line.data(), line.size());
    while (written < 0 && errno == EINTR);
    int error = errno;
    ::close(fd);
    if (written != static_cast<ssize_t>(line.size())) {
        set_last_error_from_errno(written < 0 ? error : ENOSPC);
        return false;
    }
    return true;
}

}  // namespace

extern "C" HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName) {
    if (lpUNCServerName && *lpUNCServerName) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);  // no remote event logs
        return nullptr;
    }
    if (!lpSourceName || !*lpSourceName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HANDLE handle = insert_handle(std::make_shared<EventSource>(lpSourceName));
    if (!handle)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return handle;
}

extern "C" BOOL WINAPI DeregisterEventSource(HANDLE hEventLog) {
    if (!lookup_handle_as<EventSource>(hEventLog))
        return FALSE;
    close_handle(hEventLog);
    return TRUE;
}

extern "C" BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID lpUserSid,
                                    WORD wNumStrings, DWORD dwDataSize, LPCSTR *lpStrings, LPVOID lpRawData) {
    auto source = lookup_handle_as<EventSource>(hEventLog);
    if (!source)
        return FALSE;
    auto *type = event_type(wType);
    if (!type || (wNumStrings && !lpStrings) || (dwDataSize && !lpRawData)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::string> strings;
    for (WORD i = 0; i < wNumStrings; ++i) {
        if (!lpStrings[i]) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        strings.push_back(escaped(lpStrings[i]));
    }
    auto target = platform::prefix::setting("eventlog", "target").value_or("syslog");
    if (target.starts_with("file:"))
        return write_to_file(platform::prefix::resolve(target.substr(5)).string(), source->name, *type, dwEventID,
                             strings);
    if (target != "syslog") {
        SetLastError(ERROR_INVALID_PARAMETER);  // a target this platform does not know; see platform.conf
        return FALSE;
    }
    return write_to_syslog(source->name, *type, dwEventID, strings);
}
