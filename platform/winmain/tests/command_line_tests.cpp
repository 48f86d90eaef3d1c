// The command-line tail: each argument survives the usual Win32 splitting rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"

using platform::startup::command_line_tail;

TEST(CommandLineTail, LeavesOutTheProgramNameAndQuotesOnlyWhatNeedsIt) {
    struct Case {
        std::vector<const char *> arguments;
        const char *tail;
    };
    const Case cases[] = {
        {{}, ""},
        {{"a", "b"}, "a b"},
        {{"two words", ""}, "\"two words\" \"\""},
        {{"tab\there"}, "\"tab\there\""},
        {{"say \"hi\""}, "\"say \\\"hi\\\"\""},
        {{"c:\\dir\\"}, "c:\\dir\\"},              // no quoting needed: backslashes stay as they are
        {{"c:\\my dir\\"}, "\"c:\\my dir\\\\\""},  // before the closing quote they are doubled
        {{"a\\\"b"}, "\"a\\\\\\\"b\""},            // a backslash before a quote: doubled, then the quote escaped
    };
    for (Case c : cases) {
        c.arguments.insert(c.arguments.begin(), "program");
        EXPECT_EQ(command_line_tail(static_cast<int>(c.arguments.size()), c.arguments.data()), c.tail) << c.tail;
    }
}
