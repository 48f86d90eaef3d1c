// The polling worker and slot activation end to end: LANAs configured through the dialogs, replies from the
// scripted transport, reports read back from the buffer and from the screen.
#include <windows.h>
#include <nb30.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "display_guard.h"
#include "lana_worker.h"
#include "resource.h"
#include "testing/headless_display.h"
#include "testing/resource_counts.h"
#include "viewer_harness.h"

namespace ui = platform::testing::ui;
namespace pt = platform::testing;
using namespace tarvoke::testing;

namespace {

const std::string kTrailer =
    "                                             \r\n============================================\r\n"
    "=              END OF REPORT               =\r\n============================================\r\n"
    "                                             \r\n";

// An adapter whose address ends in `tag`, holding one name.
pt::ScriptedReply AdapterReply(std::uint8_t tag, const char *name) {
    ADAPTER_STATUS status{};
    const UCHAR address[6] = {0x02, 0x00, 0x5E, 0x10, 0x20, tag};
    std::memcpy(status.adapter_address, address, sizeof address);
    return {NRC_GOODRET, pt::adapter_status_reply(status, {pt::name_buffer(pt::netbios_name(name), 2, REGISTERED)})};
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
    // A round trip through the viewer's dialogs: a worker that polls when it should not has run cycles by then.
    void UseTheDialogs() {
        HWND hwndLanas = OpenSelection(main());
        ASSERT_NE(hwndLanas, nullptr);
        ui::click(ui::center_of(GetDlgItem(hwndLanas, IDC_LANAS_CANCEL)));
        ASSERT_TRUE(WaitForNoWindow(kLanasTitle));
        ASSERT_TRUE(netbios_.wait_until_idle());
    }
    std::size_t Commands() const { return AdapterStatusCount(0) + SessionStatusCount(0); }
};

}  // namespace

TEST_F(Worker, EachLanaHasItsWorkerAndReportAndRemoteNodesGetNoSessionCommand) {
    netbios_.set_adapter_status(0, AdapterReply(0xA0, "NODEZERO"));
    netbios_.set_adapter_status_for(1, "SERVER9", AdapterReply(0xA1, "NODEONE"));
    SESSION_HEADER header{};
    header.sess_name = 2;
    netbios_.set_session_status(
        0, {NRC_GOODRET, pt::session_status_reply(header, {pt::session_buffer(1, 3, pt::netbios_name("NODEZERO"),
                                                                              pt::netbios_name("PEER"))})});
    Start();
    ASSERT_TRUE(Activate(0));
    LanaSettings remote;
    remote.name = "server9";
    ASSERT_TRUE(Activate(1, remote));
    ASSERT_TRUE(WaitForCycles(0, 2) && WaitForCycles(1, 2));

    std::string report0 = ReportText(0), report1 = ReportText(1);
    for (const char *part : {"Error Information", "Name Table Information", "NODEZERO", "Capacity Information",
                             "     02  00  5E  10  20  A0", "Session Information", "PEER"})
        EXPECT_TRUE(Contains(report0, part)) << part << "\n" << report0;
    EXPECT_EQ(report0.substr(report0.size() - kTrailer.size()), kTrailer);
    EXPECT_TRUE(Contains(report1, "NODEONE") && !Contains(report1, "NODEZERO") &&
                !Contains(report1, "Session Information"));
    EXPECT_EQ(SessionStatusCount(1), 0u);
    EXPECT_TRUE(wait_for([&] { return Contains(text_of(WaitForLanaDisplay(0)), "Error Information"); }));
    std::set<DWORD> threads[2];
    for (const auto &ncb : netbios_.issued()) {
        if (ncb.command != NCBRESET && ncb.command != NCBENUM) {
            threads[ncb.lana].insert(ncb.thread);
            EXPECT_TRUE((ncb.command & ASYNCH) && ncb.post != nullptr);
        }
        EXPECT_TRUE(ncb.command != (ASYNCH | NCBASTAT) ||
                    ncb.callname == pt::netbios_name(ncb.lana ? "SERVER9" : "*", ' ', 0));
    }
    EXPECT_TRUE(threads[0].size() == 1 && threads[1].size() == 1 && threads[0] != threads[1]);
    EXPECT_EQ(threads[0].count(GetCurrentThreadId()), 0u);
}

