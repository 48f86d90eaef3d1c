// Dialogs from templates: creation order, focus rules, modal loops with dialog keys, dialog items, and
// message boxes. Input comes from a helper thread, as a user's would, while the dialog runs.
#include "message_log.h"
#include "rc/resource_tables.h"
#include "testing/headless_display.h"

#include <atomic>
#include <thread>

namespace {

namespace ui = platform::testing::ui;
namespace res = platform::resources;
constexpr DWORD sentinel = 0xDEADBEEF;

constexpr DWORD child = WS_CHILD | WS_VISIBLE;
const res::DialogControl form_controls[] = {
    {"STATIC", "Name", 501, child | SS_LEFT | WS_GROUP, 0, 2, 6, 40, 8},
    {"EDIT", "", 103, child | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0, 50, 6, 40, 12},
    {"BUTTON", "Check", 117, child | BS_AUTOCHECKBOX | WS_TABSTOP, 0, 2, 22, 50, 10},
    {"BUTTON", "OK", 101, child | BS_PUSHBUTTON | WS_TABSTOP, 0, 10, 36, 40, 14},
    {"BUTTON", "Cancel", 102, child | BS_PUSHBUTTON | WS_TABSTOP, 0, 55, 36, 40, 14},
};
const res::Dialog form{WS_POPUP | WS_CAPTION | DS_MODALFRAME, 0, 20, 20, 110, 56, "Form", "", 0, "", "", form_controls};
const res::Dialog hidden_form{WS_POPUP | WS_CAPTION, 0, 20, 20, 110, 56, "Hidden", "", 0, "", "", form_controls};

const res::DialogControl about_controls[] = {
    {"STATIC", "About text", 102, child | SS_LEFT, 0, 11, 4, 73, 8},
    {"BUTTON", "OK", 141, child | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 35, 54, 38, 14},
};
const res::Dialog about{WS_POPUP | WS_CAPTION, 0, 11, 19, 90, 72, "About", "", 0, "", "", about_controls};

std::vector<int> commands;
INT_PTR init_result = TRUE;
HWND init_hwnd = nullptr;

INT_PTR CALLBACK form_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (worth_logging(message))
        message_log().push_back({dialog, message, wparam});
    switch (message) {
        case WM_INITDIALOG:
            init_hwnd = dialog;
            return init_result;
        case WM_COMMAND:
            if (HIWORD(wparam) == BN_CLICKED)
                commands.push_back(LOWORD(wparam));
            if (LOWORD(wparam) == 102 || LOWORD(wparam) == 141) {
                EndDialog(dialog, LOWORD(wparam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

class Dialogs : public ::testing::Test {
protected:
    HWND owner = nullptr;
    void SetUp() override {
        ui::headless();
        res::register_dialog(std::string_view("FORM"), &form);
        res::register_dialog(std::string_view("HIDDENFORM"), &hidden_form);
        res::register_dialog(std::string_view("ABOUT"), &about);
        register_logging_class("OwnerClass", 0, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        owner = CreateWindowExA(0, "OwnerClass", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 500, 400, nullptr,
                                nullptr, nullptr, nullptr);
        ui::pump_pending();
        message_log().clear();
        commands.clear();
        init_result = TRUE;
    }
    void TearDown() override {
        DestroyWindow(owner);
        ui::pump_pending();
        message_log().clear();
    }
    // Runs `input` on a helper thread once the dialog titled `title` is on the screen.
    std::thread user(const char *title, std::function<void()> input) {
        return std::thread([title, input] {
            for (int i = 0; i < 2000 && !ui::find_window_titled(title); ++i)
                Sleep(5);
            input();
        });
    }
};

TEST_F(Dialogs, ModelessCreationReachesTheProcedureBeforeTheHandleIsKnown) {
    init_hwnd = nullptr;
    HWND dialog = CreateDialogParamA(nullptr, "hiddenform", owner, form_proc, 0);  // names ignore case
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(init_hwnd, dialog);
    expect_sequence({{WM_INITDIALOG, dialog}}, "hidden dialog creation");
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner);
    // Focus waits for the dialog to become active: then the first tab stop, the edit, gets it.
    EXPECT_NE(GetFocus(), GetDlgItem(dialog, 103));
    ShowWindow(dialog, SW_SHOWNORMAL);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 103));
    DestroyWindow(dialog);

    SetLastError(sentinel);
    EXPECT_EQ(CreateDialogParamA(nullptr, "NOSUCH", owner, form_proc, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(Dialogs, VisibleCreationOrderAndDialogUnits) {
    const res::Dialog visible{
        WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 20, 20, 110, 56, "Visible", "", 0, "", "", form_controls};
    res::register_dialog(std::string_view("VISIBLE"), &visible);
    HWND dialog = CreateDialogParamA(nullptr, "VISIBLE", owner, form_proc, 0);
    ASSERT_NE(dialog, nullptr);
    expect_sequence({{WM_INITDIALOG, dialog},
                     {WM_SHOWWINDOW, dialog},
                     {WM_NCACTIVATE, owner},
                     {WM_ACTIVATE, owner},
                     {WM_NCACTIVATE, dialog},
                     {WM_ACTIVATE, dialog},
                     {WM_KILLFOCUS, owner},
                     {WM_COMMAND, dialog},  // EN_SETFOCUS from the edit
                     {WM_PAINT},
                     {WM_ERASEBKGND}},
                    "visible dialog creation");
    // 110 by 56 dialog units of the system font (base units 8 by 16) make 220 by 112 pixels.
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, 220);
    EXPECT_EQ(client.bottom, 112);
    RECT edit;
    GetWindowRect(GetDlgItem(dialog, 103), &edit);
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    EXPECT_EQ(edit.left - origin.x, 100);
    EXPECT_EQ(edit.top - origin.y, 12);
    // The dialog's position is relative to the owner's client area.
    POINT owner_origin{0, 0};
    ClientToScreen(owner, &owner_origin);
    RECT frame;
    GetWindowRect(dialog, &frame);
    EXPECT_EQ(frame.left, owner_origin.x + 40);
    EXPECT_EQ(frame.top, owner_origin.y + 40);
    DestroyWindow(dialog);
}

TEST_F(Dialogs, InitDialogReturningFalseKeepsTheFocusItSet) {
    init_result = FALSE;
    const res::Dialog visible{
        WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 20, 20, 110, 56, "Visible2", "", 0, "", "", form_controls};
    res::register_dialog(std::string_view("VISIBLE2"), &visible);
    HWND dialog = CreateDialogParamA(nullptr, "VISIBLE2", owner, form_proc, 0);
    // Nothing chose a control: activation focuses the first tab stop anyway, as a dialog needs one.
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 103));
    DestroyWindow(dialog);
}

TEST_F(Dialogs, ModalDisablesTheOwnerAndEnterPressesTheDefaultButton) {
    std::atomic<bool> owner_was_disabled{false};
    auto input = user("About", [&] {
        owner_was_disabled = !IsWindowEnabled(owner);  // read across threads: a plain style bit
        ui::key(VK_RETURN);
    });
    INT_PTR result = DialogBoxParamA(nullptr, "ABOUT", owner, form_proc, 0);
    input.join();
    EXPECT_EQ(result, 141);
    EXPECT_EQ(commands, std::vector<int>{141});
    EXPECT_TRUE(owner_was_disabled.load());
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetActiveWindow(), owner);
}

TEST_F(Dialogs, EnterWithoutADefaultButtonSendsIdOkAndEscapeSendsIdCancel) {
    auto input = user("Form", [] {
        ui::key(VK_RETURN);
        ui::key(VK_ESCAPE);
        Sleep(50);
        ui::click(ui::center_of(GetDlgItem(ui::find_window_titled("Form"), 102)));
    });
    INT_PTR result = DialogBoxParamA(nullptr, "FORM", owner, form_proc, 0);
    input.join();
    EXPECT_EQ(result, 102);
    // IDOK and IDCANCEL went unhandled, so the dialog stayed until Cancel was clicked.
    EXPECT_EQ(commands, (std::vector<int>{IDOK, IDCANCEL, 102}));
}

// Pumps this thread's messages through the dialog manager, as a modal loop does.
void pump_dialog(HWND dialog) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
}

TEST_F(Dialogs, TabAndShiftTabWalkTheTabStopsInTemplateOrder) {
    const res::Dialog visible{
        WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 20, 20, 110, 56, "Tabs", "", 0, "", "", form_controls};
    res::register_dialog(std::string_view("TABS"), &visible);
    HWND dialog = CreateDialogParamA(nullptr, "TABS", owner, form_proc, 0);
    ASSERT_NE(dialog, nullptr);
    pump_dialog(dialog);
    auto focus_id = [] { return GetDlgCtrlID(GetFocus()); };
    EXPECT_EQ(focus_id(), 103);  // the first tab stop; the static label has none
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        ui::key(VK_TAB);
        pump_dialog(dialog);
        seen.push_back(focus_id());
    }
    EXPECT_EQ(seen, (std::vector<int>{117, 101, 102, 103}));  // wraps at the end
    ui::key(VK_TAB, true);
    pump_dialog(dialog);
    EXPECT_EQ(focus_id(), 102);  // Shift+Tab goes back, wrapping at the start

