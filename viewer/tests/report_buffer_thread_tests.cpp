// Appends from two threads at once, and readers that take no lock while lines are added and reports rebuilt.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "report_fixture.h"

using tarvoke::testing::AttachedReport;
using tarvoke::testing::FakeWindow;

namespace {

class ReportBufferThreadTest : public ::testing::Test {
protected:
    void SetUp() override { tarvoke::testing::RestoreSlotTables(); }
    void TearDown() override { tarvoke::testing::RestoreSlotTables(); }
};

// Lines of two different lengths, so that an interleaved or misplaced line cannot pass for a whole one.
std::string LineOf(char writer, int i) {
    return writer == 'A' ? "A " + std::to_string(i) + "\r\n" : "B-line " + std::to_string(i) + "\r\n";
}

TEST_F(ReportBufferThreadTest, ConcurrentAppendsStayWholeInOrderAndWithinTheLimit) {
    AttachedReport r(8, FakeWindow(0x8000));
    auto writer = [&](char who) {
        for (int i = 0; i < 600; ++i) {
            if (who == 'A')
                AppendReportLine(r.window(), "A %d\r\n", i);
            else
                AppendReportLine(r.window(), "B-line %d\r\n", i);
        }
    };
    std::thread a(writer, 'A');
    std::thread b(writer, 'B');
    a.join();
    b.join();

    ASSERT_EQ(r.report()->nLines, MAX_REPORT_LINES);
    int next_a = 0;
    int next_b = 0;
    size_t end = 0;
    for (const std::string &line : r.lines()) {
        if (line == LineOf('A', next_a))
            ++next_a;
        else if (line == LineOf('B', next_b))
            ++next_b;
        else
            FAIL() << "unexpected line '" << line << "'";
        end += line.size();
    }
    EXPECT_EQ(next_a + next_b, MAX_REPORT_LINES);
    EXPECT_EQ(r.text().size(), end);
    EXPECT_TRUE(r.guard_intact());
}

TEST_F(ReportBufferThreadTest, ALockFreeReaderNeverSeesOffsetsOrTextBeyondThePublishedCount) {
    AttachedReport r(9, FakeWindow(0x9000));
    std::atomic<bool> done{false};
    std::atomic<long> checks{0};
    std::atomic<bool> reader_ended{false};

    auto read_until_done = [&] {
        while (!done.load()) {
            LONG n = GetReportLineCount(r.report());
            ASSERT_GE(n, 0);
            ASSERT_LE(n, MAX_REPORT_LINES);
            for (LONG k = 0; k < n; ++k) {
                WORD start = r.report()->awLineStart[k];
                WORD end = r.report()->awLineStart[k + 1];
                ASSERT_EQ(std::string(r.report()->szText + start, r.report()->szText + end), LineOf('A', k));
            }
            checks.fetch_add(1);
        }
    };
    std::thread reader([&] {
        read_until_done();
        reader_ended = true;
    });
    for (int i = 0; i < 1100; ++i)
        AppendReportLine(r.window(), "A %d\r\n", i);
    // Let the reader see the full report at least once before it stops.
    long seen = checks.load();
    while (checks.load() < seen + 2 && !reader_ended.load())
        std::this_thread::yield();
    done = true;
    reader.join();
    EXPECT_EQ(r.report()->nLines, MAX_REPORT_LINES);
}

TEST_F(ReportBufferThreadTest, CopiedTextIsWholeLinesWhileReportsAreRebuilt) {
    AttachedReport r(10, FakeWindow(0xA000));
    std::atomic<bool> done{false};
    std::atomic<long> copies{0};
    std::atomic<bool> display_ended{false};

    auto display_until_done = [&] {
        std::vector<char> out(CB_REPORT_TEXT);
        while (!done.load()) {
            LONG top = GetReportTopLine(r.report());
            int cch = CopyReportText(r.report(), top, out.data(), static_cast<int>(out.size()));
            ASSERT_EQ(static_cast<size_t>(cch), std::strlen(out.data()));
            std::string text(out.data(), static_cast<size_t>(cch));
            // Every copy is a run of whole lines of one report.
            size_t pos = 0;
            while (pos < text.size()) {
                size_t eol = text.find("\r\n", pos);
                ASSERT_NE(eol, std::string::npos) << "cut line in '" << text.substr(pos) << "'";
                ASSERT_EQ(text.compare(pos, 2, "A "), 0);
                pos = eol + 2;
            }
            SetReportTopLine(r.report(), 3);  // the display scrolls; the next reset puts it back to 0
            copies.fetch_add(1);
        }
    };
    std::thread display([&] {
        display_until_done();
        display_ended = true;
    });
    for (int cycle = 0; cycle < 200; ++cycle) {
        ResetReport(r.report());
        for (int i = 0; i < 40; ++i)
            AppendReportLine(r.window(), "A %d\r\n", i);
        AppendReportTrailer(FakeWindow(0xDEAD));  // a foreign window: nothing
        CompleteReport(r.report());
    }
    long seen = copies.load();
    while (copies.load() < seen + 2 && !display_ended.load())
        std::this_thread::yield();
    done = true;
    display.join();
    EXPECT_EQ(r.report()->nLines, 40 - REPORT_PAGE_LINES);
}

}  // namespace
