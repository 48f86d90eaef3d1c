// A small INI reader for platform.conf: [section], key = value, comments after ';' or '#'.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::prefix {

struct IniEntry {
    std::string section;  // as written
    std::string key;
    std::string value;
};

struct IniParseResult {
    std::vector<IniEntry> entries;
    std::vector<std::string> errors;  // "LINE: message" for each line that was not understood and was skipped
};

IniParseResult parse_ini(std::string_view text);

bool equal_ignoring_case(std::string_view a, std::string_view b);

}  // namespace platform::prefix
