#include "service_events.h"

#include "prefix/prefix.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <fstream>
#include <sstream>

namespace platform::servicectl {
namespace {

bool same_ignoring_case(const std::string &a, const std::string &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The event log's own lines of the source in a file ("time TAB source TAB type TAB id TAB strings..."): other
// lines, such as a program's own output beside them, are passed over.
std::vector<std::string> source_lines(const std::filesystem::path &file, const std::string &source, std::size_t count) {
    std::ifstream in(file);
    std::deque<std::string> kept;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');)
            fields.push_back(field);
        if (fields.size() < 4 || !same_ignoring_case(fields[1], source))
            continue;
        std::string shown = fields[0] + " " + fields[2] + " " + fields[3] + ":";
        for (std::size_t i = 4; i < fields.size(); ++i)
            shown += (i == 4 ? " " : " | ") + fields[i];
        kept.push_back(shown);
        if (kept.size() > count)
            kept.pop_front();
    }
    return {kept.begin(), kept.end()};
}

bool syslog_socket_exists() {
    struct stat info {};
    return stat("/dev/log", &info) == 0 && S_ISSOCK(info.st_mode);
}

}  // namespace

RecentEvents recent_events(const std::string &source, const std::filesystem::path &output_log, std::size_t count) {
    auto target = prefix::setting("eventlog", "target").value_or("syslog");
    if (target.starts_with("file:")) {
        auto file = prefix::resolve(target.substr(5));
        return {file.string(), source_lines(file, source, count)};
    }
    if (target == "syslog" && syslog_socket_exists())
        return {"the system log (journalctl -t " + source + ")", {}};
    // Without a system log the events went to the service's standard error, which servicectl keeps.
    return {output_log.string(), source_lines(output_log, source, count)};
}

}  // namespace platform::servicectl
