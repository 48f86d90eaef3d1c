// The main window, the exit question, the About box and the LANA dialogs, driven as a user drives them.
#include <windows.h>

#include <cstring>
#include <string>

#include "resource.h"
#include "tarvoke_ui.h"
#include "testing/headless_display.h"
#include "viewer_harness.h"

namespace ui = platform::testing::ui;
using namespace tarvoke::testing;

namespace {

class Dialogs : public ViewerSession {
protected:
    // The message box of the selection dialog, with its text checked and closed with OK.
    void ExpectMessageBoxAndClose(const std::string &text) {
        HWND hwndBox = nullptr;
        ASSERT_TRUE(wait_for([&] {
            hwndBox = ui::find_window_titled(kLanasTitle);
            return hwndBox && !GetDlgItem(hwndBox, IDC_LANAS_NUMBER) &&
                   text_of(hwndBox).find(text) != std::string::npos;
        })) << ui::screen_text();
        ui::key(VK_RETURN);
        ASSERT_TRUE(wait_for([&] { return !IsWindow(hwndBox); }));
    }
    void Cancel(HWND hwndDlg, int id) {
        ui::click(ui::center_of(GetDlgItem(hwndDlg, id)));
        EXPECT_TRUE(WaitForNoWindow(kLanasTitle));
    }
};

}  // namespace

TEST_F(Dialogs, MainWindowShowsGreyAndItsMenuAndAnswersExitCloseAndAbout) {
    Start();
    RECT rc;
    GetClientRect(main(), &rc);
    EXPECT_TRUE(wait_for([&] { return ui::client_pixel(main(), {rc.right / 2, rc.bottom / 2}) == 0xC0C0C0; }));
    EXPECT_NE(text_of(main()).find("Options"), std::string::npos);

    ChooseMenuItem(main(), 'a');
    HWND hwndAbout = WaitForWindow("About", IDC_ABOUT_OK);
    ASSERT_NE(hwndAbout, nullptr);
    EXPECT_TRUE(wait_for([&] { return text_of(hwndAbout).find("TARVOKE") != std::string::npos; }));
    const char *screenshot = std::getenv("TARVOKE_SCREENSHOT");  // the picture in the documentation
    EXPECT_TRUE(!screenshot || ui::write_screen_png(screenshot));
    EXPECT_FALSE(IsWindowEnabled(main()));             // modal to the main window
    SendMessageA(hwndAbout, WM_COMMAND, IDCANCEL, 0);  // what Escape sends: left alone
    EXPECT_TRUE(IsWindowVisible(hwndAbout));
    ui::key(VK_RETURN);  // the default button's id
    EXPECT_TRUE(WaitForNoWindow("About"));
    EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(main()) != FALSE; }));

    for (int button : {IDNO, IDYES}) {
        ChooseMenuItem(main(), 'x');
        HWND hwndBox = WaitForWindow("Exit", IDYES);
        ASSERT_NE(hwndBox, nullptr);  // the second time, also the proof that No kept the viewer running
        EXPECT_FALSE(viewer_->finished());
        EXPECT_TRUE(wait_for([&] { return text_of(hwndBox).find("Do you wish to exit?") != std::string::npos; }));
        if (button == IDNO)
            ui::key(VK_RETURN);  // No is the default
        else
            ui::click(ui::center_of(GetDlgItem(hwndBox, IDYES)));
    }
    EXPECT_EQ(viewer_->wait_for_exit(), 0);
}

TEST_F(Dialogs, TheCloseBoxEndsWithZeroWithoutAsking) {
    Start();
    unsigned bells = ui::bell_count();
    ui::click(ui::close_box_of(main()));
    EXPECT_EQ(viewer_->wait_for_exit(), 0);
    EXPECT_EQ(ui::find_window_titled("Exit"), nullptr);
    EXPECT_EQ(ui::bell_count(), bells);
}

