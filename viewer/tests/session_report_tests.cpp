// The session section, line for line, from crafted replies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "report_fixture.h"
#include "report_sections.h"

using tarvoke::testing::AttachedReport;
using tarvoke::testing::FakeWindow;
using Lines = std::vector<std::string>;

namespace {

const char blank[] = "                                             \r\n";

class SessionReportTest : public ::testing::Test {
protected:
    void SetUp() override { tarvoke::testing::RestoreSlotTables(); }
    void TearDown() override { tarvoke::testing::RestoreSlotTables(); }

    std::vector<unsigned char> reply_ = std::vector<unsigned char>(CB_STATUS_REPLY);
    SESSION_HEADER *header() { return reinterpret_cast<SESSION_HEADER *>(reply_.data()); }
    SESSION_BUFFER *entries() { return reinterpret_cast<SESSION_BUFFER *>(reply_.data() + sizeof(SESSION_HEADER)); }

    // Names are given as their 15 bytes; the 16th is the type code.
    SESSION_BUFFER &AddSession(UCHAR lsn, UCHAR state, const char *local, UCHAR local_type, const char *remote,
                               UCHAR remote_type) {
        SESSION_BUFFER &e = entries()[header()->num_sess++];
        e.lsn = lsn;
        e.state = state;
        std::memset(e.local_name, 0, NCBNAMSZ);
        std::memset(e.remote_name, 0, NCBNAMSZ);
        std::memcpy(e.local_name, local, std::strlen(local));
        std::memcpy(e.remote_name, remote, std::strlen(remote));
        e.local_name[15] = local_type;
        e.remote_name[15] = remote_type;
        return e;
    }
};

TEST_F(SessionReportTest, AnEmptyReplyWhileANameIsBeingAddedHasNineLines) {
    header()->sess_name = 0;
    header()->rcv_dg_outstanding = 7;
    header()->rcv_any_outstanding = 255;
    AttachedReport r(0, FakeWindow(0x200));

    FormatSessions(0, header());

    EXPECT_EQ(r.lines(), (Lines{
                             blank,
                             "============================================\r\n",
                             "Session Information                         \r\n",
                             "Number of sessions reported            00000\r\n",
                             "   An Add.Name is in progress               \r\n",
                             "Number of sessions with this name      00000\r\n",
                             "Number of Rcv.DG or Rcv.Bcast.D        00007\r\n",
                             "Number of pending Receive.Any          00255\r\n",
                             "Session Table                               \r\n",
                         }));
}

TEST_F(SessionReportTest, SessionEntriesShowStateNamesAndTraffic) {
    header()->sess_name = 3;
    AddSession(1, 3, "ABCD", 0x20, "WXYZ", 0x1B);
    SESSION_BUFFER &second = AddSession(42, 0, "FIFTEEN-CHARSXY", 0x00, "REMOTE-FULL-15C", 0x03);
    second.rcvs_outstanding = 2;
    second.sends_outstanding = 255;
    AddSession(7, 9, "L", 0x05, "", 0x20);
    AttachedReport r(6, FakeWindow(0x200));
    // Between them the entries use every session name-type line; each is one column wider than the name
    // table's line for the same code.

    FormatSessions(6, header());

    EXPECT_EQ(r.lines(), (Lines{
                             blank,
                             "============================================\r\n",
                             "Session Information                         \r\n",
                             "Number of sessions reported            00003\r\n",
                             "Number of sessions with this name      00003\r\n",
                             "Number of Rcv.DG or Rcv.Bcast.D        00000\r\n",
                             "Number of pending Receive.Any          00000\r\n",
                             "Session Table                               \r\n",
                             blank,
                             "Session Table Entry                    00000\r\n",
                             "Local Session Number                   00001\r\n",
                             "     Session Established                      \r\n",
                             "Local Session Name          ABCD   \r\n",
                             "  Server Name                                 \r\n",
                             "Remote Session Name         WXYZ              \r\n",
                             "  Unknown name terminator code         1B     \r\n",
                             "Number of Receives pending             00000\r\n",
                             "Number of Sends pending                00000\r\n",
                             blank,
                             "Session Table Entry                    00001\r\n",
                             "Local Session Number                   00042\r\n",
                             "     Unknown Session State             00     \r\n",
                             "Local Session Name          FIFTEEN-CHARSXY   \r\n",
                             "  Redirector Name                             \r\n",
                             "Remote Session Name         REMOTE-FULL-15C   \r\n",
                             "  User Name                                   \r\n",
                             "Number of Receives pending             00002\r\n",
                             "Number of Sends pending                00255\r\n",
                             blank,
                             "Session Table Entry                    00002\r\n",
                             "Local Session Number                   00007\r\n",
                             "     Unknown Session State             09     \r\n",
                             "Local Session Name          L   \r\n",
                             "  Forwarded User Name                         \r\n",
                             "Remote Session Name                           \r\n",
                             "  Server Name                                 \r\n",
                             "Number of Receives pending             00000\r\n",
                             "Number of Sends pending                00000\r\n",
                         }));
}

TEST_F(SessionReportTest, EveryKnownStateHasItsLine) {
    header()->sess_name = 1;
    const char *const state_lines[] = {
        "     Listen Outstanding                       \r\n", "     CALL pending                             \r\n",
        "     Session Established                      \r\n", "     HANG.UP pending                          \r\n",
        "     HANG.UP completed                        \r\n", "     Session Aborted                          \r\n",
        "     Unknown Session State             07     \r\n", "     Unknown Session State             FF     \r\n",
    };
    const UCHAR states[] = {1, 2, 3, 4, 5, 6, 7, 255};
    for (UCHAR state : states)
        AddSession(1, state, "A", 0, "B", 0);
    AttachedReport r(0, FakeWindow(0x200));

    FormatSessions(0, header());

    Lines lines = r.lines();
    ASSERT_EQ(lines.size(), 8 + 10 * std::size(states));
    for (size_t i = 0; i < std::size(states); ++i)
        EXPECT_EQ(lines[8 + 10 * i + 3], state_lines[i]) << "state " << int(states[i]);
}

TEST_F(SessionReportTest, BothSixteenthBytesOfEveryEntryAreZeroedAndNothingElseChanges) {
    header()->sess_name = 1;
    AddSession(1, 3, "LOCAL1", 0x20, "REMOTE1", 0x03);
    AddSession(2, 3, "LOCAL2", 0x1B, "REMOTE2", 0x00);
    std::vector<unsigned char> expected = reply_;
    for (size_t i = 0; i < 2; ++i) {
        size_t entry = sizeof(SESSION_HEADER) + i * sizeof(SESSION_BUFFER);
        expected[entry + offsetof(SESSION_BUFFER, local_name) + 15] = 0;
        expected[entry + offsetof(SESSION_BUFFER, remote_name) + 15] = 0;
    }
    AttachedReport r(0, FakeWindow(0x200));

    FormatSessions(0, header());

    EXPECT_EQ(reply_, expected);
    Lines lines = r.lines();
    EXPECT_EQ(lines[13], "  Server Name                                 \r\n");
    EXPECT_EQ(lines[15], "  User Name                                   \r\n");
    EXPECT_EQ(lines[23], "  Unknown name terminator code         1B     \r\n");
    EXPECT_EQ(lines[25], "  Redirector Name                             \r\n");
}

TEST_F(SessionReportTest, ACountBeyondTheReplyBlockHandlesOnlyTheEntriesThatFit) {
    // Room for more entries than a reply block holds, so that touching one beyond it shows.
    reply_.resize(2 * CB_STATUS_REPLY);
    header()->sess_name = 1;
    for (size_t i = 0; i < MAX_SESSION_ENTRIES + 2; ++i)
        AddSession(static_cast<UCHAR>(i), 3, "L", 0x20, "R", 0x20);
    header()->num_sess = 255;
    AttachedReport r(0, FakeWindow(0x200));

    FormatSessions(0, header());

    EXPECT_EQ(MAX_SESSION_ENTRIES, 56u);
    EXPECT_EQ(r.lines()[3], "Number of sessions reported            00255\r\n");
    EXPECT_EQ(entries()[MAX_SESSION_ENTRIES - 1].local_name[15], 0);
    EXPECT_EQ(entries()[MAX_SESSION_ENTRIES - 1].remote_name[15], 0);
    EXPECT_EQ(entries()[MAX_SESSION_ENTRIES].local_name[15], 0x20);
    EXPECT_EQ(entries()[MAX_SESSION_ENTRIES].remote_name[15], 0x20);
}

TEST_F(SessionReportTest, AFullSessionTableStopsAtTheEndOfTheReportText) {
    header()->sess_name = 1;
    for (size_t i = 0; i < MAX_SESSION_ENTRIES; ++i)
        AddSession(static_cast<UCHAR>(i), 3, "L", 0, "R", 0);
    AttachedReport r(0, FakeWindow(0x200));

    FormatSessions(0, header());

    // The lines that fit are whole, in order, and the text stays inside its area.
    Lines lines = r.lines();
    ASSERT_GT(lines.size(), 8u);
    ASSERT_LT(lines.size(), 8 + 10 * MAX_SESSION_ENTRIES);
    EXPECT_LE(r.text().size(), static_cast<size_t>(CB_REPORT_TEXT - 1));
    EXPECT_EQ(lines[18], "                                             \r\n");
    EXPECT_EQ(lines[19], "Session Table Entry                    00001\r\n");
    EXPECT_TRUE(r.guard_intact());
}

}  // namespace
