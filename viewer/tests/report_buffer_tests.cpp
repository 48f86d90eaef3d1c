// The report buffer: where appended lines land, the line and text limits, the trailer and completion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "report_fixture.h"

using tarvoke::testing::AttachedReport;
using tarvoke::testing::FakeWindow;

namespace {

const char *const trailer[] = {
    "                                             \r\n", "============================================\r\n",
    "=              END OF REPORT               =\r\n",  "============================================\r\n",
    "                                             \r\n",
};

class ReportBufferTest : public ::testing::Test {
protected:
    void SetUp() override { tarvoke::testing::RestoreSlotTables(); }
    void TearDown() override { tarvoke::testing::RestoreSlotTables(); }

    // n lines "line 000\r\n", "line 001\r\n", ...
    static void AppendNumberedLines(HWND hwnd, int n) {
        for (int i = 0; i < n; ++i)
            AppendReportLine(hwnd, "line %03d\r\n", i);
    }
};

TEST_F(ReportBufferTest, FirstLineStartsAtZeroInAFreshAndInAResetBuffer) {
    AttachedReport r(2, FakeWindow(0x1000));
    AppendReportLine(r.window(), "Entry %05u of %s\r\n", 7u, "NAME");
    EXPECT_EQ(r.report()->nLines, 1);
    EXPECT_EQ(r.report()->awLineStart[0], 0);
    EXPECT_EQ(r.report()->awLineStart[1], 21);
    EXPECT_EQ(r.text(), "Entry 00007 of NAME\r\n");

    AppendReportLine(r.window(), "second\r\n");
    SetReportTopLine(r.report(), 1);
    ResetReport(r.report());
    EXPECT_EQ(r.report()->nLines, 0);
    EXPECT_EQ(r.report()->nTopLine, 0);
    EXPECT_EQ(r.text(), "");
    AppendReportLine(r.window(), "abc\r\n");
    EXPECT_EQ(r.lines(), std::vector<std::string>{"abc\r\n"});
    EXPECT_EQ(r.report()->awLineStart[1], 5);
}

TEST_F(ReportBufferTest, EachWindowReachesOnlyItsOwnSlot) {
    AttachedReport a(0, FakeWindow(0x1000));
    AttachedReport b(11, FakeWindow(0x2000));
    AppendReportLine(b.window(), "to b\r\n");
    AppendReportLine(a.window(), "to a\r\n");
    EXPECT_EQ(a.text(), "to a\r\n");
    EXPECT_EQ(b.text(), "to b\r\n");
}

TEST_F(ReportBufferTest, ForeignWindowAndNullWindowAppendNothing) {
    AttachedReport r(4, FakeWindow(0x1000));
    AppendReportLine(r.window(), "kept\r\n");
    std::vector<unsigned char> before(reinterpret_cast<unsigned char *>(r.report()),
                                      reinterpret_cast<unsigned char *>(r.report()) + sizeof(REPORTBUF));

    AppendReportLine(FakeWindow(0x1001), "foreign\r\n");
    AppendReportLine(nullptr, "null\r\n");  // every other slot has no window, and 0 must not match them

    EXPECT_EQ(std::memcmp(before.data(), r.report(), sizeof(REPORTBUF)), 0);
}

TEST_F(ReportBufferTest, TheFirstSlotWithTheWindowInIndexOrderGetsTheLine) {
    AttachedReport later(7, FakeWindow(0x1000));
    AttachedReport earlier(3, FakeWindow(0x1000));
    AppendReportLine(FakeWindow(0x1000), "x\r\n");
    EXPECT_EQ(earlier.text(), "x\r\n");
    EXPECT_EQ(later.text(), "");
}

TEST_F(ReportBufferTest, TrailerOnlyReportCompletesAtZero) {
    AttachedReport r(1, FakeWindow(0x1000));
    ResetReport(r.report());
    AppendReportTrailer(r.window());
    EXPECT_EQ(r.lines(), std::vector<std::string>(std::begin(trailer), std::end(trailer)));
    CompleteReport(r.report());
    EXPECT_EQ(r.report()->nLines, 0);
}

TEST_F(ReportBufferTest, CompletionTurnsTheCountIntoTheHighestTopLine) {
    AttachedReport r(1, FakeWindow(0x1000));
    const struct {
        int lines;
        LONG highest_top;
    } cases[] = {{0, 0}, {17, 0}, {18, 1}, {999, 982}};
    for (const auto &c : cases) {
        ResetReport(r.report());
        AppendNumberedLines(r.window(), c.lines);
        CompleteReport(r.report());
        EXPECT_EQ(r.report()->nLines, c.highest_top) << c.lines << " lines";
    }
}

TEST_F(ReportBufferTest, TheThousandthLineIsDroppedAndTheOffsetsEndAtTheLastEntry) {
    AttachedReport r(5, FakeWindow(0x1000));
    AppendNumberedLines(r.window(), 999);
    ASSERT_EQ(r.report()->nLines, 999);
    const std::string full = r.text();
    ASSERT_EQ(full.size(), 999u * 10);
    EXPECT_EQ(r.report()->awLineStart[999], 9990);

    AppendReportLine(r.window(), "line 999\r\n");
    AppendReportTrailer(r.window());

    EXPECT_EQ(r.report()->nLines, 999);
    EXPECT_EQ(r.report()->awLineStart[999], 9990);
    // An entry past awLineStart[999] would land on the first bytes of szText.
    EXPECT_EQ(r.text(), full);
    std::vector<std::string> lines = r.lines();
    EXPECT_EQ(lines.front(), "line 000\r\n");
    EXPECT_EQ(lines.back(), "line 998\r\n");
    EXPECT_TRUE(r.guard_intact());
}

TEST_F(ReportBufferTest, ALineThatNoLongerFitsTheTextIsDroppedAndShorterOnesStillFit) {
    AttachedReport r(6, FakeWindow(0x1000));
    const std::string body(125, 'w');  // 127 characters with the line end
    for (int i = 0; i < 81; ++i)
        AppendReportLine(r.window(), "%s\r\n", body.c_str());
    // 80 lines take 10160 bytes; the 81st would need 10288 with its NUL.
    ASSERT_EQ(r.report()->nLines, 80);
    EXPECT_EQ(r.report()->awLineStart[80], 10160);

    AppendReportLine(r.window(), "%s\r\n", std::string(76, 'x').c_str());  // text up to 10238, NUL at 10238
    AppendReportLine(r.window(), "y");                                     // the last character that fits
    EXPECT_EQ(r.report()->nLines, 82);
    AppendReportLine(r.window(), "z");
    EXPECT_EQ(r.report()->nLines, 82);
    AppendReportLine(r.window(), "%s", "");  // nothing to store: the NUL is already there
    EXPECT_EQ(r.report()->nLines, 83);
    AppendReportLine(r.window(), "z");
    EXPECT_EQ(r.report()->nLines, 83);

    EXPECT_EQ(r.report()->awLineStart[83], CB_REPORT_TEXT - 1);
    EXPECT_EQ(r.report()->szText[CB_REPORT_TEXT - 1], '\0');
    EXPECT_EQ(r.text().size(), static_cast<size_t>(CB_REPORT_TEXT - 1));
    EXPECT_EQ(r.text().back(), 'y');
    EXPECT_TRUE(r.guard_intact());
}

TEST_F(ReportBufferTest, LinesLongerThan127CharactersAreDroppedWhole) {
    AttachedReport r(6, FakeWindow(0x1000));
    AppendReportLine(r.window(), "%s\r\n", std::string(125, 'a').c_str());
    AppendReportLine(r.window(), "%s\r\n", std::string(126, 'b').c_str());
    AppendReportLine(r.window(), "%s\r\n", std::string(5000, 'c').c_str());
    ASSERT_EQ(r.report()->nLines, 1);
    EXPECT_EQ(r.text(), std::string(125, 'a') + "\r\n");
}

TEST_F(ReportBufferTest, CopyReportTextCopiesWholeLinesFromAHeldFirstLine) {
    AttachedReport r(0, FakeWindow(0x1000));
    AppendNumberedLines(r.window(), 3);
    char out[64];

    EXPECT_EQ(CopyReportText(r.report(), 1, out, sizeof(out)), 20);
    EXPECT_STREQ(out, "line 001\r\nline 002\r\n");
    EXPECT_EQ(CopyReportText(r.report(), 50, out, sizeof(out)), 0);  // held to the end of the report
    EXPECT_STREQ(out, "");
    EXPECT_EQ(CopyReportText(r.report(), -4, out, 6), 5);  // held to line 0, cut to the output
    EXPECT_STREQ(out, "line ");

    // Once complete, nLines is the highest top line and the lines below it are still there to copy.
    AppendNumberedLines(r.window(), 16);
    CompleteReport(r.report());
    ASSERT_EQ(r.report()->nLines, 2);
    std::vector<char> big(CB_REPORT_TEXT);
    EXPECT_EQ(CopyReportText(r.report(), 2, big.data(), static_cast<int>(big.size())), 17 * 10);
}

TEST_F(ReportBufferTest, InitialisedBufferIsFreshWithItsTextZeroed) {
    AttachedReport r(0, FakeWindow(0x1000));
    std::memset(r.report(), 0x5A, sizeof(REPORTBUF));
    InitReportBuffer(r.report());
    EXPECT_EQ(r.report()->nTopLine, 0);
    EXPECT_EQ(r.report()->nLines, 0);
    EXPECT_EQ(r.report()->awLineStart[0], 0);
    // A reader scanning for the NUL from any offset stops inside the text area.
    EXPECT_EQ(r.report()->szText[0], '\0');
    EXPECT_EQ(r.report()->szText[CB_REPORT_TEXT - 1], '\0');
}

}  // namespace
