// The polling worker and slot activation end to end: LANAs configured through the dialogs, replies from the
// scripted transport, reports read back from the buffer and from the screen.
#include <windows.h>
#include <nb30.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "display_guard.h"
#include "lana_worker.h"
#include "resource.h"
#include "testing/headless_display.h"
#include "testing/resource_counts.h"
#include "viewer_session.h"

namespace ui = platform::testing::ui;
using platform::testing::ScriptedReply;
using namespace tarvoke::testing;
using namespace std::chrono_literals;

namespace {

const std::string kTrailer =
    "                                             \r\n"
    "============================================\r\n"
    "=              END OF REPORT               =\r\n"
    "============================================\r\n"
    "                                             \r\n";

// An adapter whose address ends in `tag`, holding one name.
ScriptedReply AdapterReply(std::uint8_t tag, const char *name) {
    ADAPTER_STATUS status{};
    const UCHAR address[6] = {0x02, 0x00, 0x5E, 0x10, 0x20, tag};
    std::memcpy(status.adapter_address, address, sizeof address);
    status.max_sess = 64;
    return {NRC_GOODRET,
            platform::testing::adapter_status_reply(
                status, {platform::testing::name_buffer(platform::testing::netbios_name(name), 2, REGISTERED)}),
            {}};
}

ScriptedReply SessionReply() {
    SESSION_HEADER header{};
    header.sess_name = 2;
    return {NRC_GOODRET,
            platform::testing::session_status_reply(
                header, {platform::testing::session_buffer(1, 3, platform::testing::netbios_name("TESTNODE"),
                                                           platform::testing::netbios_name("PEER"))}),
            {}};
}

std::string AddressLine(std::uint8_t tag) {
    char sz[64];
    std::snprintf(sz, sizeof sz, "     02  00  5E  10  20  %02X", tag);
    return sz;
}

bool Contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

class Worker : public ViewerSession {
protected:
    // Waits until `lana` has issued `count` adapter-status commands and the report of the last is complete.
    bool WaitForCycles(int lana, std::size_t count) {
        return wait_for([&] { return AdapterStatusCount(lana) >= count; }) && netbios_.wait_until_idle() &&
               wait_for([&] { return Contains(ReportText(lana), "END OF REPORT"); });
    }
    bool StaysAt(int lana, std::size_t count, std::chrono::milliseconds grace = 1s) {
        return stays_false([&] { return AdapterStatusCount(lana) != count; }, grace);
    }
};

}  // namespace

TEST_F(Worker, ActivationThroughTheMenuShowsTheReportOfLanaZero) {
    netbios_.set_adapter_status(0, AdapterReply(0x42, "TESTNODE"));
    netbios_.set_session_status(0, SessionReply());
    Start();
    ASSERT_TRUE(Activate(0));
    HWND hwndDisplay = WaitForDisplay(0);
    ASSERT_NE(hwndDisplay, nullptr);
    ASSERT_TRUE(WaitForCycles(0, 2));

    std::string report = ReportText(0);
    for (const char *part : {"Error Information", "Name Table Information", "TESTNODE", "Capacity Information",
                             "Session Information", "PEER"})
        EXPECT_TRUE(Contains(report, part)) << part << "\n" << report;
    EXPECT_TRUE(Contains(report, AddressLine(0x42)));
    EXPECT_EQ(report.substr(report.size() - kTrailer.size()), kTrailer);
    // Its first lines are on the screen, in the display window.
    EXPECT_TRUE(wait_for([&] { return Contains(text_of(hwndDisplay), "Error Information"); })) << ui::screen_text();

    std::set<DWORD> threads;
    for (const auto &ncb : netbios_.issued()) {
        if ((ncb.command & ~ASYNCH) != NCBASTAT && (ncb.command & ~ASYNCH) != NCBSSTAT)
            continue;
        threads.insert(ncb.thread);
        EXPECT_EQ(ncb.lana, 0);
        EXPECT_NE(ncb.command & ASYNCH, 0);
        EXPECT_NE(ncb.post, nullptr);
        if ((ncb.command & ~ASYNCH) == NCBASTAT) {
            EXPECT_EQ(0, std::memcmp(ncb.callname.data(), "*              ", 15));
        }
    }
    EXPECT_EQ(threads.size(), 1u);  // the slot's worker
    EXPECT_EQ(threads.count(GetCurrentThreadId()), 0u);
}

