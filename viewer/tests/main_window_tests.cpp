// The main window, its menu, the exit question and the About dialog, driven as a user drives them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "lana_slots.h"
#include "resource.h"
#include "tarvoke_ui.h"
#include "testing/headless_display.h"
#include "viewer_harness.h"

namespace ui = platform::testing::ui;
using platform::testing::ScriptedNetbios;
using namespace tarvoke::testing;

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ResetViewerState();
        netbios_.set_lanas({0, 2});
    }
    void TearDown() override { ResetViewerState(); }

    ScriptedNetbios netbios_;
};

bool has_text(HWND hwnd, const std::string &text) {
    return text_of(hwnd).find(text) != std::string::npos;
}

HWND wait_for_window(const char *title) {
    HWND hwnd = nullptr;
    wait_for([&] { return (hwnd = ui::find_window_titled(title)) != nullptr; });
    return hwnd;
}

}  // namespace

TEST_F(MainWindow, StartsWithItsTitleGreyClientAndDiscoveredLanas) {
    RunningViewer viewer(netbios_);
    HWND hwnd = viewer.main_window();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(wait_for([&] { return has_text(hwnd, "Options"); }));  // shown once the window has painted
    // A sent message is handled once the viewer waits in its message loop, which it enters after
    // discovery; the send also orders the viewer's writes of the slots before the reads below.
    SendMessageA(hwnd, WM_NULL, 0, 0);
    EXPECT_EQ(LanaSlots[2].nState, LANA_PRESENT);
    EXPECT_EQ(LanaSlots[1].nState, LANA_UNUSABLE);

    RECT rc;
    GetClientRect(hwnd, &rc);
    EXPECT_TRUE(wait_for([&] { return ui::client_pixel(hwnd, {rc.right / 2, rc.bottom / 2}) == 0xC0C0C0; }));
}

TEST_F(MainWindow, ExitAnsweredNoKeepsRunningAndYesEndsWithZero) {
    RunningViewer viewer(netbios_);
    HWND hwnd = viewer.main_window();
    ASSERT_NE(hwnd, nullptr);

    ChooseMenuItem(hwnd, 'x');
    HWND hwndBox = wait_for_window("Exit");
    ASSERT_NE(hwndBox, nullptr);
    EXPECT_TRUE(
        wait_for([&] { return has_text(hwndBox, "Do you wish to exit?"); }));  // shown once the window has painted
    ui::key(VK_RETURN);                                                        // the second button, No, is the default
    ASSERT_TRUE(wait_for([] { return ui::find_window_titled("Exit") == nullptr; }));
    EXPECT_TRUE(stays_false([&] { return viewer.finished(); }));
    EXPECT_TRUE(IsWindowVisible(hwnd));

    ChooseMenuItem(hwnd, 'x');
    hwndBox = wait_for_window("Exit");
    ASSERT_NE(hwndBox, nullptr);
    HWND hwndYes = GetDlgItem(hwndBox, IDYES);
    ASSERT_NE(hwndYes, nullptr);
    ui::click(ui::center_of(hwndYes));
    EXPECT_EQ(viewer.wait_for_exit(), 0);
}

TEST_F(MainWindow, CloseBoxEndsWithZeroWithoutAsking) {
    RunningViewer viewer(netbios_);
    HWND hwnd = viewer.main_window();
    ASSERT_NE(hwnd, nullptr);
    unsigned bells = ui::bell_count();

    ui::click(ui::close_box_of(hwnd));
    EXPECT_EQ(viewer.wait_for_exit(), 0);
    EXPECT_EQ(ui::find_window_titled("Exit"), nullptr);
    EXPECT_EQ(ui::bell_count(), bells);
}

// Run on the test's own thread: WinMain returns before any message loop, and its window stays to be seen.
TEST_F(MainWindow, FailedEnumerationShowsTheWindowBeepsAndExitsWithItsCode) {
    netbios_.set_enumeration_retcode(NRC_SYSTEM);
    unsigned bells = ui::bell_count();
    char szCmdLine[] = "";

    int result = WinMain(GetModuleHandleA(nullptr), nullptr, szCmdLine, SW_SHOWDEFAULT);

    EXPECT_EQ(result, NRC_SYSTEM);
    EXPECT_EQ(ui::bell_count(), bells + 1);
    HWND hwnd = ui::find_window_titled(kMainTitle);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(LanaSlots[0].nState, LANA_UNUSABLE);  // nothing was discovered
    EXPECT_EQ(ui::find_window_titled("Exit"), nullptr);
    DestroyWindow(hwnd);
}

TEST_F(MainWindow, SecondRegistrationOfTheClassFailsAndEndsWithOne) {
    ASSERT_NE(RegisterMainWindowClass(GetModuleHandleA(nullptr)), 0);
    char szCmdLine[] = "";
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, szCmdLine, SW_SHOWDEFAULT), 1);
    EXPECT_EQ(ui::find_window_titled(kMainTitle), nullptr);
}

TEST_F(MainWindow, AboutClosesWithOkAndEnterButNotEscape) {
    RunningViewer viewer(netbios_);
    HWND hwnd = viewer.main_window();
    ASSERT_NE(hwnd, nullptr);

    ChooseMenuItem(hwnd, 'a');
    HWND hwndAbout = wait_for_window("About");
    ASSERT_NE(hwndAbout, nullptr);
    EXPECT_TRUE(wait_for([&] { return has_text(hwndAbout, "TARVOKE"); }));  // shown once the window has painted
    // The picture in the documentation is made here: TARVOKE_SCREENSHOT names the PNG to write.
    if (const char *screenshot = std::getenv("TARVOKE_SCREENSHOT")) {
        EXPECT_TRUE(ui::write_screen_png(screenshot));
    }
    EXPECT_FALSE(IsWindowEnabled(hwnd));  // modal to the main window

    ui::key(VK_ESCAPE);  // sends command 2, which the dialog leaves alone
    EXPECT_TRUE(stays_false([] { return ui::find_window_titled("About") == nullptr; }));
    ui::key(VK_RETURN);  // the default button's id
    EXPECT_TRUE(wait_for([] { return ui::find_window_titled("About") == nullptr; }));
    EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(hwnd) != FALSE; }));

    ChooseMenuItem(hwnd, 'a');
    hwndAbout = wait_for_window("About");
    ASSERT_NE(hwndAbout, nullptr);
    HWND hwndOk = GetDlgItem(hwndAbout, IDC_ABOUT_OK);
    ASSERT_NE(hwndOk, nullptr);
    ui::click(ui::center_of(hwndOk));
    EXPECT_TRUE(wait_for([] { return ui::find_window_titled("About") == nullptr; }));
    EXPECT_FALSE(viewer.finished());
}
