// The LANA selection and configuration dialogs, driven with mouse and keyboard: what they propose, what they
// refuse, and what a commit writes into the live slot.
#include <windows.h>

#include <cstring>
#include <string>

#include "lana_config_driver.h"
#include "resource.h"
#include "tarvoke_ui.h"
#include "testing/headless_display.h"
#include "viewer_session.h"

namespace ui = platform::testing::ui;
using namespace tarvoke::testing;

namespace {

class ConfigureDialogs : public ViewerSession {
protected:
    // The message box the dialogs show, with its text checked and closed with OK.
    void ExpectMessageBoxAndClose(const std::string &text) {
        HWND hwndBox = nullptr;
        ASSERT_TRUE(wait_for([&] {
            hwndBox = ui::find_window_titled(kLanasTitle);
            return hwndBox && GetDlgItem(hwndBox, IDC_LANAS_NUMBER) == nullptr &&
                   text_of(hwndBox).find(text) != std::string::npos;
        })) << ui::screen_text();
        ui::key(VK_RETURN);
        ASSERT_TRUE(wait_for([&] { return !IsWindow(hwndBox); }));
    }
    std::string CommittedName(int lana) {
        Sync();
        return LanaSlots[lana].szRemoteName;
    }
};

}  // namespace

TEST_F(ConfigureDialogs, NoLanaPresentShowsOnlyTheMessage) {
    netbios_.set_lanas({});
    Start();
    ChooseMenuItem(main(), 'c');
    ExpectMessageBoxAndClose("No active LANA's are available");
    // The selection dialog ended in its WM_INITDIALOG and was never shown.
    EXPECT_TRUE(WaitForNoWindow(kLanasTitle));
    EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(main()) != FALSE; }));
}

TEST_F(ConfigureDialogs, SelectionProposesTheLowestPresentLana) {
    netbios_.set_lanas({5, 2, 9});
    Start();
    HWND hwndLanas = OpenSelection(main());
    ASSERT_NE(hwndLanas, nullptr);
    EXPECT_TRUE(wait_for([&] { return ControlText(hwndLanas, IDC_LANAS_NUMBER) == "2"; }));
    ui::click(ui::center_of(GetDlgItem(hwndLanas, IDC_LANAS_CANCEL)));
    EXPECT_TRUE(WaitForNoWindow(kLanasTitle));
}

TEST_F(ConfigureDialogs, NumbersThatNameNoPresentLanaAreRefusedAndTheDialogStays) {
    netbios_.set_lanas({0, 2});
    Start();
    HWND hwndLanas = OpenSelection(main());
    ASSERT_NE(hwndLanas, nullptr);
    for (const char *number : {"-1", "12", "65535", "1"}) {
        ReplaceEditText(GetDlgItem(hwndLanas, IDC_LANAS_NUMBER), number);
        ui::click(ui::center_of(GetDlgItem(hwndLanas, IDC_LANAS_OK)));
        ExpectMessageBoxAndClose("LANA selected is not valid\nPlease try again.");
        EXPECT_TRUE(IsWindowVisible(hwndLanas)) << number;
        // The focus is back in the number field: typing goes there.
        ui::key(VK_END);
        ui::type("7");
        EXPECT_TRUE(wait_for([&] { return ControlText(hwndLanas, IDC_LANAS_NUMBER) == std::string(number) + "7"; }))
            << number;
    }
    ui::click(ui::center_of(GetDlgItem(hwndLanas, IDC_LANAS_CANCEL)));
    EXPECT_TRUE(WaitForNoWindow(kLanasTitle));
}

TEST_F(ConfigureDialogs, EmptyOrNonNumericEntryIsLanaZero) {
    Start();
    for (const char *number : {"", "abc"}) {
        HWND hwndConfig = OpenConfiguration(main(), 0, number);
        ASSERT_NE(hwndConfig, nullptr) << number;
        ui::click(ui::center_of(GetDlgItem(hwndConfig, IDC_CONFIG_CANCEL)));
        EXPECT_TRUE(WaitForNoWindow(kLanasTitle)) << number;
    }
}

struct NameCase {
    const char *typed;
    const char *committed;
};

class CommittedNames : public ConfigureDialogs, public ::testing::WithParamInterface<NameCase> {};

TEST_P(CommittedNames, AreFifteenUpperCaseCharactersBlankPadded) {
    Start();
    LanaSettings settings;
    settings.name = GetParam().typed;
    ASSERT_TRUE(ConfigureLana(main(), 1, settings));
    EXPECT_EQ(CommittedName(1), GetParam().committed);
    EXPECT_EQ(std::strlen(LanaSlots[1].szRemoteName), 15u);

    // The next opening shows the committed name, trailing blanks included.
    HWND hwndConfig = OpenConfiguration(main(), 1);
    ASSERT_NE(hwndConfig, nullptr);
    EXPECT_EQ(ControlText(hwndConfig, IDC_CONFIG_NAME), GetParam().committed);
    ui::click(ui::center_of(GetDlgItem(hwndConfig, IDC_CONFIG_CANCEL)));
    EXPECT_TRUE(WaitForNoWindow(kLanasTitle));
}

INSTANTIATE_TEST_SUITE_P(Rules, CommittedNames,
                         ::testing::Values(NameCase{"", "*              "}, NameCase{"server7", "SERVER7        "},
                                           NameCase{"abcdefghijklmnopqrst", "ABCDEFGHIJKLMNO"},
                                           NameCase{"x-1_z.{", "X-1_Z.{        "}));

