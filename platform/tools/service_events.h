// The latest events a service reported, read back from wherever the platform's event log put them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace platform::servicectl {

struct RecentEvents {
    std::string where;               // the file they came from, or where to look when servicectl cannot read them
    std::vector<std::string> lines;  // the last ones of the source, oldest first, as "time type id: strings"
};

// `source` is the event source (the service's name, compared without regard to case); `output_log` is the
// service's standard error, which takes the events when there is no system log to take them.
RecentEvents recent_events(const std::string &source, const std::filesystem::path &output_log, std::size_t count);

}  // namespace platform::servicectl