TEST_F(Worker, OnRequestOnlyRunsTwoCyclesAtActivationThenOneForEachWake) {
    EXPECT_EQ(RefreshTimeout(-32768), INFINITE);
    EXPECT_EQ(RefreshTimeout(0), 0u);
    EXPECT_EQ(RefreshTimeout(32767), 32767000u);
    Start();
    LanaSettings settings;
    settings.frequency = "-5";
    ASSERT_TRUE(Activate(0, settings));
    ASSERT_TRUE(WaitForCycles(0, 2));
    HWND hwndDisplay = WaitForLanaDisplay(0);
    ui::click(ui::scroll_down_arrow_of(hwndDisplay));  // scrolling holds nothing and wakes nothing
    ASSERT_TRUE(wait_for([&] { return GetScrollPos(hwndDisplay, SB_VERT) == 1; }));
    UseTheDialogs();
    EXPECT_EQ(AdapterStatusCount(0), 2u);
    EXPECT_EQ(GetSlotHold(0), 0);

    ui::double_click_client(hwndDisplay, {40, 40});
    EXPECT_TRUE(WaitForCycles(0, 3));
    ASSERT_TRUE(ConfigureLana(main(), 0, {}));  // a commit of the watched slot
    EXPECT_TRUE(WaitForCycles(0, 4));
    UseTheDialogs();
    EXPECT_EQ(AdapterStatusCount(0), 4u);
    EXPECT_EQ(GetSlotFrequency(0), -5);  // kept as committed
}

TEST_F(Worker, ScrollingHoldsPollingWithoutPauseUntilADoubleClickOrACommit) {
    Start();
    LanaSettings settings;
    settings.frequency = "0";
    ASSERT_TRUE(Activate(0, settings));
    ASSERT_TRUE(WaitForCycles(0, 25));
    HWND hwndDisplay = WaitForLanaDisplay(0);
    for (int release = 0; release < 2; ++release) {
        SendMessageA(hwndDisplay, WM_VSCROLL, SB_LINEDOWN, 0);
        ASSERT_EQ(GetSlotHold(0), 1);
        ASSERT_TRUE(netbios_.wait_until_idle());
        std::size_t held_at = AdapterStatusCount(0);  // a cycle that began as the user scrolled may still end
        UseTheDialogs();
        EXPECT_LE(AdapterStatusCount(0), held_at + 1);
        if (release == 0)
            ui::double_click_client(hwndDisplay, {40, 40});
        else
            ASSERT_TRUE(ConfigureLana(main(), 0, {}));
        EXPECT_TRUE(WaitForCycles(0, held_at + 10));
    }
}

TEST_F(Worker, CyclesEndWithTheTrailerWhenNoSectionIsChosenOrTheCommandsFail) {
    netbios_.set_adapter_status_for(1, "NOBODY", pt::ScriptedReply{NRC_CMDTMO, {}, {}});
    Start();
    LanaSettings none;
    none.errors = none.name_table = none.capacity = none.sessions = false;
    ASSERT_TRUE(Activate(0, none));
    LanaSettings silent;
    silent.name = "nobody";
    ASSERT_TRUE(Activate(1, silent));
    EXPECT_TRUE(WaitForCycles(1, 2));
    EXPECT_EQ(ReportText(1), kTrailer);
    EXPECT_TRUE(wait_for([&] { return ReportText(0) == kTrailer; })) << ReportText(0);
    EXPECT_TRUE(wait_for([&] { return Contains(text_of(WaitForLanaDisplay(0)), "END OF REPORT"); }));
    EXPECT_EQ(Commands(), 0u);
    // LANA 1 disappears: Netbios now refuses its commands at once, and no post routine will run.
    netbios_.set_lanas({0});
    ASSERT_TRUE(ConfigureLana(main(), 1, {.name = "*"}));
    EXPECT_TRUE(wait_for([&] { return AdapterStatusCount(1) >= 3 && SessionStatusCount(1) >= 1; }));
    EXPECT_TRUE(wait_for([&] { return ReportText(1) == kTrailer; })) << ReportText(1);
}