TEST_F(Worker, OnRequestOnlyRunsTwoCyclesAtActivationThenOneForEachWake) {
    Start();
    ASSERT_TRUE(Activate(0));
    ASSERT_TRUE(WaitForCycles(0, 2));
    EXPECT_TRUE(StaysAt(0, 2));

    HWND hwndDisplay = WaitForDisplay(0);
    ui::double_click_client(hwndDisplay, {40, 40});
    EXPECT_TRUE(WaitForCycles(0, 3));
    EXPECT_TRUE(StaysAt(0, 3));

    ASSERT_TRUE(ConfigureLana(main(), 0, {}));  // a commit of the watched slot
    EXPECT_TRUE(WaitForCycles(0, 4));
    EXPECT_TRUE(StaysAt(0, 4));
}

TEST_F(Worker, NegativeFrequenciesWaitForAWakeAndNeverHoldTheDisplay) {
    EXPECT_EQ(RefreshTimeout(-1), INFINITE);
    EXPECT_EQ(RefreshTimeout(-5), INFINITE);
    EXPECT_EQ(RefreshTimeout(-32768), INFINITE);
    EXPECT_EQ(RefreshTimeout(0), 0u);
    EXPECT_EQ(RefreshTimeout(32767), 32767000u);

    Start();
    LanaSettings settings;
    settings.frequency = "-5";
    ASSERT_TRUE(Activate(0, settings));
    ASSERT_TRUE(WaitForCycles(0, 2));
    HWND hwndDisplay = WaitForDisplay(0);
    ui::click(ui::scroll_down_arrow_of(hwndDisplay));
    ASSERT_TRUE(wait_for([&] { return GetScrollPos(hwndDisplay, SB_VERT) == 1; }));
    Sync();
    EXPECT_EQ(GetSlotFrequency(0), -5);  // kept as committed
    EXPECT_EQ(GetSlotHold(0), 0);
    EXPECT_TRUE(StaysAt(0, 2));
}

TEST_F(Worker, FrequencyZeroRunsCyclesWithoutPause) {
    Start();
    LanaSettings settings;
    settings.frequency = "0";
    ASSERT_TRUE(Activate(0, settings));
    EXPECT_TRUE(WaitForCycles(0, 25));
}

TEST_F(Worker, TwoLanasHaveTwoWorkersEachFillingItsOwnReport) {
    netbios_.set_adapter_status(0, AdapterReply(0xA0, "NODEZERO"));
    netbios_.set_adapter_status(1, AdapterReply(0xA1, "NODEONE"));
    Start();
    ASSERT_TRUE(Activate(0));
    ASSERT_TRUE(Activate(1));
    ASSERT_TRUE(WaitForCycles(0, 2));
    ASSERT_TRUE(WaitForCycles(1, 2));

    std::string report0 = ReportText(0), report1 = ReportText(1);
    EXPECT_TRUE(Contains(report0, "NODEZERO") && Contains(report0, AddressLine(0xA0)));
    EXPECT_FALSE(Contains(report0, "NODEONE") || Contains(report0, AddressLine(0xA1)));
    EXPECT_TRUE(Contains(report1, "NODEONE") && Contains(report1, AddressLine(0xA1)));
    EXPECT_FALSE(Contains(report1, "NODEZERO") || Contains(report1, AddressLine(0xA0)));

    std::set<DWORD> threads[2];
    for (const auto &ncb : netbios_.issued()) {
        if ((ncb.command & ~ASYNCH) == NCBASTAT)
            threads[ncb.lana].insert(ncb.thread);
    }
    EXPECT_EQ(threads[0].size(), 1u);
    EXPECT_EQ(threads[1].size(), 1u);
    EXPECT_NE(threads[0], threads[1]);
}

