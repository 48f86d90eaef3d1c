// The command-line tail: each argument survives the usual Win32 splitting rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"

using platform::startup::command_line_tail;

namespace {

std::string tail_of(std::vector<const char *> arguments) {
    arguments.insert(arguments.begin(), "program");
    return command_line_tail(static_cast<int>(arguments.size()), arguments.data());
}

}  // namespace

TEST(CommandLineTail, IsEmptyWithoutArgumentsAndLeavesOutTheProgramName) {
    EXPECT_EQ(tail_of({}), "");
    EXPECT_EQ(tail_of({"a", "b"}), "a b");
}

TEST(CommandLineTail, QuotesOnlyWhatNeedsIt) {
    struct Case {
        const char *argument;
        const char *written;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"two words", "\"two words\""},
        {"", "\"\""},
        {"tab\there", "\"tab\there\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"c:\\dir\\", "c:\\dir\\"},              // no quoting needed: backslashes stay as they are
        {"c:\\my dir\\", "\"c:\\my dir\\\\\""},  // before the closing quote they are doubled
        {"a\\\"b", "\"a\\\\\\\"b\""},            // a backslash before a quote: doubled, then the quote escaped
    };
    for (const auto &c : cases)
        EXPECT_EQ(tail_of({c.argument}), c.written) << c.argument;
}