TEST_F(Worker, DeactivationDuringACycleLetsTheCycleFinishFirst) {
    Start();
    netbios_.hold(0);  // after discovery, whose reset of LANA 0 would be held too
    ASSERT_TRUE(Activate(0));
    HWND hwndDisplay = WaitForLanaDisplay(0);
    ASSERT_TRUE(netbios_.wait_until_held(1));
    // The commit waits for the cycle (the viewer's thread blocks on the slot's mutex), so it is driven from a
    // thread of its own and the cycle ends from here once the configuration dialog has gone.
    bool deactivated = false;
    std::thread user([&] {
        LanaSettings off;
        off.active = false;
        deactivated = ConfigureLana(main(), 0, off);
    });
    ASSERT_NE(WaitForWindow("LANA 00", IDC_CONFIG_OK), nullptr);
    EXPECT_TRUE(IsWindow(hwndDisplay));
    netbios_.release(0);
    user.join();
    EXPECT_TRUE(deactivated);
    Sync();
    EXPECT_FALSE(IsWindow(hwndDisplay));  // destroyed, not left hidden
    EXPECT_EQ(LanaSlots[0].hThread, nullptr);
    EXPECT_EQ(AdapterStatusCount(0), SessionStatusCount(0));  // every cycle ran to its end
}

class ActivationFailure : public Worker, public ::testing::WithParamInterface<int> {};

// The creation that fails is the one after `GetParam()` kernel objects: the mutex, the wake event, the two
// done events, the thread.
TEST_P(ActivationFailure, ReleasesWhatWasMadeLeavesTheSlotInactiveAndTellsTheUser) {
    Start();
    const std::size_t handles = pt::open_handle_count(), blocks = pt::live_global_block_count();
    const std::size_t windows = pt::window_count();
    pt::limit_open_handles(handles + static_cast<std::size_t>(GetParam()));
    LanaSettings on;
    on.active = true;
    HWND hwndConfig = OpenConfiguration(main(), 0);
    ASSERT_NE(hwndConfig, nullptr);
    EnterSettings(hwndConfig, on);
    ui::click(ui::center_of(GetDlgItem(hwndConfig, IDC_CONFIG_OK)));
    // The box has the selection dialog's caption and comes while both dialogs are still open.
    HWND hwndBox = nullptr;
    bool shown = wait_for([&] {
        for (HWND hwnd : ui::visible_windows()) {
            if (Contains(text_of(hwnd), "LANA 00 could not be activated."))
                return (hwndBox = hwnd) != nullptr;
        }
        return false;
    });
    pt::limit_open_handles(SIZE_MAX);
    ASSERT_TRUE(shown) << ui::screen_text();
    EXPECT_NE(GetDlgItem(hwndBox, IDOK), nullptr);
    ui::key(VK_RETURN);
    ASSERT_TRUE(WaitForNoWindow(kLanasTitle));
    Sync();
    EXPECT_EQ(LanaSlots[0].nState, LANA_PRESENT);
    EXPECT_TRUE(GetSlotDisplayWindow(0) == nullptr && LanaSlots[0].hThread == nullptr);
    EXPECT_EQ(pt::open_handle_count(), handles);
    EXPECT_EQ(pt::live_global_block_count(), blocks);
    EXPECT_EQ(pt::window_count(), windows);
    EXPECT_EQ(Commands(), 0u);
    ASSERT_TRUE(Activate(0));  // nothing is left half made: the next activation works
    EXPECT_TRUE(WaitForCycles(0, 2));
}