TEST_F(Worker, RemoteNodeGetsNoSessionCommandAndItsNameInTheCallName) {
    netbios_.set_adapter_status_for(0, "SERVER9", AdapterReply(0x09, "SERVER9"));
    Start();
    LanaSettings settings;
    settings.name = "server9";
    ASSERT_TRUE(Activate(0, settings));
    ASSERT_TRUE(WaitForCycles(0, 2));
    EXPECT_EQ(SessionStatusCount(0), 0u);
    EXPECT_FALSE(Contains(ReportText(0), "Session Information"));
    EXPECT_TRUE(Contains(ReportText(0), AddressLine(0x09)));
    for (const auto &ncb : netbios_.issued()) {
        if ((ncb.command & ~ASYNCH) == NCBASTAT) {
            EXPECT_EQ(0, std::memcmp(ncb.callname.data(), "SERVER9        ", 15));
        }
    }
}

TEST_F(Worker, AllSectionsOffGivesTheTrailerOnlyAndNoCommand) {
    Start();
    LanaSettings settings;
    settings.errors = settings.name_table = settings.capacity = settings.sessions = false;
    ASSERT_TRUE(Activate(0, settings));
    HWND hwndDisplay = WaitForDisplay(0);
    EXPECT_TRUE(wait_for([&] { return ReportText(0) == kTrailer; })) << ReportText(0);
    EXPECT_TRUE(wait_for([&] { return Contains(text_of(hwndDisplay), "END OF REPORT"); }));
    EXPECT_EQ(AdapterStatusCount(0) + SessionStatusCount(0), 0u);
}

TEST_F(Worker, SilentRemoteNodeLeavesItsSectionsOutAndTheCycleStillEnds) {
    netbios_.set_adapter_status_for(0, "NOBODY", ScriptedReply{NRC_CMDTMO, {}, {}});
    Start();
    LanaSettings settings;
    settings.name = "nobody";
    ASSERT_TRUE(Activate(0, settings));
    HWND hwndDisplay = WaitForDisplay(0);
    ASSERT_TRUE(WaitForCycles(0, 2));
    EXPECT_EQ(ReportText(0), kTrailer);
    EXPECT_TRUE(wait_for([&] { return Contains(text_of(hwndDisplay), "END OF REPORT"); }));
}

TEST_F(Worker, CommandsRefusedAtOnceDoNotStopTheCycle) {
    Start();
    ASSERT_TRUE(Activate(0));
    ASSERT_TRUE(WaitForCycles(0, 2));
    // LANA 0 disappears: Netbios now refuses its commands before they start, so no post routine runs.
    netbios_.set_lanas({1});
    HWND hwndDisplay = WaitForDisplay(0);
    ui::double_click_client(hwndDisplay, {40, 40});
    EXPECT_TRUE(wait_for([&] { return AdapterStatusCount(0) >= 3 && SessionStatusCount(0) >= 3; }));
    EXPECT_TRUE(wait_for([&] { return ReportText(0) == kTrailer; })) << ReportText(0);
    // The worker is not stuck: it ends when told to.
    EXPECT_TRUE(Deactivate(0));
}

