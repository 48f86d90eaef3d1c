// The adapter-status sections, line for line, from crafted replies.
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
const char rule[] = "============================================\r\n";

class AdapterReportTest : public ::testing::Test {
protected:
    void SetUp() override { tarvoke::testing::RestoreSlotTables(); }
    void TearDown() override { tarvoke::testing::RestoreSlotTables(); }

    // A whole reply block, as the adapter-status command leaves it.
    std::vector<unsigned char> reply_ = std::vector<unsigned char>(CB_STATUS_REPLY);
    ADAPTER_STATUS *status() { return reinterpret_cast<ADAPTER_STATUS *>(reply_.data()); }
    NAME_BUFFER *names() { return reinterpret_cast<NAME_BUFFER *>(reply_.data() + sizeof(ADAPTER_STATUS)); }

    void AddName(const char *text, size_t length, UCHAR type, UCHAR number, UCHAR flags) {
        NAME_BUFFER &n = names()[status()->name_count++];
        std::memset(n.name, ' ', NCBNAMSZ);
        std::memcpy(n.name, text, length);
        n.name[15] = type;
        n.name_num = number;
        n.name_flags = flags;
    }
};

TEST_F(AdapterReportTest, ErrorSectionPrintsSixteenBitCountersZeroFilledAndThirtyTwoBitOnesSigned) {
    ADAPTER_STATUS *s = status();
    s->duration = 7;
    s->frmr_recv = 65535;
    s->frmr_xmit = 0;
    s->iframe_recv_err = 1;
    s->xmit_aborts = 12345;
    s->xmit_success = 0xFFFFFFFFu;
    s->recv_success = 0x80000000u;
    s->iframe_xmit_err = 2;
    s->recv_buff_unavail = 3;
    s->t1_timeouts = 4;
    s->ti_timeouts = 5;
    AttachedReport r(0, FakeWindow(0x100));

    FormatAdapterErrors(0, s);

    EXPECT_EQ(r.lines(), (Lines{
                             blank,
                             rule,
                             "Error Information                           \r\n",
                             "Reporting Period in Minutes            00007\r\n",
                             "Frame Reject Receive Count             65535\r\n",
                             "Frame Reject Transmit Count            00000\r\n",
                             "I-Frame Receive Error Count            00001\r\n",
                             "Transmit Abort Count                   12345\r\n",
                             "Good Frame Transmit Count        -0000000001\r\n",
                             "Good Frame Receive Count         -2147483648\r\n",
                             "I-Frame Retransmission Count           00002\r\n",
                             "Lost Frames Count (out of SAP)         00003\r\n",
                             "Expire T1 Timer Count                  00004\r\n",
                             "Expire TI Timer Count                  00005\r\n",
                         }));
}

TEST_F(AdapterReportTest, PositiveThirtyTwoBitCountersFillElevenColumns) {
    status()->xmit_success = 123;
    status()->recv_success = 0x7FFFFFFF;
    AttachedReport r(0, FakeWindow(0x100));
    FormatAdapterErrors(0, status());
    Lines lines = r.lines();
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[8], "Good Frame Transmit Count        00000000123\r\n");
    EXPECT_EQ(lines[9], "Good Frame Receive Count         02147483647\r\n");
}

TEST_F(AdapterReportTest, CapacitySectionShowsTheAddressAndTakesMinorVersionAndTypeFromTheirOwnBytes) {
    ADAPTER_STATUS *s = status();
    const UCHAR address[6] = {0x00, 0xAA, 0x00, 0x12, 0x34, 0x56};
    std::memcpy(s->adapter_address, address, 6);
    s->rev_major = 3;
    s->reserved0 = 0x99;
    s->adapter_type = 0xFE;
    s->rev_minor = 2;
    s->free_ncbs = 255;
    s->max_cfg_ncbs = 1;
    s->max_ncbs = 65535;
    s->xmit_buf_unavail = 9;
    s->max_dgram_size = 512;
    s->pending_sess = 0;
    s->max_cfg_sess = 16;
    s->max_sess = 64;
    s->max_sess_pkt_size = 1470;
    s->reserved1 = 0xFFFFFFFF;
    AttachedReport r(11, FakeWindow(0x100));

    FormatAdapterCapacity(11, s);

    EXPECT_EQ(r.lines(), (Lines{
                             blank,
                             rule,
                             "Capacity Information                        \r\n",
                             "Permanent Node Name                         \r\n",
                             "     00  AA  00  12  34  56                  \r\n",
                             "Major Version Number                   00003\r\n",
                             "Minor Version Number                   00002\r\n",
                             "Adapter Type                           FE   \r\n",
                             "Free Command Blocks                    00255\r\n",
                             "Current Maximum Pending NCBs           00001\r\n",
                             "Maximum Number of NCBs                 65535\r\n",
                             "Local Station Busy Count               00009\r\n",
                             "Maximum DataGram Packet Size           00512\r\n",
                             "Pending Session Count                  00000\r\n",
                             "Maximum Pending Session Count          00016\r\n",
                             "Maximum Sessions                       00064\r\n",
                             "Maximum Session Packet Size            01470\r\n",
                         }));
}

TEST_F(AdapterReportTest, AnAdapterWithoutNamesHasFourNameTableLines) {
    AttachedReport r(0, FakeWindow(0x100));
    FormatNameTable(0, status());
    EXPECT_EQ(r.lines(), (Lines{
                             blank,
                             rule,
                             "Name Table Information                       \r\n",
                             "Name Table Entry Count                 00000\r\n",
                         }));
}

