// The main window, the exit question, the About box and the LANA dialogs, driven as a user drives them.

#include "resource.h"
#include "tarvoke_ui.h"
#include "viewer_harness.h"

namespace ui = platform::testing::ui;
using namespace tarvoke::testing;

namespace {

class Dialogs : public ViewerSession {
protected:
    // The window titled `title` that shows `text`, closed with Enter; false when none came.
    bool AnswerBox(std::string_view title, std::string_view text) {
        HWND hwndBox = WaitForWindow(title, 0, text);
        return hwndBox && ui::key(VK_RETURN) && wait_for([&] { return !IsWindowVisible(hwndBox); });
    }
    void Click(HWND hwndDlg, int id) { ui::click(ui::center_of(GetDlgItem(hwndDlg, id))); }
};

// No is the Exit box's default: Enter keeps the viewer running, Tab frames Yes and Alt+Y ends the viewer (the
// dialog manager's mnemonics and frame in general: dialog_manager_conformance_tests.cpp).
TEST_F(Dialogs, MainWindowShowsItsMenuAndAnswersAboutAndExit) {
    Start();
    RECT rc;
    GetClientRect(main(), &rc);
    EXPECT_TRUE(wait_for([&] { return ui::client_pixel(main(), {rc.right / 2, rc.bottom / 2}) == 0xC0C0C0; }));
    ChooseMenuItem(main(), 'a');
    HWND hwndAbout = WaitForWindow("About", IDC_ABOUT_OK, "TARVOKE");
    ASSERT_NE(hwndAbout, nullptr);
    EXPECT_FALSE(IsWindowEnabled(main()));             // modal to the main window
    SendMessageA(hwndAbout, WM_COMMAND, IDCANCEL, 0);  // what Escape sends: left alone
    EXPECT_TRUE(IsWindowVisible(hwndAbout));
    EXPECT_TRUE(AnswerBox("About", "TARVOKE"));  // Enter sends the default button's id
    EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(main()) != FALSE; }));
    ChooseMenuItem(main(), 'x');
    EXPECT_TRUE(AnswerBox("Exit", "Do you wish to exit?"));
    ChooseMenuItem(main(), 'x');  // the box again: No kept the viewer running
    HWND hwndExit = WaitForWindow("Exit", IDYES);
    ASSERT_NE(hwndExit, nullptr);
    auto framed = [&](int id) {
        return (SendMessageA(GetDlgItem(hwndExit, id), WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0;
    };
    EXPECT_TRUE(framed(IDNO) && !framed(IDYES));
    ui::key(VK_TAB);  // from No round to Yes, which takes the frame
    EXPECT_TRUE(wait_for([&] { return framed(IDYES) && !framed(IDNO); }));
    ui::key('Y', false, false, true);
    EXPECT_EQ(viewer_->wait_for_exit(), 0);
}

TEST_F(Dialogs, SelectionProposesTheLowestPresentLanaAndRefusesNumbersThatNameNone) {
    netbios_.set_lanas({5, 2, 9});
    Start();
    HWND hwndLanas = OpenSelection(main());
    ASSERT_NE(hwndLanas, nullptr);
    EXPECT_EQ(ControlText(hwndLanas, IDC_LANAS_NUMBER), "2");
    for (std::string number : {"-1", "12", "65535", "3"}) {
        ReplaceEditText(GetDlgItem(hwndLanas, IDC_LANAS_NUMBER), number);
        Click(hwndLanas, IDC_LANAS_OK);
        EXPECT_TRUE(AnswerBox(kLanasTitle, "LANA selected is not valid\nPlease try again.")) << number;
        ui::key(VK_END);  // the focus is back in the number field
        ui::type("7");
        EXPECT_TRUE(wait_for([&] { return ControlText(hwndLanas, IDC_LANAS_NUMBER) == number + "7"; }));
    }
    for (WPARAM id : {IDOK, IDCANCEL})  // what Enter and Escape send: left alone
        SendMessageA(hwndLanas, WM_COMMAND, id, 0);
    EXPECT_TRUE(IsWindowVisible(hwndLanas));
    Click(hwndLanas, IDC_LANAS_CANCEL);
    EXPECT_TRUE(WaitForNoWindow(kLanasTitle));
}

// The spin arrows step the dialog's field in 16-bit arithmetic, never below -1, and change no slot.
TEST_F(Dialogs, OkCommitsTheNameUpperCasedAndPaddedAndTheFrequencyAsTypedAndSpinAndCancelNothing) {
    Start();
    const char *const cases[][3] = {{"", "-5", "*              "},
                                    {"server7", "32767", "SERVER7        "},
                                    {"abcdefghijklmnopqrst", "oops", "ABCDEFGHIJKLMNO"},
                                    {"x-1_z.{`", "12", "X-1_Z.{`       "}};
    for (const auto &c : cases) {
        ASSERT_TRUE(ConfigureLana(main(), 1, {.name = c[0], .frequency = c[1]}));
        Sync();
        EXPECT_EQ(LanaSlots[1].szRemoteName + std::string(" ") + std::to_string(GetSlotFrequency(1)),
                  c[2] + std::string(" ") + std::to_string(std::atoi(c[1])));
    }
    for (int round = 0; round < 2; ++round) {  // the dialog shows the slot again, not what Cancel dropped
        HWND hwndConfig = OpenConfiguration(main(), 1);
        ASSERT_NE(hwndConfig, nullptr);
        EXPECT_EQ(ControlText(hwndConfig, IDC_CONFIG_NAME) + ControlText(hwndConfig, IDC_CONFIG_FREQUENCY),
                  "X-1_Z.{`       12");
        for (int id = IDC_CONFIG_ERRORS; id <= IDC_CONFIG_ACTIVE; ++id)  // the four sections checked, Active not
            EXPECT_EQ(IsChecked(hwndConfig, id), id != IDC_CONFIG_ACTIVE) << id;
        EXPECT_FALSE(IsWindowEnabled(WaitForWindow(kLanasTitle, IDC_LANAS_OK)));  // the selection takes no input
        // Spin arrows: the field's start, after the upper arrow, after the lower arrow.
        const char *const spins[][3] = {{"-1", "0", "-1"},  {"0", "1", "-1"},         {"5", "6", "4"},
                                        {"41", "42", "40"}, {"32767", "-1", "32766"}, {"-7", "-1", "-1"},
                                        {"x", "1", "-1"}};
        for (const auto &c : spins) {
            for (WORD code : {SB_LINEUP, SB_LINEDOWN}) {
                SetDlgItemTextA(hwndConfig, IDC_CONFIG_FREQUENCY, c[0]);
                SendMessageA(hwndConfig, WM_VSCROLL, code, 0);
                EXPECT_EQ(ControlText(hwndConfig, IDC_CONFIG_FREQUENCY), c[code + 1]) << c[0];
            }
        }
        EnterSettings(hwndConfig, {.name = "else",
                                   .frequency = "9",
                                   .errors = false,
                                   .name_table = false,
                                   .capacity = false,
                                   .sessions = false,
                                   .active = true});
        for (WPARAM id : {IDOK, IDCANCEL})  // what Enter, Escape and the close box send: left alone
            SendMessageA(hwndConfig, WM_COMMAND, id, 0);
        EXPECT_TRUE(IsWindowVisible(hwndConfig));
        Click(hwndConfig, IDC_CONFIG_CANCEL);
        EXPECT_TRUE(WaitForNoWindow(kLanasTitle));
    }
    Sync();
    EXPECT_TRUE(LanaSlots[1].fErrors && LanaSlots[1].nState == LANA_PRESENT && !GetSlotDisplayWindow(1));
    EXPECT_EQ(GetSlotFrequency(1), 12);
}

}  // namespace