TEST_F(Worker, ScrollingHoldsPeriodicRefreshUntilADoubleClickOrACommit) {
    netbios_.set_adapter_status(0, AdapterReply(0x01, "HOLDME"));
    Start();
    LanaSettings settings;
    settings.frequency = "1";
    ASSERT_TRUE(Activate(0, settings));
    ASSERT_TRUE(WaitForCycles(0, 3));  // the third comes after a period
    HWND hwndDisplay = WaitForDisplay(0);

    ui::click(ui::scroll_down_arrow_of(hwndDisplay));
    ASSERT_TRUE(wait_for([&] { return GetScrollPos(hwndDisplay, SB_VERT) == 1; }));
    Sync();
    EXPECT_EQ(GetSlotHold(0), 1);
    std::size_t held_at = AdapterStatusCount(0);  // a cycle that was running when the user scrolled may end
    EXPECT_TRUE(stays_false([&] { return AdapterStatusCount(0) > held_at + 1; }, 3s));

    ui::double_click_client(hwndDisplay, {40, 40});
    EXPECT_TRUE(WaitForCycles(0, held_at + 2));

    ui::click(ui::scroll_down_arrow_of(hwndDisplay));
    ASSERT_TRUE(wait_for([&] { return GetScrollPos(hwndDisplay, SB_VERT) == 1; }));
    held_at = AdapterStatusCount(0);
    EXPECT_TRUE(stays_false([&] { return AdapterStatusCount(0) > held_at + 1; }, 3s));
    ASSERT_TRUE(ConfigureLana(main(), 0, {}));
    EXPECT_TRUE(WaitForCycles(0, held_at + 2));
}

TEST_F(Worker, DeactivationDuringACycleLetsTheCycleFinishFirst) {
    Start();
    netbios_.hold(0);  // after discovery, whose reset of LANA 0 would be held too
    ASSERT_TRUE(Activate(0));
    HWND hwndDisplay = WaitForDisplay(0);
    ASSERT_TRUE(netbios_.wait_until_held(1));

    // The commit waits for the cycle (the viewer's thread blocks on the slot's mutex), so drive it from a
    // thread of its own and let the cycle end from here.
    bool deactivated = false;
    std::thread user([&] { deactivated = Deactivate(0); });
    EXPECT_TRUE(stays_false([&] { return !IsWindow(hwndDisplay); }, 500ms));
    netbios_.release(0);
    user.join();

    EXPECT_TRUE(deactivated);
    EXPECT_FALSE(IsWindow(hwndDisplay));  // destroyed, not left hidden
    EXPECT_EQ(AdapterStatusCount(0), 1u);
    EXPECT_EQ(SessionStatusCount(0), 1u);
    EXPECT_TRUE(netbios_.wait_until_idle());
}

TEST_F(Worker, ActivatingAndDeactivatingManyTimesLeavesNothingBehind) {
    Start();
    ASSERT_TRUE(Activate(0));
    ASSERT_TRUE(WaitForCycles(0, 2));
    ASSERT_TRUE(Deactivate(0));
    ASSERT_TRUE(netbios_.wait_until_idle());
    Sync();
    const std::size_t handles = platform::testing::open_handle_count();
    const std::size_t blocks = platform::testing::live_global_block_count();
    const std::size_t windows = platform::testing::window_count();
    const std::size_t gdi_objects = platform::testing::gdi_object_count();

    for (int round = 0; round < 8; ++round) {
        LanaSettings settings;
        settings.frequency = round % 2 ? "0" : "-1";
        std::size_t before = AdapterStatusCount(0);
        ASSERT_TRUE(Activate(0, settings)) << round;
        ASSERT_TRUE(WaitForCycles(0, before + 2)) << round;
        ASSERT_TRUE(Deactivate(0)) << round;
    }
    ASSERT_TRUE(netbios_.wait_until_idle());
    Sync();
    EXPECT_EQ(platform::testing::open_handle_count(), handles);
    EXPECT_EQ(platform::testing::live_global_block_count(), blocks);
    EXPECT_EQ(platform::testing::window_count(), windows);
    EXPECT_EQ(platform::testing::gdi_object_count(), gdi_objects);
}

class ActivationFailure : public Worker, public ::testing::WithParamInterface<int> {};

