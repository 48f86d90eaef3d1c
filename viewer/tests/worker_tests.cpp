// The polling worker and slot activation end to end: LANAs configured through the dialogs, replies from the
// scripted transport, reports read back from the buffer and from the screen.

#include "lana_worker.h"
#include "netbios_commands.h"
#include "resource.h"
#include "testing/resource_counts.h"
#include "viewer_harness.h"

namespace ui = platform::testing::ui;
namespace pt = platform::testing;
using namespace tarvoke::testing;
using namespace std::chrono_literals;

namespace {

class Worker : public ViewerSession {
protected:
    // Waits until `lana` has issued `count` adapter-status commands and the report of the last is complete.
    bool WaitForCycles(int lana, std::size_t count) {
        return wait_for([&] { return Issued(lana, NCBASTAT) >= count; }) && netbios_.wait_until_idle() &&
               wait_for([&] { return Contains(ReportText(lana), "END OF REPORT"); });
    }
    // A round trip through the viewer's dialogs: a worker that polls when it must not has run cycles by then.
    void UseTheDialogs() {
        ChooseMenuItem(main(), 'a');
        ASSERT_NE(WaitForWindow("About", IDC_ABOUT_OK), nullptr);
        ui::key(VK_RETURN);
        ASSERT_TRUE(WaitForNoWindow("About") && netbios_.wait_until_idle());
    }
    static std::vector<std::size_t> Resources() {
        return {pt::open_handle_count(), pt::live_global_block_count(), pt::window_count(), pt::gdi_object_count()};
    }
    const std::string rule_ = std::string(44, '=') + "\r\n", blank_ = std::string(45, ' ') + "\r\n";
    const std::string trailer_ = blank_ + rule_ + "=              END OF REPORT               =\r\n" + rule_ + blank_;
};

}  // namespace

// LANA 2 chooses no section and LANA 3's command fails: their cycles report the trailer alone.
TEST_F(Worker, EachLanaHasItsWorkerAndReportAndARemoteNodeGetsNoSessionCommand) {
    netbios_.set_lanas({0, 1, 2, 3});
    netbios_.set_adapter_status(
        0, {NRC_GOODRET, pt::adapter_status_reply({}, {pt::name_buffer(pt::netbios_name("NODEZERO"), 2, 4)})});
    netbios_.set_adapter_status_for(
        1, "SERVER9",
        {NRC_GOODRET, pt::adapter_status_reply({}, {pt::name_buffer(pt::netbios_name("NODEONE"), 2, 4)})});
    netbios_.set_session_status(
        0, {NRC_GOODRET, pt::session_status_reply({2, 0, 0, 0}, {pt::session_buffer(1, 3, pt::netbios_name("NODEZERO"),
                                                                                    pt::netbios_name("PEER"))})});
    netbios_.set_adapter_status_for(3, "NOBODY", {NRC_CMDTMO, {}, {}});
    Start();
    ASSERT_TRUE(Activate(0) && Activate(1, {.name = "server9"}) && Activate(3, {.name = "nobody"}));
    ASSERT_TRUE(Activate(2, {.errors = false, .name_table = false, .capacity = false, .sessions = false}));
    ASSERT_TRUE(WaitForCycles(0, 2) && WaitForCycles(1, 2) && WaitForCycles(3, 2));
    std::string report0 = ReportText(0), report1 = ReportText(1);
    for (const char *part : {"Error Information", "NODEZERO", "Capacity Information", "Session Information", "PEER"})
        EXPECT_TRUE(Contains(report0, part)) << part << "\n" << report0;
    EXPECT_EQ(report0.substr(report0.size() - trailer_.size()), trailer_);
    EXPECT_TRUE(Contains(report1, "NODEONE") && !Contains(report1, "NODEZERO") && !Contains(report1, "Session Inf"));
    EXPECT_EQ(Issued(1, NCBSSTAT) + Issued(3, NCBSSTAT), 0u);
    EXPECT_EQ(ReportText(3), trailer_);
    EXPECT_TRUE(wait_for([&] { return ReportText(2) == trailer_; })) << ReportText(2);
    EXPECT_EQ(Issued(2, NCBASTAT) + Issued(2, NCBSSTAT), 0u);
    EXPECT_TRUE(wait_for([&] { return Contains(text_of(WaitForLanaDisplay(0)), "Error Information"); }));
    EXPECT_TRUE(wait_for([&] { return Contains(text_of(WaitForLanaDisplay(2)), "END OF REPORT"); }));
    const char *const callnames[] = {"*", "SERVER9", "", "NOBODY"};
    for (const auto &ncb : netbios_.issued()) {
        EXPECT_TRUE(ncb.command != (ASYNCH | NCBASTAT) ||
                    ncb.callname == pt::netbios_name(callnames[ncb.lana], ' ', 0));
        EXPECT_TRUE(ncb.command != (ASYNCH | NCBSSTAT) || ncb.name == pt::netbios_name("*", 0));
        EXPECT_TRUE(!(ncb.command & ASYNCH) || (ncb.post && ncb.length == CB_STATUS_REPLY && !ncb.event));
    }
}

