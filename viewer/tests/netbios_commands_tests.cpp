// Start-up discovery against the scripted NetBIOS transport, and the slot accessors.

#include "netbios_commands.h"
#include "viewer_harness.h"

using platform::testing::ScriptedNetbios;

namespace {

const SHORT U = -1;  // unusable

TEST(NetbiosCommands, DiscoveryResetsTheListedLanasBelowTwelveAndSetsEverySlot) {
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
    tarvoke::testing::RestoreSlotTables();
}

}  // namespace
