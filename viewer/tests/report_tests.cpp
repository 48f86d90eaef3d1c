// Report buffer and report sections: where lines land, the limits, completion, and whole sections.

#include <cstring>

#include "report_sections.h"
#include "viewer_harness.h"

namespace pt = platform::testing;
using namespace tarvoke::testing;
using Lines = std::vector<std::string>;

namespace {

class Report : public ::testing::Test {
protected:
    void TearDown() override { tarvoke::testing::RestoreSlotTables(); }
    void AppendNumbered(int n) {
        for (int i = 0; i < n; ++i)
            AppendReportLine(r_.window(), "line %03d\r\n", i);
    }
    // Lines `first` to `last` (0: the end), each without its line end and followed by '|'.
    std::string Shown(std::size_t first = 0, std::size_t last = 0) const {
        Lines lines = r_.lines();
        std::string shown;
        for (std::size_t i = first; i < (last ? last : lines.size()); ++i)
            shown += lines[i].substr(0, lines[i].size() - 2) + "|";
        return shown;
    }
    AttachedReport r_{6, FakeWindow(0x1000)};
};

const std::string blank(45, ' '), rule(44, '='), opening = blank + "|" + rule + "|";

TEST_F(Report, LinesGoToTheFirstSlotWithTheWindowAndCompletionGivesTheHighestTopLine) {
    {
        AttachedReport earlier(3, FakeWindow(0x1000)), other(0, FakeWindow(0x2000));
        AppendReportLine(FakeWindow(0x1000), "Entry %05u\r\n", 7u);
        AppendReportLine(FakeWindow(0x1001), "foreign\r\n");
        AppendReportLine(nullptr, "null\r\n");  // slots without a window must not match 0
        EXPECT_EQ(earlier.lines(), Lines{"Entry 00007\r\n"});
        EXPECT_EQ(r_.text() + other.text(), "");
    }
    const struct {
        int lines;
        LONG highest_top;
    } cases[] = {{0, 0}, {17, 0}, {18, 1}, {999, 982}, {1000, 982}};  // the thousandth line is dropped
    for (const auto &c : cases) {
        SetReportTopLine(r_.report(), 5);
        ResetReport(r_.report());
        EXPECT_EQ(r_.text() + std::to_string(GetReportTopLine(r_.report())), "0");
        AppendNumbered(c.lines);
        CompleteReport(r_.report());
        EXPECT_EQ(r_.report()->nLines, c.highest_top) << c.lines << " lines";
    }
    EXPECT_EQ(r_.report()->awLineStart[999], 9990);
    EXPECT_EQ(r_.text().size(), 9990u);  // an entry past awLineStart[999] would land on szText
}

TEST_F(Report, ALineIsDroppedWholeWhenLongerThan127OrWhenItNoLongerFitsTheText) {
    AppendReportLine(r_.window(), "%s\r\n", std::string(126, 'b').c_str());
    for (int i = 0; i < 81; ++i)  // 127 characters each: 80 take 10160 bytes, the 81st does not fit
        AppendReportLine(r_.window(), "%s\r\n", std::string(125, 'w').c_str());
    ASSERT_EQ(r_.report()->nLines, 80);
    const struct {
        const char *line;
        LONG lines_after;
    } steps[] = {{"%s", 81}, {"y", 82}, {"z", 82}, {"", 83}, {"z", 83}};  // up to the last byte but the NUL
    for (const auto &s : steps) {
        AppendReportLine(r_.window(), s.line, (std::string(76, 'x') + "\r\n").c_str());
        EXPECT_EQ(r_.report()->nLines, s.lines_after) << s.line;
    }
    EXPECT_EQ(r_.report()->awLineStart[83], CB_REPORT_TEXT - 1);
    EXPECT_EQ(r_.text().back(), 'y');
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
}

// Replies made by the platform's reply builders, in a block twice the size of a reply.
class Sections : public Report {
protected:
    template <typename Header>
    Header *Reply(std::vector<std::uint8_t> bytes) {
        bytes.resize(2 * CB_STATUS_REPLY);
        reply_ = bytes;
        return reinterpret_cast<Header *>(reply_.data());
    }
    std::vector<std::uint8_t> reply_;
};

TEST_F(Sections, ErrorAndCapacitySectionsPrintEveryCounterInItsColumn) {
    ADAPTER_STATUS s{};
    std::memcpy(s.adapter_address, "\x00\xAA\x00\x12\x34\x56", 6);
    s.rev_major = 3, s.reserved0 = 0x99, s.adapter_type = 0xFE, s.rev_minor = 2, s.duration = 7;
    s.frmr_recv = 65535, s.iframe_recv_err = 1, s.xmit_aborts = 12345, s.xmit_success = 0xFFFFFFFFu;
    s.recv_success = 0x7FFFFFFF, s.iframe_xmit_err = 2, s.recv_buff_unavail = 3, s.t1_timeouts = 4;
    s.ti_timeouts = 5, s.xmit_buf_unavail = 9, s.free_ncbs = 255, s.max_cfg_ncbs = 1, s.max_ncbs = 65535;
    s.max_dgram_size = 512, s.pending_sess = 6, s.max_cfg_sess = 16, s.max_sess = 64;
    s.max_sess_pkt_size = 1470, s.reserved1 = 0xFFFFFFFF;
    FormatAdapterErrors(6, &s);
    FormatAdapterErrors(7, &s);  // a slot without a display: nothing
    FormatAdapterCapacity(6, &s);
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
    s.recv_success = 0x80000000u;
    FormatAdapterErrors(6, &s);
    EXPECT_EQ(Shown(9, 10), "Good Frame Receive Count         -2147483648|");
}

TEST_F(Sections, NameTableShowsEachNameAndZeroesTheTypeBytesOfTheEntriesThatFitInTheReplyBlock) {
    const struct {
        UCHAR type, flags;
        const char *shown;  // type, kind and state, without trailing blanks
    } cases[] = {
        {0x00, 0x00, "  Redirector Name|  Unique Name|  Name Registration in Progress"},
        {0x03, 0x84, "  User Name|  Group Name|  Name Registered"},
        {0x05, 0x05, "  Forwarded User Name|  Unique Name|  Name deregistered"},
        {0x20, 0x06, "  Server Name|  Unique Name|  Name is a duplicate"},
        {0x1B, 0x07, "  Unknown name terminator code         1B|  Unique Name|  Name is a duplicate and deregistering"},
        {0x01, 0x7B,
         "  Unknown name terminator code         01|  Unique Name|  Unknown Name status                  03"}};
    // Behind the cases, entries up to one past what fits in the reply block, and a count larger still.
    std::vector<NAME_BUFFER> names;
    for (const auto &c : cases)
        names.push_back(pt::name_buffer(pt::netbios_name("GROUP", 0, c.type), 200, c.flags));
    names.resize(MAX_NAME_ENTRIES + 1, pt::name_buffer(pt::netbios_name("X", ' ', 0x20), 1, 4));
    auto *status = Reply<ADAPTER_STATUS>(pt::adapter_status_reply({}, names));
    status->name_count = 65535;
    FormatNameTable(6, status);
    EXPECT_EQ(Shown(0, 7),
              opening + "Name Table Information                       |Name Table Entry Count                 65535|" +
                  blank + "|Name Table Entry number                00000|Name                        GROUP   |");
    ASSERT_GE(r_.lines().size(), 4 + 7 * std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::string shown;
        for (std::size_t k : {3, 5, 6}) {
            std::string line = r_.lines()[4 + 7 * i + k];
            shown += (shown.empty() ? "" : "|") + line.substr(0, line.find_last_not_of(" \r\n") + 1);
        }
        EXPECT_EQ(shown, cases[i].shown);
        EXPECT_EQ(reinterpret_cast<NAME_BUFFER *>(status + 1)[i].name[15], 0);
    }
    EXPECT_EQ(reinterpret_cast<NAME_BUFFER *>(status + 1)[MAX_NAME_ENTRIES - 1].name[15], 0);
    EXPECT_EQ(reinterpret_cast<NAME_BUFFER *>(status + 1)[MAX_NAME_ENTRIES].name[15], 0x20);
}

TEST_F(Sections, SessionSectionShowsStateNamesAndTraffic) {
    std::vector<SESSION_BUFFER> sessions = {
        pt::session_buffer(42, 3, pt::netbios_name("FIFTEEN-CHARSXY", 0, 0x00), pt::netbios_name("WXYZ", 0, 0x1B), 2,
                           255),
        pt::session_buffer(7, 9, pt::netbios_name("L", 0, 0x05), pt::netbios_name("REMOTE-FULL-15C", 0, 0x03))};
    for (UCHAR state : {1, 2, 4, 5, 6})
        sessions.push_back(pt::session_buffer(1, state, pt::netbios_name("A", 0, 0x20), pt::netbios_name("", 0, 0x20)));
    auto *header = Reply<SESSION_HEADER>(pt::session_status_reply({0, 0, 7, 255}, sessions));
    FormatSessions(6, header);
    EXPECT_EQ(Shown(0, 29),
              opening +
                  "Session Information                         |Number of sessions reported            00007|"
                  "   An Add.Name is in progress               |Number of sessions with this name      00007|"
                  "Number of Rcv.DG or Rcv.Bcast.D        00007|Number of pending Receive.Any          00255|"
                  "Session Table                               |" +
                  blank +
                  "|Session Table Entry                    00000|Local Session Number                   00042|"
                  "     Session Established                      |Local Session Name          FIFTEEN-CHARSXY   |"
                  "  Redirector Name                             |Remote Session Name         WXYZ              |"
                  "  Unknown name terminator code         1B     |Number of Receives pending             00002|"
                  "Number of Sends pending                00255|" +
                  blank +
                  "|Session Table Entry                    00001|Local Session Number                   00007|"
                  "     Unknown Session State             09     |Local Session Name          L   |"
                  "  Forwarded User Name                         |Remote Session Name         REMOTE-FULL-15C   |"
                  "  User Name                                   |Number of Receives pending             00000|"
                  "Number of Sends pending                00000|");
    std::string states;
    for (std::size_t k = 0; k < 5; ++k)
        states += Shown(32 + 10 * k, 33 + 10 * k);
    EXPECT_EQ(states,
              "     Listen Outstanding                       |     CALL pending                             |"
              "     HANG.UP pending                          |     HANG.UP completed                        |"
              "     Session Aborted                          |");
    auto *entries = reinterpret_cast<SESSION_BUFFER *>(header + 1);
    EXPECT_EQ(entries[0].local_name[15] | entries[0].remote_name[15] | entries[1].remote_name[15], 0);
}

}  // namespace