INSTANTIATE_TEST_SUITE_P(EachKernelObject, ActivationFailure, ::testing::Range(0, 5));

TEST_F(Worker, AReportBufferThatCannotBeObtainedShowsDebugAndEndsTheWorker) {
    Start();
    ASSERT_TRUE(Activate(0));
    ASSERT_TRUE(WaitForCycles(0, 2));
    // Between cycles, take the report away from the slot as no code path of the viewer does.
    Sync();
    HANDLE hMutex = LanaSlots[0].hMutex;
    ASSERT_EQ(WaitForSingleObject(hMutex, INFINITE), WAIT_OBJECT_0);
    LockDisplayedReports();
    HGLOBAL hmemLana = LanaSlots[0].hmemLana;
    LanaSlots[0].hmemLana = nullptr;
    UnlockDisplayedReports();
    ReleaseMutex(hMutex);
    ASSERT_TRUE(ConfigureLana(main(), 0, {}));  // a commit wakes the worker
    HWND hwndBox = WaitForWindow("Debug");
    ASSERT_NE(hwndBox, nullptr);
    EXPECT_TRUE(Contains(text_of(hwndBox), "fLana is 0 hmemLana is 0"));
    ASSERT_EQ(WaitForSingleObject(hMutex, 0), WAIT_OBJECT_0);  // free while the box waits: no commit hangs
    ReleaseMutex(hMutex);
    ui::key(VK_RETURN);
    ASSERT_TRUE(WaitForNoWindow("Debug"));
    Sync();
    EXPECT_EQ(WaitForSingleObject(LanaSlots[0].hThread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(AdapterStatusCount(0), 2u);
    LanaSettings off;
    off.active = false;
    EXPECT_TRUE(ConfigureLana(main(), 0, off));
    GlobalFree(hmemLana);
}

// Twelve LANAs polled without pause while the user scrolls their displays and commits new settings: no race,
// no deadlock, every worker ends when its LANA is switched off, and nothing is left behind.
TEST_F(Worker, TwelveLanasPollingWithoutPauseUnderScrollingAndCommitsAllEndAndLeaveNothing) {
    netbios_.set_lanas({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    Start();
    const std::size_t handles = pt::open_handle_count(), blocks = pt::live_global_block_count();
    const std::size_t windows = pt::window_count(), gdi_objects = pt::gdi_object_count();
    HWND displays[MAX_LANA_SLOTS];
    for (int lana = 0; lana < MAX_LANA_SLOTS; ++lana) {
        LanaSettings settings;
        settings.frequency = "0";
        ASSERT_TRUE(Activate(lana, settings)) << lana;
        displays[lana] = WaitForLanaDisplay(lana);
    }
    for (int step = 0; step < 24; ++step) {
        int lana = step % MAX_LANA_SLOTS;
        ui::click(ui::scroll_down_arrow_of(displays[lana]));
        if (step % 3 == 0)
            ui::double_click_client(displays[lana], {30, 30});
        if (step % 4 == 0) {  // a commit waits for the running cycle and changes what the next one reports
            LanaSettings settings;
            settings.sessions = step % 8 == 0;
            ASSERT_TRUE(ConfigureLana(main(), lana, settings)) << step;
        }
    }
    for (int lana = 0; lana < MAX_LANA_SLOTS; ++lana) {  // a double-click releases any hold: all still cycle
        std::size_t before = AdapterStatusCount(lana);
        ui::double_click_client(displays[lana], {30, 30});
        EXPECT_TRUE(wait_for([&] { return AdapterStatusCount(lana) > before + 2; })) << lana;
    }
    DeactivateWatchedLanas(main());
    ASSERT_TRUE(netbios_.wait_until_idle());
    Sync();
    for (HWND hwnd : displays)
        EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(pt::open_handle_count(), handles);
    EXPECT_EQ(pt::live_global_block_count(), blocks);
    EXPECT_EQ(pt::window_count(), windows);
    EXPECT_EQ(pt::gdi_object_count(), gdi_objects);
}
