// wsprintfA: the conversions programs use, and the 1024-byte limit of its output buffer.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

struct FormatCase {
    const char *format;
    int value;
    const char *expected;
};

class WsprintfInteger : public ::testing::TestWithParam<FormatCase> {};

TEST_P(WsprintfInteger, FormatsLikeTheCLibrary) {
    char out[1024];
    int written = wsprintfA(out, GetParam().format, GetParam().value);
    EXPECT_STREQ(out, GetParam().expected);
    EXPECT_EQ(written, static_cast<int>(std::string(GetParam().expected).size()));
}

INSTANTIATE_TEST_SUITE_P(Conversions, WsprintfInteger,
                         ::testing::Values(FormatCase{"LANA %02d", 3, "LANA 03"},
                                           FormatCase{"LANA %02d", 11, "LANA 11"}, FormatCase{"%d", -1, "-1"},
                                           FormatCase{"%u", 65535, "65535"}, FormatCase{"%x", 0xBEEF, "beef"},
                                           FormatCase{"%04X", 0xA, "000A"}, FormatCase{"%-4d|", 7, "7   |"},
                                           FormatCase{"%c", 'Z', "Z"}));

TEST(Wsprintf, StringsAndSeveralArguments) {
    char out[1024];
    EXPECT_EQ(wsprintfA(out, "fLana is %d hmemLana is %d", 0, 0), 24);
    EXPECT_STREQ(out, "fLana is 0 hmemLana is 0");
    EXPECT_EQ(wsprintfA(out, "%s=%5s.", "name", "ab"), 11);
    EXPECT_STREQ(out, "name=   ab.");
}

TEST(Wsprintf, OutputStopsAtTheBufferLimit) {
    std::string long_text(2000, 'x');
    char out[1024];
    EXPECT_EQ(wsprintfA(out, "%s", long_text.c_str()), 1023);
    EXPECT_EQ(std::string(out), std::string(1023, 'x'));
}

TEST(Wsprintf, NullBufferOrFormatIsRefused) {
    char out[16];
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(wsprintfA(nullptr, "%d", 1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(wsprintfA(out, nullptr), 0);
}

}  // namespace