TEST_F(ConfigureDialogs, TypedFrequencyIsCommittedAsTypedWithoutClamping) {
    Start();
    for (const char *typed : {"-5", "32767", "oops"}) {
        LanaSettings settings;
        settings.frequency = typed;
        ASSERT_TRUE(ConfigureLana(main(), 0, settings)) << typed;
        Sync();
        EXPECT_EQ(GetSlotFrequency(0), std::string(typed) == "oops" ? 0 : std::stoi(typed)) << typed;
    }
}

struct SpinCase {
    const char *start;
    bool up;
    const char *shown;
};

class SpinArrows : public ConfigureDialogs, public ::testing::WithParamInterface<SpinCase> {};

TEST_P(SpinArrows, StepInSixteenBitsAndNeverShowBelowMinusOne) {
    Start();
    HWND hwndConfig = OpenConfiguration(main(), 0);
    ASSERT_NE(hwndConfig, nullptr);
    ReplaceEditText(GetDlgItem(hwndConfig, IDC_CONFIG_FREQUENCY), GetParam().start);
    HWND hwndSpin = GetDlgItem(hwndConfig, IDC_CONFIG_SPIN);
    RECT rc;
    GetWindowRect(hwndSpin, &rc);
    // The upper arrow is the control's top quarter, the lower arrow its bottom quarter.
    POINT arrow{(rc.left + rc.right) / 2, GetParam().up ? rc.top + 1 : rc.bottom - 2};
    ui::click(arrow);
    EXPECT_TRUE(wait_for([&] { return ControlText(hwndConfig, IDC_CONFIG_FREQUENCY) == GetParam().shown; }))
        << ControlText(hwndConfig, IDC_CONFIG_FREQUENCY);

    ui::click(ui::center_of(GetDlgItem(hwndConfig, IDC_CONFIG_CANCEL)));
    ASSERT_TRUE(WaitForNoWindow(kLanasTitle));
    Sync();
    EXPECT_EQ(GetSlotFrequency(0), -1);  // the arrows change the dialog only
}

INSTANTIATE_TEST_SUITE_P(Steps, SpinArrows,
                         ::testing::Values(SpinCase{"-1", true, "0"}, SpinCase{"0", false, "-1"},
                                           SpinCase{"-1", false, "-1"}, SpinCase{"32767", true, "-1"},
                                           SpinCase{"-7", true, "-1"}, SpinCase{"41", true, "42"},
                                           SpinCase{"x", true, "1"}));

TEST_F(ConfigureDialogs, CancelChangesNothingAndClosesBothDialogs) {
    Start();
    HWND hwndConfig = OpenConfiguration(main(), 1);
    ASSERT_NE(hwndConfig, nullptr);
    EXPECT_FALSE(IsChecked(hwndConfig, IDC_CONFIG_ACTIVE));
    LanaSettings settings;
    settings.name = "elsewhere";
    settings.frequency = "9";
    settings.errors = false;
    settings.active = true;
    EnterSettings(hwndConfig, settings);
    ui::click(ui::center_of(GetDlgItem(hwndConfig, IDC_CONFIG_CANCEL)));
    ASSERT_TRUE(WaitForNoWindow(kLanasTitle));

    Sync();
    EXPECT_STREQ(LanaSlots[1].szRemoteName, "*");
    EXPECT_EQ(GetSlotFrequency(1), -1);
    EXPECT_EQ(LanaSlots[1].fErrors, 1);
    EXPECT_EQ(LanaSlots[1].nState, LANA_PRESENT);
    EXPECT_EQ(GetSlotDisplayWindow(1), nullptr);

    // The next opening shows the slot again, not what was toggled before Cancel.
    hwndConfig = OpenConfiguration(main(), 1);
    ASSERT_NE(hwndConfig, nullptr);
    EXPECT_FALSE(IsChecked(hwndConfig, IDC_CONFIG_ACTIVE));
    EXPECT_TRUE(IsChecked(hwndConfig, IDC_CONFIG_ERRORS));
    EXPECT_EQ(ControlText(hwndConfig, IDC_CONFIG_FREQUENCY), "-1");
    ui::click(ui::center_of(GetDlgItem(hwndConfig, IDC_CONFIG_CANCEL)));
    EXPECT_TRUE(WaitForNoWindow(kLanasTitle));
}

TEST_F(ConfigureDialogs, EnterEscapeAndTheCloseBoxDoNothing) {
    Start();
    HWND hwndLanas = OpenSelection(main());
    ASSERT_NE(hwndLanas, nullptr);
    ui::key(VK_RETURN);
    ui::key(VK_ESCAPE);
    EXPECT_TRUE(stays_false([&] { return !IsWindowVisible(hwndLanas); }));
    EXPECT_EQ(ui::find_window_titled("LANA 00"), nullptr);

    ui::click(ui::center_of(GetDlgItem(hwndLanas, IDC_LANAS_OK)));
    HWND hwndConfig = WaitForDialog("LANA 00", IDC_CONFIG_OK);
    ASSERT_NE(hwndConfig, nullptr);
    ui::key(VK_RETURN);
    ui::key(VK_ESCAPE);
    ui::click(ui::close_box_of(hwndConfig));
    EXPECT_TRUE(stays_false([&] { return !IsWindowVisible(hwndConfig); }));

    // The selection dialog beneath takes no input while the configuration is open: nSelectedLana stays.
    EXPECT_FALSE(IsWindowEnabled(hwndLanas));
    std::size_t shown = ui::visible_windows().size();
    ui::click(ui::center_of(GetDlgItem(hwndLanas, IDC_LANAS_OK)));
    EXPECT_TRUE(stays_false([&] { return ui::visible_windows().size() != shown; }));
    ui::click(ui::center_of(GetDlgItem(hwndConfig, IDC_CONFIG_CANCEL)));
    EXPECT_TRUE(WaitForNoWindow(kLanasTitle));
    Sync();
    EXPECT_EQ(LanaSlots[0].nState, LANA_PRESENT);
}
