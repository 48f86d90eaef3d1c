// The event log: one syslog record per reported event, identity the source name, sent to the system log's socket
// ([eventlog] syslog_socket, default /dev/log); or, when platform.conf has
// [eventlog] target = file:PATH (relative to the prefix), one line per event in that file:
//   time TAB source TAB type TAB id TAB string 1 TAB string 2 ...
// with the time in UTC as 2026-01-31T12:00:00Z, the type as a word (error, warning, information, success,
// audit-success, audit-failure) and the id in decimal. Tabs, line breaks and other control characters inside a
// string are written as \t, \n, \r or \xNN so that an event stays on its line. An event that its target cannot
// take (an unknown target, a file that cannot be written, a system log that is not there) goes to standard error
// as such a line, after one line that says why: a service started by hand on a machine without a system log
// still shows its events.
#include "kernel32/errno_map.h"
#include "kernel32/handle_table.h"
#include "prefix/prefix.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
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

// One record to the system log's datagram socket, as syslog(3) would send it: "<priority>time source[pid]: text".
// The record goes out whole or not at all; 0, or the errno of what failed. The socket is opened for each
// event, so that a system log started later, or restarted, is found.
int write_to_syslog(const std::string &socket_path, const std::string &source, const EventType &type, DWORD id,
                    const std::vector<std::string> &strings) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_path.size() >= sizeof address.sun_path)
        return ENAMETOOLONG;
    std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    std::string message;
    if (id != 0)
        message = "event " + std::to_string(id) + ": ";
    for (std::size_t i = 0; i < strings.size(); ++i)
        message += (i ? " | " : "") + strings[i];
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char time_text[32];
    std::strftime(time_text, sizeof time_text, "%b %e %H:%M:%S", &local);
    std::string record = "<" + std::to_string(LOG_DAEMON | type.priority) + ">" + time_text + " " + source + "[" +
                         std::to_string(getpid()) + "]: " + message;
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    int error = 0;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::send(fd, record.data(), record.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(record.size()))
        error = errno ? errno : EMSGSIZE;
    ::close(fd);
    return error;
}

// An event's line in the file format: time, source, type, id and strings, tab-separated.
std::string event_line(const std::string &source, const EventType &type, DWORD id,
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
    return line + "\n";
}

// One write of a whole line: lines from several threads or processes never mix. 0, or the errno.
int write_line(int fd, const std::string &line) {
    ssize_t written;
    do
        written = ::write(fd, line.data(), line.size());
    while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(line.size()))
        return 0;
    return written < 0 ? errno : ENOSPC;
}

// Appends the line to the file; 0, or the errno of what failed.
int write_to_file(const std::string &path, const std::string &line) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0)
        return errno;
    int error = write_line(fd, line);
    ::close(fd);
    return error;
}

// An event that its target cannot take goes to standard error instead, so that no event is lost without a
// word; why is said there once for each target.
BOOL write_to_standard_error(const std::string &target, const std::string &why, const std::string &line) {
    static std::mutex *lock = new std::mutex;
    static std::set<std::string> *warned = new std::set<std::string>;
    {
        std::lock_guard guard(*lock);
        if (warned->insert(target).second)
            write_line(STDERR_FILENO, "event log: " + why + "; events go to standard error\n");
    }
    if (int error = write_line(STDERR_FILENO, line)) {
        set_last_error_from_errno(error);
        return FALSE;
    }
    return TRUE;
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
    std::string line = event_line(source->name, *type, dwEventID, strings);
    if (target == "syslog") {
        auto socket_path = platform::prefix::setting("eventlog", "syslog_socket").value_or("/dev/log");
        if (int error = write_to_syslog(socket_path, source->name, *type, dwEventID, strings))
            return write_to_standard_error("syslog:" + socket_path,
                                           "no system log at " + socket_path + ": " + std::strerror(error), line);
        return TRUE;
    }
    if (!target.starts_with("file:"))
        return write_to_standard_error(target, "[eventlog] target \"" + target + "\" is neither syslog nor file:PATH",
                                       line);
    std::string path = platform::prefix::resolve(target.substr(5)).string();
    if (int error = write_to_file(path, line))
        return write_to_standard_error(target, "cannot write " + path + ": " + std::strerror(error), line);
    return TRUE;
}