    // A disabled control is passed over.
    EnableWindow(GetDlgItem(dialog, 103), FALSE);
    ui::key(VK_TAB);
    pump_dialog(dialog);
    EXPECT_EQ(focus_id(), 117);
    EXPECT_TRUE(commands.empty());  // Tab presses nothing
    DestroyWindow(dialog);
}

TEST_F(Dialogs, AWorkersSendIsHandledWhileAModalLoopRuns) {
    std::atomic<LRESULT> reply{0};
    auto input = user("About", [&] {
        // The worker's send is served by the modal loop on the main thread.
        reply = SendMessageA(owner, WM_GETTEXTLENGTH, 0, 0);
        ui::key(VK_RETURN);
    });
    EXPECT_EQ(DialogBoxParamA(nullptr, "ABOUT", owner, form_proc, 0), 141);
    input.join();
    EXPECT_EQ(reply.load(), 5);  // "Owner"
}

TEST_F(Dialogs, DialogItemNumbersAndText) {
    HWND dialog = CreateDialogParamA(nullptr, "HIDDENFORM", owner, form_proc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(SetDlgItemInt(dialog, 103, static_cast<UINT>(-5), TRUE));
    char text[16];
    EXPECT_EQ(GetDlgItemTextA(dialog, 103, text, sizeof text), 2u);
    EXPECT_STREQ(text, "-5");
    BOOL translated = FALSE;
    EXPECT_EQ(static_cast<int>(GetDlgItemInt(dialog, 103, &translated, TRUE)), -5);
    EXPECT_TRUE(translated);
    EXPECT_EQ(GetDlgItemInt(dialog, 103, &translated, FALSE), 0u);  // unsigned: no minus sign
    EXPECT_FALSE(translated);
    for (const char *bad : {"", "abc", "12a", "-", "99999999999"}) {
        SetDlgItemTextA(dialog, 103, bad);
        EXPECT_EQ(GetDlgItemInt(dialog, 103, &translated, TRUE), 0u) << bad;
        EXPECT_FALSE(translated) << bad;
    }
    SetDlgItemTextA(dialog, 103, " 65535 ");
    EXPECT_EQ(GetDlgItemInt(dialog, 103, nullptr, TRUE), 65535u);
    SetDlgItemTextA(dialog, 103, "0123456789");
    EXPECT_EQ(GetDlgItemTextA(dialog, 103, text, 5), 4u);  // cut to the buffer
    EXPECT_STREQ(text, "0123");

    SetLastError(sentinel);
    EXPECT_EQ(GetDlgItem(dialog, 999), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
    EXPECT_EQ(GetDlgItemTextA(dialog, 999, text, sizeof text), 0u);
    EXPECT_STREQ(text, "");
    DestroyWindow(dialog);
}

TEST_F(Dialogs, MessageBoxYesNoWithTheSecondButtonAsDefault) {
    unsigned bells = ui::bell_count();
    auto input = user("Exit", [] { ui::key(VK_RETURN); });
    EXPECT_EQ(MessageBoxA(owner, "Do you wish to exit?", "Exit", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
    input.join();
    EXPECT_TRUE(IsWindowEnabled(owner));

    auto click_yes = user("Exit", [] {
        HWND box = ui::find_window_titled("Exit");
        ui::key(VK_ESCAPE);  // no Cancel button: nothing happens
        ui::click(ui::center_of(GetDlgItem(box, IDYES)));
    });
    EXPECT_EQ(MessageBoxA(owner, "Do you wish to exit?", "Exit", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDYES);
    click_yes.join();

    auto ok = user("Note", [] { ui::key(VK_ESCAPE); });
    EXPECT_EQ(MessageBoxA(owner, "LANA selected is not valid\nPlease try again.", "Note", MB_OK), IDOK);
    ok.join();
    EXPECT_EQ(ui::bell_count(), bells);
    MessageBeep(1);
    EXPECT_EQ(ui::bell_count(), bells + 1);
}

TEST_F(Dialogs, TheMessageBoxShowsItsTextToTheUser) {
    std::string seen;
    auto input = user("Exit", [&] {
        Sleep(100);
        seen = ui::screen_text();
        ui::key(VK_RETURN);
    });
    MessageBoxA(owner, "Do you wish to exit?", "Exit", MB_YESNO | MB_DEFBUTTON2);
    input.join();
    EXPECT_NE(seen.find("[Exit]"), std::string::npos) << seen;
    EXPECT_NE(seen.find("Do you wish to exit?"), std::string::npos) << seen;
    EXPECT_NE(seen.find("Yes"), std::string::npos) << seen;
}

}  // namespace
