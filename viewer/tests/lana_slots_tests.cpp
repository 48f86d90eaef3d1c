// The slot tables' start-up values and the accessors for the fields shared without hMutex.
#include <gtest/gtest.h>

#include <cstring>

#include "report_fixture.h"

namespace {

class LanaSlotsTest : public ::testing::Test {
protected:
    void SetUp() override { tarvoke::testing::RestoreSlotTables(); }
    void TearDown() override { tarvoke::testing::RestoreSlotTables(); }
};

INT_PTR CALLBACK SomeDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

TEST_F(LanaSlotsTest, EverySlotStartsUnusableWithEverySectionAndTheLocalAdapter) {
    for (int i = 0; i < MAX_LANA_SLOTS; ++i) {
        SCOPED_TRACE(i);
        const LANASLOT &s = LanaSlots[i];
        EXPECT_EQ(s.nState, -1);
        EXPECT_EQ(s.fErrors, 1);
        EXPECT_EQ(s.fNameTable, 1);
        EXPECT_EQ(s.fCapacity, 1);
        EXPECT_EQ(s.fSessions, 1);
        EXPECT_EQ(s.nFrequency, -1);
        EXPECT_EQ(s.fHold, 0);
        EXPECT_EQ(std::memcmp(s.szRemoteName, "*\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", CB_REMOTE_NAME), 0);
        EXPECT_EQ(s.hwndDisplay, nullptr);
        EXPECT_EQ(s.hmemLana, nullptr);
        EXPECT_EQ(s.lpfnDisplay, nullptr);
        EXPECT_EQ(s.hMutex, nullptr);
        EXPECT_EQ(s.hWakeEvent, nullptr);
        EXPECT_EQ(s.hmemAstatNcb, nullptr);
        EXPECT_EQ(s.hmemAstatBuf, nullptr);
        EXPECT_EQ(s.hAstatDone, nullptr);
        EXPECT_EQ(s.hmemSstatNcb, nullptr);
        EXPECT_EQ(s.hmemSstatBuf, nullptr);
        EXPECT_EQ(s.hSstatDone, nullptr);
        EXPECT_EQ(s.hThread, nullptr);

        LANASLOT zero;
        std::memset(&zero, 0, sizeof(zero));
        EXPECT_EQ(std::memcmp(&ConfigSlots[i], &zero, sizeof(zero)), 0);
    }
}

TEST_F(LanaSlotsTest, SharedFieldAccessorsWriteTheSlotsOwnFields) {
    SetSlotFrequency(3, 5);
    SetSlotHold(3, 1);
    SetSlotDisplayProc(3, SomeDialogProc);
    SetSlotDisplayWindow(3, tarvoke::testing::FakeWindow(0x4242));
    EXPECT_EQ(LanaSlots[3].nFrequency, 5);
    EXPECT_EQ(LanaSlots[3].fHold, 1);
    EXPECT_EQ(LanaSlots[3].lpfnDisplay, SomeDialogProc);
    EXPECT_EQ(LanaSlots[3].hwndDisplay, tarvoke::testing::FakeWindow(0x4242));
    EXPECT_EQ(GetSlotFrequency(3), 5);
    EXPECT_EQ(GetSlotHold(3), 1);
    EXPECT_EQ(GetSlotDisplayProc(3), SomeDialogProc);
    EXPECT_EQ(FindSlotByDisplay(tarvoke::testing::FakeWindow(0x4242)), 3);
    // Neighbours untouched.
    EXPECT_EQ(LanaSlots[2].nFrequency, -1);
    EXPECT_EQ(LanaSlots[4].fHold, 0);

    SetSlotFrequency(3, -1);
    SetSlotDisplayProc(3, nullptr);
    EXPECT_EQ(GetSlotFrequency(3), -1);
    EXPECT_EQ(GetSlotDisplayProc(3), nullptr);
}

TEST_F(LanaSlotsTest, ALanaNumberBeyondTheTableTouchesNothing) {
    LANASLOT before[MAX_LANA_SLOTS];
    std::memcpy(before, LanaSlots, sizeof(before));
    SetSlotFrequency(12, 9);
    SetSlotHold(200, 1);
    SetSlotDisplayProc(12, SomeDialogProc);
    SetSlotDisplayWindow(0xFFFF, tarvoke::testing::FakeWindow(1));
    EXPECT_EQ(std::memcmp(before, LanaSlots, sizeof(before)), 0);
    EXPECT_EQ(GetSlotHold(12), 0);
    EXPECT_EQ(GetSlotDisplayProc(12), nullptr);
    EXPECT_EQ(GetSlotDisplayWindow(12), nullptr);
    EXPECT_EQ(FindSlotByDisplay(nullptr), -1);
}

}  // namespace
