// Report buffer and report sections: where appended lines land, the line and text limits, completion, readers
// that take no lock, and whole sections formatted from crafted replies.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "report_fixture.h"
#include "report_sections.h"

using tarvoke::testing::AttachedReport;
using tarvoke::testing::FakeWindow;
using Lines = std::vector<std::string>;

namespace {

const char blank[] = "                                             \r\n";
const char rule[] = "============================================\r\n";

class Report : public ::testing::Test {
protected:
    void TearDown() override { tarvoke::testing::RestoreSlotTables(); }
    AttachedReport r_{6, FakeWindow(0x1000)};
    void AppendNumbered(int n) {
        for (int i = 0; i < n; ++i)
            AppendReportLine(r_.window(), "line %03d\r\n", i);
    }
};

TEST_F(Report, LinesGoToTheFirstSlotWithTheWindowAndResetStartsAgainAtZero) {
    AttachedReport earlier(3, FakeWindow(0x1000)), other(0, FakeWindow(0x2000));
    AppendReportLine(FakeWindow(0x1000), "Entry %05u\r\n", 7u);
    AppendReportLine(FakeWindow(0x1001), "foreign\r\n");
    AppendReportLine(nullptr, "null\r\n");  // slots without a window must not match 0
    EXPECT_EQ(earlier.lines(), Lines{"Entry 00007\r\n"});
    EXPECT_EQ(r_.text(), "");
    EXPECT_EQ(other.text(), "");
    AppendReportLine(earlier.window(), "two\r\n");
    EXPECT_EQ(earlier.report()->awLineStart[2], 18);
    SetReportTopLine(earlier.report(), 1);
    ResetReport(earlier.report());
    EXPECT_EQ(earlier.report()->nTopLine, 0);
    AppendReportLine(earlier.window(), "abc\r\n");
    EXPECT_EQ(earlier.lines(), Lines{"abc\r\n"});
}

TEST_F(Report, CompletionTurnsTheCountIntoTheHighestTopLine) {
    const struct {
        int lines;
        LONG highest_top;
    } cases[] = {{0, 0}, {17, 0}, {18, 1}, {999, 982}};
    for (const auto &c : cases) {
        ResetReport(r_.report());
        AppendNumbered(c.lines);
        CompleteReport(r_.report());
        EXPECT_EQ(r_.report()->nLines, c.highest_top) << c.lines << " lines";
    }
    ResetReport(r_.report());
    AppendReportTrailer(r_.window());
    EXPECT_EQ(r_.text(), std::string(blank) + rule + "=              END OF REPORT               =\r\n" + rule + blank);
}

TEST_F(Report, TheThousandthLineIsDropped) {
    AppendNumbered(1000);
    AppendReportTrailer(r_.window());
    EXPECT_EQ(r_.report()->nLines, 999);
    EXPECT_EQ(r_.report()->awLineStart[999], 9990);
    EXPECT_EQ(r_.text().size(), 9990u);  // an entry past awLineStart[999] would land on szText
    EXPECT_EQ(r_.lines().back(), "line 998\r\n");
    EXPECT_TRUE(r_.guard_intact());
}

TEST_F(Report, ALineIsDroppedWholeWhenLongerThan127OrWhenItNoLongerFitsTheText) {
    AppendReportLine(r_.window(), "%s\r\n", std::string(126, 'b').c_str());
    for (int i = 0; i < 81; ++i)  // 127 characters each: 80 take 10160 bytes, the 81st does not fit
        AppendReportLine(r_.window(), "%s\r\n", std::string(125, 'w').c_str());
    ASSERT_EQ(r_.report()->nLines, 80);
    EXPECT_EQ(r_.report()->awLineStart[80], 10160);
    const struct {
        const char *line;
        LONG lines_after;
    } steps[] = {{"%s", 81}, {"y", 82}, {"z", 82}, {"", 83}, {"z", 83}};
    const std::string fill(76, 'x');  // text up to 10236 with its line end, 10238 with it
    for (const auto &s : steps) {
        AppendReportLine(r_.window(), s.line, (fill + "\r\n").c_str());
        EXPECT_EQ(r_.report()->nLines, s.lines_after) << s.line;
    }
    EXPECT_EQ(r_.report()->awLineStart[83], CB_REPORT_TEXT - 1);
    EXPECT_EQ(r_.text().back(), 'y');
    EXPECT_TRUE(r_.guard_intact());
}

TEST_F(Report, CopyReportTextCopiesWholeLinesFromAHeldFirstLine) {
    AppendNumbered(3);
    const struct {
        LONG first;
        int cb;
        const char *copied;
    } cases[] = {{1, 64, "line 001\r\nline 002\r\n"}, {50, 64, ""}, {-4, 6, "line "}, {0, 1, ""}};
    for (const auto &c : cases) {
        char out[64] = "?";
        EXPECT_EQ(CopyReportText(r_.report(), c.first, out, c.cb), static_cast<int>(std::strlen(c.copied)));
        EXPECT_STREQ(out, c.copied) << c.first << " " << c.cb;
    }
    AppendNumbered(16);  // once complete, nLines is the highest top line and the lines below it still copy
    CompleteReport(r_.report());
    std::vector<char> big(CB_REPORT_TEXT);
    EXPECT_EQ(CopyReportText(r_.report(), 2, big.data(), CB_REPORT_TEXT), 17 * 10);
    std::memset(r_.report(), 0x5A, sizeof(REPORTBUF));
    InitReportBuffer(r_.report());
    EXPECT_EQ(r_.report()->nLines + r_.report()->nTopLine + r_.report()->awLineStart[0], 0);
    EXPECT_EQ(r_.report()->szText[CB_REPORT_TEXT - 1], '\0');  // a reader scanning for the NUL stops inside
}

// Two writers and a reader that takes no lock while reports are rebuilt: lines stay whole and in order.
TEST_F(Report, ConcurrentAppendsAndLockFreeCopiesSeeOnlyWholeLines) {
    auto writer = [&](const char *format) {
        for (int i = 0; i < 600; ++i)
            AppendReportLine(r_.window(), format, i);
    };
    std::thread a(writer, "A %d\r\n"), b(writer, "B-line %d\r\n");
    a.join();
    b.join();
    int next_a = 0, next_b = 0;
    for (const std::string &line : r_.lines()) {
        if (line == "A " + std::to_string(next_a) + "\r\n")
            ++next_a;
        else
            ASSERT_EQ(line, "B-line " + std::to_string(next_b++) + "\r\n");
    }
    EXPECT_EQ(next_a + next_b, MAX_REPORT_LINES);

    std::atomic<bool> done{false};
    std::atomic<long> copies{0};
    std::thread display([&] {
        std::vector<char> out(CB_REPORT_TEXT);
        while (!done) {
            int cch = CopyReportText(r_.report(), GetReportTopLine(r_.report()), out.data(), CB_REPORT_TEXT);
            std::string text(out.data(), static_cast<std::size_t>(cch));
            for (std::size_t pos = 0; pos < text.size(); pos = text.find("\r\n", pos) + 2)
                ASSERT_TRUE(text.compare(pos, 2, "A ") == 0 && text.find("\r\n", pos) != std::string::npos) << text;
            SetReportTopLine(r_.report(), 3);  // the display scrolls; the next reset puts it back to 0
            ++copies;
        }
    });
    for (int cycle = 0; cycle < 200 || copies < 2; ++cycle) {
        ResetReport(r_.report());
        writer("A %d\r\n");
        CompleteReport(r_.report());
    }
    done = true;
    display.join();
    EXPECT_EQ(r_.report()->nLines, 600 - REPORT_PAGE_LINES);
}

class Sections : public Report {
protected:
    std::vector<unsigned char> reply_ = std::vector<unsigned char>(2 * CB_STATUS_REPLY);
    ADAPTER_STATUS *status() { return reinterpret_cast<ADAPTER_STATUS *>(reply_.data()); }
    NAME_BUFFER *names() { return reinterpret_cast<NAME_BUFFER *>(status() + 1); }
    SESSION_HEADER *header() { return reinterpret_cast<SESSION_HEADER *>(reply_.data()); }
    SESSION_BUFFER *sessions() { return reinterpret_cast<SESSION_BUFFER *>(header() + 1); }
    void AddName(const char *text, std::size_t length, UCHAR type, UCHAR flags) {
        NAME_BUFFER &n = names()[status()->name_count++];
        std::memset(n.name, ' ', NCBNAMSZ);
        std::memcpy(n.name, text, length);
        n.name[15] = type;
        n.name_num = 200;
        n.name_flags = flags;
    }
    SESSION_BUFFER &AddSession(UCHAR state, const char *local, UCHAR ltype, const char *remote, UCHAR rtype) {
        SESSION_BUFFER &e = sessions()[header()->num_sess++];
        std::memset(&e, 0, sizeof e);
        e.lsn = 42;
        e.state = state;
        std::memcpy(e.local_name, local, std::strlen(local));
        std::memcpy(e.remote_name, remote, std::strlen(remote));
        e.local_name[15] = ltype;
        e.remote_name[15] = rtype;
        return e;
    }
    // Lines `first` to `last` (exclusive; 0: to the end), each without its line end and followed by '|'.
    std::string Shown(std::size_t first = 0, std::size_t last = 0) const {
        Lines lines = r_.lines();
        std::string shown;
        for (std::size_t i = first; i < (last ? last : lines.size()); ++i)
            shown += lines[i].substr(0, lines[i].size() - 2) + "|";
        return shown;
    }
};

const std::string opening =
    "                                             |============================================|";

TEST_F(Sections, ErrorAndCapacitySectionsPrintEveryCounterInItsColumn) {
    ADAPTER_STATUS *s = status();
    const UCHAR address[6] = {0x00, 0xAA, 0x00, 0x12, 0x34, 0x56};
    std::memcpy(s->adapter_address, address, 6);
    s->rev_major = 3, s->reserved0 = 0x99, s->adapter_type = 0xFE, s->rev_minor = 2, s->duration = 7;
    s->frmr_recv = 65535, s->iframe_recv_err = 1, s->xmit_aborts = 12345, s->xmit_success = 0xFFFFFFFFu;
    s->recv_success = 0x7FFFFFFF, s->iframe_xmit_err = 2, s->recv_buff_unavail = 3, s->t1_timeouts = 4;
    s->ti_timeouts = 5, s->xmit_buf_unavail = 9, s->free_ncbs = 255, s->max_cfg_ncbs = 1, s->max_ncbs = 65535;
    s->max_dgram_size = 512, s->pending_sess = 6, s->max_cfg_sess = 16, s->max_sess = 64;
    s->max_sess_pkt_size = 1470, s->reserved1 = 0xFFFFFFFF;
    FormatAdapterErrors(6, s);
    FormatAdapterErrors(7, s);  // a slot without a display: nothing
    FormatAdapterCapacity(6, s);
    EXPECT_EQ(Shown(),
              opening +
                  "Error Information                           |Reporting Period in Minutes            00007|"
                  "Frame Reject Receive Count             65535|Frame Reject Transmit Count            00000|"
                  "I-Frame Receive Error Count            00001|Transmit Abort Count                   12345|"
                  "Good Frame Transmit Count        -0000000001|Good Frame Receive Count         02147483647|"
                  "I-Frame Retransmission Count           00002|Lost Frames Count (out of SAP)         00003|"
                  "Expire T1 Timer Count                  00004|Expire TI Timer Count                  00005|" +
                  opening +
                  "Capacity Information                        |Permanent Node Name                         |"
                  "     00  AA  00  12  34  56                  |Major Version Number                   00003|"
                  "Minor Version Number                   00002|Adapter Type                           FE   |"
                  "Free Command Blocks                    00255|Current Maximum Pending NCBs           00001|"
                  "Maximum Number of NCBs                 65535|Local Station Busy Count               00009|"
                  "Maximum DataGram Packet Size           00512|Pending Session Count                  00006|"
                  "Maximum Pending Session Count          00016|Maximum Sessions                       00064|"
                  "Maximum Session Packet Size            01470|");
    ResetReport(r_.report());
    s->recv_success = 0x80000000u;
    FormatAdapterErrors(6, s);
    EXPECT_EQ(r_.lines()[9], "Good Frame Receive Count         -2147483648\r\n");
}

TEST_F(Sections, NameTableShowsEachNameTypeKindAndStateAndZeroesTheTypeByteInTheReply) {
    const struct {
        UCHAR type, flags;
        const char *type_line, *state_line;
    } cases[] = {
        {0x00, 0x00, "  Redirector Name                            ", "  Name Registration in Progress              "},
        {0x03, 0x84, "  User Name                                  ", "  Name Registered                            "},
        {0x05, 0x05, "  Forwarded User Name                        ", "  Name deregistered                          "},
        {0x20, 0x06, "  Server Name                                ", "  Name is a duplicate                        "},
        {0x1B, 0x07, "  Unknown name terminator code         1B    ", "  Name is a duplicate and deregistering      "},
        {0x01, 0x7B, "  Unknown name terminator code         01    ", "  Unknown Name status                  03    "},
    };
    for (const auto &c : cases)
        AddName("GROUP\0JUNK", 10, c.type, c.flags);  // a zero byte ends the name early
    FormatNameTable(6, status());
    ASSERT_EQ(r_.lines().size(), 4 + 7 * std::size(cases));
    EXPECT_EQ(Shown(0, 4), opening +
                               "Name Table Information                       |"
                               "Name Table Entry Count                 00006|");
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const char *kind = cases[i].flags & GROUP_NAME ? "  Group Name                                 |"
                                                       : "  Unique Name                                |";
        EXPECT_EQ(Shown(4 + 7 * i, 11 + 7 * i),
                  std::string(blank, 45) + "|Name Table Entry number                0000" + std::to_string(i) +
                      "|Name                        GROUP   |" + cases[i].type_line +
                      "|Name Number                            00200|" + kind + cases[i].state_line + "|");
        EXPECT_EQ(names()[i].name[15], 0);
    }
}

