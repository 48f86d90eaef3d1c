// Twelve LANAs polled without pause while the user scrolls their displays and commits new settings: no
// race, no deadlock, and every worker ends when its LANA is switched off.
#include <windows.h>
#include <nb30.h>

#include <chrono>
#include <cstdint>

#include "resource.h"
#include "testing/headless_display.h"
#include "viewer_session.h"

namespace ui = platform::testing::ui;
using namespace tarvoke::testing;
using namespace std::chrono_literals;

namespace {

class Soak : public ViewerSession {};

}  // namespace

TEST_F(Soak, TwelveLanasAtFrequencyZeroWithScrollingAndCommits) {
    netbios_.set_lanas({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    // Replies take as long as a slow network's, so that twelve workers polling without pause leave the
    // viewer's thread, which draws every report they finish, time for the user's input.
    for (std::uint8_t lana = 0; lana < MAX_LANA_SLOTS; ++lana) {
        netbios_.set_adapter_status(lana, {NRC_GOODRET, platform::testing::adapter_status_reply({}, {}), 100ms});
        netbios_.set_session_status(lana, {NRC_GOODRET, platform::testing::session_status_reply({}, {}), 100ms});
    }
    Start();
    HWND displays[MAX_LANA_SLOTS];
    for (int lana = 0; lana < MAX_LANA_SLOTS; ++lana) {
        ASSERT_TRUE(Activate(lana)) << lana;
        displays[lana] = WaitForDisplay(lana);
        ASSERT_NE(displays[lana], nullptr) << lana;
    }
    // Then all of them to polling without pause, each by a commit to a running worker.
    for (int lana = 0; lana < MAX_LANA_SLOTS; ++lana) {
        LanaSettings settings;
        settings.frequency = "0";
        ASSERT_TRUE(ConfigureLana(main(), lana, settings)) << lana;
    }

    auto end = std::chrono::steady_clock::now() + 10s;
    for (int step = 0; std::chrono::steady_clock::now() < end; ++step) {
        int lana = step % MAX_LANA_SLOTS;
        ui::click(ui::scroll_down_arrow_of(displays[lana]));
        if (step % 3 == 0)
            ui::double_click_client(displays[lana], {30, 30});
        if (step % 4 == 0) {
            // A commit waits for the running cycle and changes what the next one reports.
            LanaSettings settings;
            settings.sessions = step % 8 == 0;
            ASSERT_TRUE(ConfigureLana(main(), lana, settings)) << step;
        }
    }

    // Scrolling held some of them; a double-click releases each, and every one is still cycling.
    for (int lana = 0; lana < MAX_LANA_SLOTS; ++lana) {
        std::size_t before = AdapterStatusCount(lana);
        ui::double_click_client(displays[lana], {30, 30});
        EXPECT_TRUE(wait_for([&] { return AdapterStatusCount(lana) > before + 3; })) << lana;
    }
    for (int lana = 0; lana < MAX_LANA_SLOTS; ++lana) {
        ASSERT_TRUE(Deactivate(lana)) << lana;
        EXPECT_FALSE(IsWindow(displays[lana])) << lana;
    }
    EXPECT_TRUE(netbios_.wait_until_idle());
}
