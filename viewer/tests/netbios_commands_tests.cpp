// Start-up discovery, the slot accessors and the status commands, against the scripted NetBIOS transport.
#include <gtest/gtest.h>

#include <testing/scripted_netbios.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "netbios_commands.h"
#include "report_fixture.h"

using platform::testing::ScriptedNetbios;

namespace {

class NetbiosCommands : public ::testing::Test {
protected:
    void SetUp() override { tarvoke::testing::RestoreSlotTables(); }
    void TearDown() override { tarvoke::testing::RestoreSlotTables(); }
};

const SHORT U = -1;  // unusable

TEST_F(NetbiosCommands, DiscoveryResetsTheListedLanasBelowTwelveAndSetsEverySlot) {
    const struct {
        std::vector<std::uint8_t> listed;
        UCHAR enumeration, reset;
        std::vector<int> resets;
        std::vector<SHORT> states;
    } cases[] = {
        {{0, 1}, NRC_GOODRET, NRC_GOODRET, {0, 1}, {0, 0, U, U, U, U, U, U, U, U, U, U}},
        // The list's order is kept; numbers of 12 or more have no slot; a failed reset still counts as present.
        {{12, 11, 200, 5, 254}, NRC_GOODRET, NRC_SYSTEM, {11, 5}, {U, U, U, U, U, 0, U, U, U, U, U, 0}},
        {{}, NRC_GOODRET, NRC_GOODRET, {}, {U, U, U, U, U, U, U, U, U, U, U, U}},
        {{0, 1}, NRC_SYSTEM, NRC_GOODRET, {}, {U, U, U, U, U, U, U, 0, U, U, U, U}},  // nothing changes
    };
    for (const auto &c : cases) {
        tarvoke::testing::RestoreSlotTables();
        LanaSlots[7].nState = 0;  // a slot not listed this time is set back to -1
        ScriptedNetbios netbios;
        netbios.set_lanas(c.listed);
        netbios.set_enumeration_retcode(c.enumeration);
        for (int lana : c.resets)
            netbios.set_reset(static_cast<std::uint8_t>(lana), c.reset);

        EXPECT_EQ(DiscoverLanas(), c.enumeration);

        std::vector<SHORT> states;
        std::vector<int> resets;
        for (const LANASLOT &slot : LanaSlots)
            states.push_back(slot.nState);
        for (const auto &ncb : netbios.issued()) {
            if (ncb.command == NCBRESET)
                resets.push_back(ncb.lana);
        }
        EXPECT_EQ(states, c.states);
        EXPECT_EQ(resets, c.resets);
        EXPECT_EQ(netbios.issued().size(), 1 + c.resets.size());
    }
}

std::atomic<int> post_calls{0};
std::atomic<UCHAR> posted_retcode{0xEE};
void CALLBACK CountingPost(PNCB ncb) {
    posted_retcode = ncb->ncb_retcode;
    ++post_calls;
}

// The immediate code tells the worker whether a post routine will run; the reply lands in the caller's block.
TEST_F(NetbiosCommands, StatusCommandsAskTheRightNodeAndReportThroughThePostRoutineOnlyWhenAccepted) {
    ScriptedNetbios netbios;
    netbios.set_lanas({2});
    std::vector<std::uint8_t> bytes = platform::testing::adapter_status_reply({}, {});
    bytes[0] = 0x42;
    netbios.set_adapter_status_for(2, "FILESERVER", {NRC_GOODRET, bytes, {}});
    netbios.set_session_status(2, {NRC_CMDTMO, {}, {}});
    std::memcpy(LanaSlots[2].szRemoteName, "FILESERVER     \0\0", CB_REMOTE_NAME);
    std::memcpy(LanaSlots[5].szRemoteName, "ELSEWHERE", 10);
    std::vector<UCHAR> reply(CB_STATUS_REPLY, 0xAB);
    NCB ncb;
    const struct {
        UCHAR (*issue)(PNCB, WORD, PUCHAR, NCBPOSTPROC);
        WORD lana;
        UCHAR immediate;
        int posts;
        UCHAR posted;
    } cases[] = {{IssueAdapterStatus, 2, NRC_GOODRET, 1, NRC_GOODRET},
                 {IssueSessionStatus, 2, NRC_GOODRET, 1, NRC_CMDTMO},  // fails later: the post routine says so
                 {IssueAdapterStatus, 5, NRC_BRIDGE, 0, 0xEE},         // refused at once: no post routine
                 {IssueSessionStatus, 0x105, NRC_BRIDGE, 0, 0xEE}};    // the low byte of the number: LANA 5
    for (const auto &c : cases) {
        post_calls = 0;
        posted_retcode = 0xEE;
        std::memset(&ncb, 0xCC, sizeof ncb);
        EXPECT_EQ(c.issue(&ncb, c.lana, reply.data(), CountingPost), c.immediate);
        ASSERT_TRUE(platform::netbios::wait_until_idle(std::chrono::seconds(30)));
        EXPECT_EQ(post_calls.load(), c.posts);
        EXPECT_EQ(posted_retcode.load(), c.posted);
        EXPECT_EQ(ncb.ncb_event, nullptr);  // completion comes through the post routine only
        EXPECT_EQ(netbios.issued().back().lana, c.lana & 0xFF);
    }
    EXPECT_EQ(reply[0], 0x42);
    std::vector<platform::testing::IssuedNcb> issued = netbios.issued();
    ASSERT_EQ(issued.size(), 4u);
    EXPECT_EQ(issued[0].command, ASYNCH | NCBASTAT);
    EXPECT_EQ(issued[0].callname, platform::testing::netbios_name("FILESERVER", ' ', 0));
    EXPECT_EQ(issued[0].length, CB_STATUS_REPLY);
    EXPECT_EQ(issued[1].command, ASYNCH | NCBSSTAT);
    EXPECT_EQ(issued[1].name, platform::testing::netbios_name("*", 0));
    EXPECT_EQ(issued[2].callname, platform::testing::netbios_name("ELSEWHERE", 0));
}

TEST_F(NetbiosCommands, SlotAccessorsIgnoreNumbersBeyondTheTable) {
    LANASLOT before[MAX_LANA_SLOTS];
    std::memcpy(before, LanaSlots, sizeof before);
    SetSlotFrequency(12, 9);
    SetSlotHold(200, 1);
    SetSlotDisplayWindow(0xFFFF, tarvoke::testing::FakeWindow(1));
    EXPECT_EQ(std::memcmp(before, LanaSlots, sizeof before), 0);
    EXPECT_EQ(GetSlotFrequency(12), -1);
    EXPECT_EQ(GetSlotDisplayWindow(12), nullptr);
    EXPECT_EQ(FindSlotByDisplay(nullptr), -1);
    SetSlotDisplayWindow(11, tarvoke::testing::FakeWindow(1));
    EXPECT_EQ(FindSlotByDisplay(tarvoke::testing::FakeWindow(1)), 11);
}

}  // namespace