// LANA 0 refreshes on request only: two cycles at activation, then one for each wake. LANA 1 polls without
// pause until scrolling holds it. A double-click or a commit wakes a worker and releases its hold.
TEST_F(Worker, OnRequestOnlyOrHeldPollingRunsOnlyTheCyclesThatAWakeAsksFor) {
    EXPECT_EQ(RefreshTimeout(-32768), INFINITE);
    EXPECT_EQ(RefreshTimeout(32767), 32767000u);
    Start();
    ASSERT_TRUE(Activate(0, {.frequency = "-5"}) && Activate(1, {.frequency = "0"}));
    ASSERT_TRUE(WaitForCycles(0, 2) && WaitForCycles(1, 25));
    RECT rc;  // side by side, so that a double-click reaches either display
    GetWindowRect(WaitForLanaDisplay(1), &rc);
    MoveWindow(WaitForLanaDisplay(1), rc.right, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
    for (int release = 0;; ++release) {  // by a double-click, by a commit, then no more
        SendMessageA(WaitForLanaDisplay(1), WM_VSCROLL, SB_LINEDOWN, 0);
        ASSERT_EQ(GetSlotHold(1), 1);
        ASSERT_TRUE(netbios_.wait_until_idle());
        std::size_t held_at = Issued(1, NCBASTAT);  // a cycle that began as the user scrolled may still end
        UseTheDialogs();
        EXPECT_EQ(Issued(0, NCBASTAT), 2u + release);
        EXPECT_LE(Issued(1, NCBASTAT), held_at + 1);
        if (release == 2)
            break;
        for (int lana : {0, 1}) {
            if (release == 0)
                ui::double_click_client(WaitForLanaDisplay(lana), {40, 40});
            else
                ASSERT_TRUE(ConfigureLana(main(), lana, {}));
        }
        EXPECT_TRUE(WaitForCycles(0, 3u + release) && WaitForCycles(1, held_at + 10));
    }
    EXPECT_EQ(GetSlotFrequency(0), -5);  // kept as committed
}

class ActivationFailure : public Worker, public ::testing::WithParamInterface<int> {};

// The creation that fails comes after GetParam() of: the mutex, the wake event, two done events, the thread.
TEST_P(ActivationFailure, ReleasesWhatWasMadeLeavesTheSlotInactiveAndTellsTheUser) {
    Start();
    const auto before = Resources();
    pt::limit_open_handles(before[0] + static_cast<std::size_t>(GetParam()));
    HWND hwndConfig = OpenConfiguration(main(), 0);
    EnterSettings(hwndConfig, {.active = true});
    ui::click(ui::center_of(GetDlgItem(hwndConfig, IDC_CONFIG_OK)));
    // The box has the selection dialog's caption and comes while both dialogs are still open.
    HWND hwndBox = WaitForWindow(kLanasTitle, IDOK, "LANA 00 could not be activated.");
    pt::limit_open_handles(SIZE_MAX);
    ASSERT_NE(hwndBox, nullptr) << ui::screen_text();
    ui::key(VK_RETURN);
    ASSERT_TRUE(WaitForNoWindow(kLanasTitle));
    Sync();
    EXPECT_TRUE(LanaSlots[0].nState == LANA_PRESENT && !GetSlotDisplayWindow(0) && !LanaSlots[0].hThread);
    EXPECT_EQ(Resources(), before);
    EXPECT_EQ(Issued(0, NCBASTAT), 0u);
}

INSTANTIATE_TEST_SUITE_P(EachKernelObject, ActivationFailure, ::testing::Range(0, 5));

// Twelve LANAs polled without pause under scrolling and commits: no deadlock, every worker ends, no leak.
TEST_F(Worker, TwelveLanasPollingWithoutPauseUnderScrollingAndCommitsAllEndAndLeaveNothing) {
    netbios_.set_lanas({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    // Replies take a slow network's time, so that twelve workers polling without pause leave the viewer's
    // thread, which draws every report they finish, time for the user's input (under sanitizers too).
    for (std::uint8_t lana = 0; lana < MAX_LANA_SLOTS; ++lana) {
        netbios_.set_adapter_status(lana, {NRC_GOODRET, pt::adapter_status_reply({}, {}), 100ms});
        netbios_.set_session_status(lana, {NRC_GOODRET, pt::session_status_reply({}, {}), 100ms});
    }
    Start();
    const auto before = Resources();
    for (int lana = 0; lana < MAX_LANA_SLOTS; ++lana)
        ASSERT_TRUE(Activate(lana, {.frequency = "0"})) << lana;
    for (int step = 0; step < 24; ++step) {
        HWND hwndDisplay = WaitForLanaDisplay(step % MAX_LANA_SLOTS);
        ui::click(ui::scroll_down_arrow_of(hwndDisplay));
        if (step % 3 == 0)
            ui::double_click_client(hwndDisplay, {30, 30});
        // A commit waits for the running cycle and changes what the next one reports.
        ASSERT_TRUE(step % 4 || ConfigureLana(main(), step % MAX_LANA_SLOTS, {.sessions = step % 8 == 0})) << step;
    }
    DeactivateWatchedLanas(main());
    ASSERT_TRUE(netbios_.wait_until_idle());
    Sync();
    EXPECT_EQ(Resources(), before);
}
