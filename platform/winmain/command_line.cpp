#include "command_line.h"

namespace platform::startup {
namespace {

// Quotes an argument only when it needs it. Inside quotes, backslashes are literal except before a quote,
// so those that precede a quote (or the closing quote) are doubled.
void append_argument(std::string &line, const std::string &argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += argument;
        return;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            line.append(backslashes * 2 + 1, '\\');
        } else {
            line.append(backslashes, '\\');
        }
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

}  // namespace

std::string command_line_tail(int argc, const char *const *argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        append_argument(line, argv[i] ? argv[i] : "");
    }
    return line;
}

}  // namespace platform::startup
