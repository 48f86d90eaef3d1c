#include "ini_file.h"

#include <algorithm>
#include <cctype>

namespace platform::prefix {
namespace {

std::string_view trim(std::string_view text) {
    auto is_space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && is_space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_space(text.back()))
        text.remove_suffix(1);
    return text;
}

// A comment starts at ';' or '#' at the start of a line or after white space, so that values such as
// "file:events.log" or "a#b" keep their characters.
std::string_view strip_comment(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if ((line[i] == ';' || line[i] == '#') && (i == 0 || std::isspace(static_cast<unsigned char>(line[i - 1]))))
            return line.substr(0, i);
    }
    return line;
}

}  // namespace

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

IniParseResult parse_ini(std::string_view text) {
    IniParseResult result;
    std::string section;
    int line_number = 0;
    while (!text.empty()) {
        auto end = text.find('\n');
        auto raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++line_number;

        auto line = trim(strip_comment(raw));
        if (line.empty())
            continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                result.errors.push_back(std::to_string(line_number) + ": a section header needs [name]");
                continue;
            }
            section = std::string(trim(line.substr(1, line.size() - 2)));
            continue;
        }
        auto equals = line.find('=');
        if (equals == std::string_view::npos || trim(line.substr(0, equals)).empty()) {
            result.errors.push_back(std::to_string(line_number) + ": expected key = value");
            continue;
        }
        if (section.empty()) {
            result.errors.push_back(std::to_string(line_number) + ": key outside any [section]");
            continue;
        }
        result.entries.push_back(
            {section, std::string(trim(line.substr(0, equals))), std::string(trim(line.substr(equals + 1)))});
    }
    return result;
}

}  // namespace platform::prefix