// On the test's own thread: WinMain returns before any message loop, and its window stays to be seen.
TEST_F(Dialogs, AFailedEnumerationShowsTheWindowBeepsAndExitsWithItsCodeAndASecondClassFails) {
    netbios_.set_enumeration_retcode(NRC_SYSTEM);
    unsigned bells = ui::bell_count();
    char szCmdLine[] = "";
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, szCmdLine, SW_SHOWDEFAULT), NRC_SYSTEM);
    EXPECT_EQ(ui::bell_count(), bells + 1);
    HWND hwnd = ui::find_window_titled(kMainTitle);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(LanaSlots[0].nState, LANA_UNUSABLE);
    DestroyWindow(hwnd);
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, szCmdLine, SW_SHOWDEFAULT), 1);  // registered already
    EXPECT_EQ(ui::find_window_titled(kMainTitle), nullptr);
}

TEST_F(Dialogs, SelectionProposesTheLowestPresentLanaAndRefusesNumbersThatNameNone) {
    netbios_.set_lanas({});
    Start();
    ChooseMenuItem(main(), 'c');
    ExpectMessageBoxAndClose("No active LANA's are available");
    EXPECT_TRUE(WaitForNoWindow(kLanasTitle));  // the dialog ended in its WM_INITDIALOG and never showed
    viewer_.reset();
    ResetViewerState();

    netbios_.set_lanas({5, 2, 9});
    Start();
    HWND hwndLanas = OpenSelection(main());
    ASSERT_NE(hwndLanas, nullptr);
    EXPECT_EQ(ControlText(hwndLanas, IDC_LANAS_NUMBER), "2");
    for (const char *number : {"-1", "12", "65535", "3"}) {
        ReplaceEditText(GetDlgItem(hwndLanas, IDC_LANAS_NUMBER), number);
        ui::click(ui::center_of(GetDlgItem(hwndLanas, IDC_LANAS_OK)));
        ExpectMessageBoxAndClose("LANA selected is not valid\nPlease try again.");
        ui::key(VK_END);  // the focus is back in the number field
        ui::type("7");
        EXPECT_TRUE(wait_for([&] { return ControlText(hwndLanas, IDC_LANAS_NUMBER) == number + std::string("7"); }));
    }
    for (WPARAM id : {IDOK, IDCANCEL})  // what Enter and Escape send: left alone
        SendMessageA(hwndLanas, WM_COMMAND, id, 0);
    EXPECT_TRUE(IsWindowVisible(hwndLanas));
    Cancel(hwndLanas, IDC_LANAS_CANCEL);
}