TEST_F(Sections, CountsBeyondTheReplyBlockReadOnlyTheEntriesThatFit) {
    for (std::size_t i = 0; i < MAX_NAME_ENTRIES + 1; ++i)
        AddName("X", 1, 0x20, 0x04);
    status()->name_count = 65535;
    FormatNameTable(6, status());
    EXPECT_EQ(r_.lines()[3], "Name Table Entry Count                 65535\r\n");
    EXPECT_EQ(names()[MAX_NAME_ENTRIES - 1].name[15], 0);
    EXPECT_EQ(names()[MAX_NAME_ENTRIES].name[15], 0x20);

    std::fill(reply_.begin(), reply_.end(), 0);
    header()->sess_name = 1;
    for (std::size_t i = 0; i < MAX_SESSION_ENTRIES + 1; ++i)
        AddSession(3, "L", 0x20, "R", 0x20);
    header()->num_sess = 255;
    ResetReport(r_.report());
    FormatSessions(6, header());  // more lines than the text holds: those that fit are whole
    EXPECT_EQ(Shown(3, 4) + Shown(19, 20),
              "Number of sessions reported            00255|"
              "Session Table Entry                    00001|");
    EXPECT_EQ(sessions()[MAX_SESSION_ENTRIES - 1].remote_name[15], 0);
    EXPECT_EQ(sessions()[MAX_SESSION_ENTRIES].local_name[15], 0x20);
    EXPECT_TRUE(r_.guard_intact());
}