TEST_F(AdapterReportTest, NameEntriesShowNameTypeKindAndState) {
    AddName("WORKSTATION", 11, 0x00, 1, 0x04);
    AddName("GROUP\0JUNK", 10, 0x1B, 2, 0x84);  // a zero byte ends the name early
    AddName("SERVER", 6, 0x20, 255, 0x02);
    AttachedReport r(0, FakeWindow(0x100));

    FormatNameTable(0, status());

    EXPECT_EQ(r.lines(), (Lines{
                             blank,
                             rule,
                             "Name Table Information                       \r\n",
                             "Name Table Entry Count                 00003\r\n",
                             blank,
                             "Name Table Entry number                00000\r\n",
                             "Name                        WORKSTATION       \r\n",
                             "  Redirector Name                            \r\n",
                             "Name Number                            00001\r\n",
                             "  Unique Name                                \r\n",
                             "  Name Registered                            \r\n",
                             blank,
                             "Name Table Entry number                00001\r\n",
                             "Name                        GROUP   \r\n",
                             "  Unknown name terminator code         1B    \r\n",
                             "Name Number                            00002\r\n",
                             "  Group Name                                 \r\n",
                             "  Name Registered                            \r\n",
                             blank,
                             "Name Table Entry number                00002\r\n",
                             "Name                        SERVER            \r\n",
                             "  Server Name                                \r\n",
                             "Name Number                            00255\r\n",
                             "  Unique Name                                \r\n",
                             "  Unknown Name status                  02    \r\n",
                         }));
    // The unknown code sits in columns 40 and 41.
    EXPECT_EQ(r.lines()[14].substr(39, 2), "1B");
}

TEST_F(AdapterReportTest, EveryTypeCodeAndNameStateHasItsLine) {
    const struct {
        UCHAR type;
        UCHAR flags;
        const char *type_line;
        const char *state_line;
    } cases[] = {
        {0x00, 0x00, "  Redirector Name                            \r\n",
         "  Name Registration in Progress              \r\n"},
        {0x03, 0x01, "  User Name                                  \r\n",
         "  Unknown Name status                  01    \r\n"},
        {0x05, 0x03, "  Forwarded User Name                        \r\n",
         "  Unknown Name status                  03    \r\n"},
        {0x20, 0x05, "  Server Name                                \r\n",
         "  Name deregistered                          \r\n"},
        {0xFF, 0x06, "  Unknown name terminator code         FF    \r\n",
         "  Name is a duplicate                        \r\n"},
        {0x01, 0x07, "  Unknown name terminator code         01    \r\n",
         "  Name is a duplicate and deregistering      \r\n"},
        // Bits 0x08 to 0x40 are not shown: unique and registered.
        {0x20, 0x7C, "  Server Name                                \r\n",
         "  Name Registered                            \r\n"},
    };
    for (const auto &c : cases)
        AddName("N", 1, c.type, 0, c.flags);
    AttachedReport r(0, FakeWindow(0x100));

    FormatNameTable(0, status());

    Lines lines = r.lines();
    ASSERT_EQ(lines.size(), 4 + 7 * std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[4 + 7 * i + 3], cases[i].type_line);
        EXPECT_EQ(lines[4 + 7 * i + 5], "  Unique Name                                \r\n");
        EXPECT_EQ(lines[4 + 7 * i + 6], cases[i].state_line);
    }
}

TEST_F(AdapterReportTest, TheSixteenthByteOfEveryNameIsZeroedInTheReplyAfterItsTypeWasTaken) {
    AddName("ALPHA", 5, 0x20, 1, 0x04);
    AddName("BRAVO", 5, 0x03, 2, 0x04);
    const std::vector<unsigned char> before = reply_;
    AttachedReport r(0, FakeWindow(0x100));

    FormatNameTable(0, status());

    Lines lines = r.lines();
    EXPECT_EQ(lines[7], "  Server Name                                \r\n");
    EXPECT_EQ(lines[14], "  User Name                                  \r\n");
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(names()[i].name[15], 0);
    // Nothing else in the reply changed.
    std::vector<unsigned char> expected = before;
    expected[sizeof(ADAPTER_STATUS) + 15] = 0;
    expected[sizeof(ADAPTER_STATUS) + sizeof(NAME_BUFFER) + 15] = 0;
    EXPECT_EQ(reply_, expected);
}

TEST_F(AdapterReportTest, ACountBeyondTheReplyBlockHandlesOnlyTheEntriesThatFit) {
    // Room for more entries than a reply block holds, so that touching one beyond it shows.
    reply_.resize(2 * CB_STATUS_REPLY);
    for (size_t i = 0; i < MAX_NAME_ENTRIES + 2; ++i)
        AddName("X", 1, 0x20, static_cast<UCHAR>(i), 0x04);
    status()->name_count = 65535;
    AttachedReport r(0, FakeWindow(0x100));

    FormatNameTable(0, status());

    EXPECT_EQ(MAX_NAME_ENTRIES, 110u);
    EXPECT_EQ(r.lines()[3], "Name Table Entry Count                 65535\r\n");
    EXPECT_EQ(names()[MAX_NAME_ENTRIES - 1].name[15], 0);
    EXPECT_EQ(names()[MAX_NAME_ENTRIES].name[15], 0x20);
}

TEST_F(AdapterReportTest, SectionsOfASlotWithoutDisplayWriteNothing) {
    AttachedReport other(1, FakeWindow(0x100));
    FormatAdapterErrors(0, status());
    FormatAdapterCapacity(0, status());
    FormatNameTable(0, status());
    EXPECT_TRUE(other.lines().empty());
}

}  // namespace