// The creation that fails is the one after `GetParam()` kernel objects: the mutex, the wake event, the two
// done events, the thread.
TEST_P(ActivationFailure, ReleasesWhatWasMadeLeavesTheSlotInactiveAndTellsTheUser) {
    Start();
    Sync();
    const std::size_t handles = platform::testing::open_handle_count();
    const std::size_t blocks = platform::testing::live_global_block_count();
    const std::size_t windows = platform::testing::window_count();

    platform::testing::limit_open_handles(handles + static_cast<std::size_t>(GetParam()));
    HWND hwndConfig = OpenConfiguration(main(), 0);
    ASSERT_NE(hwndConfig, nullptr);
    SetCheckMark(hwndConfig, IDC_CONFIG_ACTIVE, true);
    ui::click(ui::center_of(GetDlgItem(hwndConfig, IDC_CONFIG_OK)));
    // The box has the selection dialog's caption and comes while both dialogs are still open.
    HWND hwndBox = nullptr;
    bool shown = wait_for([&] {
        for (HWND hwnd : ui::visible_windows()) {
            if (Contains(text_of(hwnd), "LANA 00 could not be activated.")) {
                hwndBox = hwnd;
                return true;
            }
        }
        return false;
    });
    platform::testing::limit_open_handles(SIZE_MAX);
    ASSERT_TRUE(shown) << ui::screen_text();
    EXPECT_NE(GetDlgItem(hwndBox, IDOK), nullptr);
    ui::key(VK_RETURN);
    ASSERT_TRUE(WaitForNoWindow(kLanasTitle));

    Sync();
    EXPECT_EQ(LanaSlots[0].nState, LANA_PRESENT);
    EXPECT_EQ(GetSlotDisplayWindow(0), nullptr);
    EXPECT_EQ(LanaSlots[0].hThread, nullptr);
    EXPECT_EQ(platform::testing::open_handle_count(), handles);
    EXPECT_EQ(platform::testing::live_global_block_count(), blocks);
    EXPECT_EQ(platform::testing::window_count(), windows);
    EXPECT_EQ(AdapterStatusCount(0), 0u);

    // Nothing is left half made: the next activation works.
    ASSERT_TRUE(Activate(0));
    EXPECT_TRUE(WaitForCycles(0, 2));
}

INSTANTIATE_TEST_SUITE_P(EachKernelObject, ActivationFailure, ::testing::Range(0, 5));

TEST_F(Worker, ReportBufferThatCannotBeObtainedShowsDebugAndEndsTheWorker) {
    Start();
    ASSERT_TRUE(Activate(0));
    ASSERT_TRUE(WaitForCycles(0, 2));

    // Between cycles, take the report away from the slot as no code path of the viewer does.
    Sync();
    HANDLE hMutex = LanaSlots[0].hMutex;
    ASSERT_EQ(WaitForSingleObject(hMutex, 10000), WAIT_OBJECT_0);
    LockDisplayedReports();
    HGLOBAL hmemLana = LanaSlots[0].hmemLana;
    LanaSlots[0].hmemLana = nullptr;
    UnlockDisplayedReports();
    ReleaseMutex(hMutex);
    ASSERT_TRUE(ConfigureLana(main(), 0, {}));  // the display has no report to act on; a commit wakes the worker

    HWND hwndBox = WaitForWindow("Debug");
    ASSERT_NE(hwndBox, nullptr);
    EXPECT_TRUE(Contains(text_of(hwndBox), "fLana is 0 hmemLana is 0"));
    // The mutex is free while the box waits: a commit would not hang behind it.
    ASSERT_EQ(WaitForSingleObject(hMutex, 10000), WAIT_OBJECT_0);
    ReleaseMutex(hMutex);
    ui::key(VK_RETURN);
    ASSERT_TRUE(WaitForNoWindow("Debug"));
    Sync();
    EXPECT_TRUE(wait_for([&] { return WaitForSingleObject(LanaSlots[0].hThread, 0) == WAIT_OBJECT_0; }));
    EXPECT_EQ(AdapterStatusCount(0), 2u);

    EXPECT_TRUE(Deactivate(0));
    GlobalFree(hmemLana);
}