TEST_F(Sections, SessionSectionShowsStateNamesAndTraffic) {
    header()->sess_name = 0;
    header()->rcv_dg_outstanding = 7;
    header()->rcv_any_outstanding = 255;
    SESSION_BUFFER &first = AddSession(3, "FIFTEEN-CHARSXY", 0x00, "WXYZ", 0x1B);
    first.rcvs_outstanding = 2;
    first.sends_outstanding = 255;
    AddSession(9, "L", 0x05, "REMOTE-FULL-15C", 0x03);
    FormatSessions(6, header());
    EXPECT_EQ(Shown(),
              opening +
                  "Session Information                         |Number of sessions reported            00002|"
                  "   An Add.Name is in progress               |Number of sessions with this name      00002|"
                  "Number of Rcv.DG or Rcv.Bcast.D        00007|Number of pending Receive.Any          00255|"
                  "Session Table                               |" +
                  std::string(blank, 45) +
                  "|Session Table Entry                    00000|Local Session Number                   00042|"
                  "     Session Established                      |Local Session Name          FIFTEEN-CHARSXY   |"
                  "  Redirector Name                             |Remote Session Name         WXYZ              |"
                  "  Unknown name terminator code         1B     |Number of Receives pending             00002|"
                  "Number of Sends pending                00255|" +
                  std::string(blank, 45) +
                  "|Session Table Entry                    00001|Local Session Number                   00042|"
                  "     Unknown Session State             09     |Local Session Name          L   |"
                  "  Forwarded User Name                         |Remote Session Name         REMOTE-FULL-15C   |"
                  "  User Name                                   |Number of Receives pending             00000|"
                  "Number of Sends pending                00000|");
    EXPECT_EQ(sessions()[0].local_name[15] | sessions()[0].remote_name[15] | sessions()[1].remote_name[15], 0);

    const struct {
        UCHAR state;
        const char *line;
    } states[] = {{1, "     Listen Outstanding                       "},
                  {2, "     CALL pending                             "},
                  {4, "     HANG.UP pending                          "},
                  {5, "     HANG.UP completed                        "},
                  {6, "     Session Aborted                          "},
                  {0xFF, "     Unknown Session State             FF     "}};
    for (const auto &s : states) {
        std::fill(reply_.begin(), reply_.end(), 0);
        header()->sess_name = 1;
        AddSession(s.state, "A", 0x20, "B", 0x20);
        ResetReport(r_.report());
        FormatSessions(6, header());
        EXPECT_EQ(Shown(11, 14), s.line + std::string("|Local Session Name          A   |"
                                                      "  Server Name                                 |"));
    }
}

}  // namespace