TEST_F(Dialogs, OkCommitsTheNameUpperCasedAndPaddedAndTheFrequencyAsTypedAndCancelNothing) {
    Start();
    const struct {
        const char *typed, *committed;
    } names[] = {{"", "*              "},
                 {"server7", "SERVER7        "},
                 {"abcdefghijklmnopqrst", "ABCDEFGHIJKLMNO"},
                 {"x-1_z.{`", "X-1_Z.{`       "}};
    const char *frequencies[] = {"-5", "32767", "oops", "12"};
    for (int i = 0; i < 4; ++i) {
        LanaSettings settings;
        settings.name = names[i].typed;
        settings.frequency = frequencies[i];
        ASSERT_TRUE(ConfigureLana(main(), 1, settings));
        Sync();
        EXPECT_STREQ(LanaSlots[1].szRemoteName, names[i].committed);
        EXPECT_EQ(GetSlotFrequency(1), std::atoi(frequencies[i]));
    }
    HWND hwndConfig = OpenConfiguration(main(), 1);
    ASSERT_NE(hwndConfig, nullptr);
    EXPECT_EQ(ControlText(hwndConfig, IDC_CONFIG_NAME), "X-1_Z.{`       ");  // the trailing blanks too
    EXPECT_EQ(ControlText(hwndConfig, IDC_CONFIG_FREQUENCY), "12");
    LanaSettings settings;
    settings.name = "elsewhere";
    settings.frequency = "9";
    settings.errors = settings.name_table = settings.capacity = settings.sessions = false;
    settings.active = true;
    EnterSettings(hwndConfig, settings);
    for (WPARAM id : {IDOK, IDCANCEL})  // what Enter, Escape and the close box send: left alone
        SendMessageA(hwndConfig, WM_COMMAND, id, 0);
    EXPECT_TRUE(IsWindowVisible(hwndConfig));
    Cancel(hwndConfig, IDC_CONFIG_CANCEL);
    Sync();
    EXPECT_STREQ(LanaSlots[1].szRemoteName, "X-1_Z.{`       ");
    EXPECT_EQ(GetSlotFrequency(1), 12);
    EXPECT_EQ(LanaSlots[1].fErrors + LanaSlots[1].fNameTable + LanaSlots[1].fCapacity + LanaSlots[1].fSessions, 4);
    EXPECT_EQ(LanaSlots[1].nState, LANA_PRESENT);
    // The next opening shows the slot again, not what was toggled before Cancel.
    hwndConfig = OpenConfiguration(main(), 1);
    ASSERT_NE(hwndConfig, nullptr);
    EXPECT_FALSE(IsChecked(hwndConfig, IDC_CONFIG_ACTIVE));
    for (int id : {IDC_CONFIG_ERRORS, IDC_CONFIG_NAMETABLE, IDC_CONFIG_CAPACITY, IDC_CONFIG_SESSIONS})
        EXPECT_TRUE(IsChecked(hwndConfig, id)) << id;
    EXPECT_FALSE(IsWindowEnabled(WaitForWindow(kLanasTitle, IDC_LANAS_OK)));  // the selection takes no input
    Cancel(hwndConfig, IDC_CONFIG_CANCEL);
}

// The spin arrows step the dialog's field in 16-bit arithmetic, never below -1, and change no slot.
TEST_F(Dialogs, SpinArrowsStepTheFrequencyField) {
    Start();
    HWND hwndConfig = OpenConfiguration(main(), 0);
    ASSERT_NE(hwndConfig, nullptr);
    const struct {
        const char *start;
        WORD code;
        const char *shown;
    } cases[] = {{"-1", SB_LINEUP, "0"},  {"0", SB_LINEDOWN, "-1"},   {"-1", SB_LINEDOWN, "-1"},
                 {"5", SB_LINEDOWN, "4"}, {"32767", SB_LINEUP, "-1"}, {"-7", SB_LINEUP, "-1"},
                 {"41", SB_LINEUP, "42"}, {"x", SB_LINEUP, "1"},      {"8", SB_ENDSCROLL, "8"}};
    for (const auto &c : cases) {
        SetDlgItemTextA(hwndConfig, IDC_CONFIG_FREQUENCY, c.start);
        SendMessageA(hwndConfig, WM_VSCROLL, c.code, 0);
        EXPECT_EQ(ControlText(hwndConfig, IDC_CONFIG_FREQUENCY), c.shown) << c.start << " " << c.code;
    }
    // The arrows themselves: the upper is the control's top quarter, the lower its bottom quarter.
    SetDlgItemTextA(hwndConfig, IDC_CONFIG_FREQUENCY, "7");
    RECT rc;
    GetWindowRect(GetDlgItem(hwndConfig, IDC_CONFIG_SPIN), &rc);
    ui::click({(rc.left + rc.right) / 2, rc.bottom - 2});
    EXPECT_TRUE(wait_for([&] { return ControlText(hwndConfig, IDC_CONFIG_FREQUENCY) == "6"; }));
    ui::click({(rc.left + rc.right) / 2, rc.top + 1});
    EXPECT_TRUE(wait_for([&] { return ControlText(hwndConfig, IDC_CONFIG_FREQUENCY) == "7"; }));
    Cancel(hwndConfig, IDC_CONFIG_CANCEL);
    Sync();
    EXPECT_EQ(GetSlotFrequency(0), -1);
}
