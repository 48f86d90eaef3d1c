// Conformance tests of dialogs made from the test's own resources, as the viewer makes its dialogs: creation and
// the focus WM_INITDIALOG asks for, modal loops ended by input and by EndDialog, message boxes answered by
// keys, and dialog items' numbers and text. Win32 and GoogleTest only, so they also run on Windows and Wine.
#include "conformance.h"

#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace conformance;

std::vector<UINT> logged;       // what the dialog procedure got
HWND init_dialog = NULL;        // the dialog WM_INITDIALOG came to
HWND owner_during_init = NULL;  // its owner at that moment
std::vector<WPARAM> commands;   // WM_COMMAND's wparam
WPARAM key_when_running = 0;    // posted to the focused control once the modal loop runs; 0: none

INT_PTR CALLBACK FormProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    logged.push_back(message);
    if (message == WM_INITDIALOG) {
        init_dialog = dialog;
        owner_during_init = GetWindow(dialog, GW_OWNER);
        PostMessageA(dialog, WM_APP, 0, 0);  // handled once the caller's loop or the modal loop runs
        return TRUE;
    }
    if (message == WM_APP && key_when_running) {
        PostMessageA(GetFocus(), WM_KEYDOWN, key_when_running, 1);
        PostMessageA(GetFocus(), WM_KEYUP, key_when_running, 0xC0000001);
    }
    if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) {
        commands.push_back(wparam);
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)
            EndDialog(dialog, LOWORD(wparam) == IDOK ? 1000 : 2000);
        return TRUE;
    }
    return FALSE;
}

// Answers WM_APP by pressing `key` in the window that has the focus, which is a message box's by then.
LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP) {
        PostMessageA(GetFocus(), WM_KEYDOWN, wparam, 1);
        PostMessageA(GetFocus(), WM_KEYUP, wparam, 0xC0000001);
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA window_class = {0, OwnerProc, 0, 0, GetModuleHandleA(NULL), NULL, NULL, NULL, NULL, "DialogOwner"};
        ASSERT_NE(RegisterClassA(&window_class), 0);
        owner = CreateWindowExA(0, "DialogOwner", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400, 300, NULL,
                                NULL, NULL, NULL);
        ASSERT_NE(owner, (HWND)NULL);
        logged.clear();
        commands.clear();
        key_when_running = 0;
    }
    void TearDown() override {
        DestroyWindow(owner);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        UnregisterClassA("DialogOwner", GetModuleHandleA(NULL));
    }
    HWND owner = NULL;
};

// The procedure has its WM_INITDIALOG before the handle comes back, with the owner set; returning TRUE puts
// the focus on the first tab stop, the edit, once the dialog is shown.
TEST_F(Dialogs, CreationRunsInitDialogFirstAndTheFocusGoesToTheFirstTabStop) {
    for (const char *name : {"form", "SHOWN"}) {  // resource names ignore case
        logged.clear();
        init_dialog = NULL;
        HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), name, owner, FormProc, 0);
        ASSERT_NE(dialog, (HWND)NULL) << name;
        EXPECT_EQ(init_dialog, dialog);
        EXPECT_EQ(owner_during_init, owner);
        bool visible = name[0] == 'S';
        EXPECT_EQ(IsWindowVisible(dialog), visible) << name;
        EXPECT_TRUE(MatchesSequence(logged, {{WM_SETFONT, true}, {WM_INITDIALOG}, {WM_SHOWWINDOW, !visible}})) << name;
        if (!visible)
            ShowWindow(dialog, SW_SHOWNORMAL);
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 103)) << name;
        DestroyWindow(dialog);
    }
}

// DialogBoxParamA runs its own loop with the owner disabled: Enter presses the default button, Escape is
// IDCANCEL; the procedure's EndDialog ends the loop with its result, and the owner is enabled again.
TEST_F(Dialogs, ModalLoopsEndWithTheResultOfEndDialogWhenInputArrives) {
    const std::tuple<WPARAM, WPARAM, INT_PTR> cases[] = {{VK_RETURN, IDOK, 1000}, {VK_ESCAPE, IDCANCEL, 2000}};
    for (auto [key, command, result] : cases) {
        commands.clear();
        key_when_running = key;
        EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(NULL), "FORM", owner, FormProc, 0), result) << key;
        EXPECT_EQ(commands, std::vector<WPARAM>{command}) << key;
        EXPECT_TRUE(IsWindowEnabled(owner));
        EXPECT_FALSE(IsWindow(init_dialog));
    }
    SetLastError(kSentinel);
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(NULL), "NOSUCH", owner, FormProc, 0), -1);
    EXPECT_LAST_ERROR(ERROR_RESOURCE_NAME_NOT_FOUND);
}

// A message box is modal too, with its default button chosen by Enter and Cancel by Escape; a box without a
// Cancel button ignores Escape.
TEST_F(Dialogs, MessageBoxesAnswerWithTheButtonTheKeysChoose) {
    const std::tuple<UINT, std::vector<WPARAM>, int> cases[] = {
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, {VK_RETURN}, IDNO},
        {MB_YESNO | MB_DEFBUTTON2, {VK_ESCAPE, VK_RETURN}, IDNO},
        {MB_OK, {VK_RETURN}, IDOK},
        {MB_OKCANCEL, {VK_ESCAPE}, IDCANCEL},
    };
    std::string differences;
    for (auto &[type, keys, result] : cases) {
        for (WPARAM key : keys)
            PostMessageA(owner, WM_APP, key, 0);  // taken by the box's own loop, once the box has the focus
        int answer = MessageBoxA(owner, "Do you wish to exit?", "Exit", type);
        if (!KnownDifference(answer == IDCANCEL && keys.size() == 2, "Escape ends a box without Cancel", differences)) {
            EXPECT_EQ(answer, result) << type;
        }
    }
    EXPECT_TRUE(MessageBeep(MB_OK));
    SKIP_KNOWN_DIFFERENCE(!differences.empty(), "message boxes:" << differences);
}

TEST_F(Dialogs, DialogItemNumbersAndText) {
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), "FORM", owner, FormProc, 0);
    ASSERT_NE(dialog, (HWND)NULL);
    char text[16];
    EXPECT_TRUE(SetDlgItemInt(dialog, 103, static_cast<UINT>(-5), TRUE));
    EXPECT_EQ(GetDlgItemTextA(dialog, 103, text, sizeof text), 2u);
    EXPECT_TRUE(SetDlgItemInt(dialog, 103, 4000000000u, FALSE));
    EXPECT_EQ(GetDlgItemTextA(dialog, 103, text, sizeof text), 10u);
    // Each row: the text, whether signed, the value, whether translated, and whether another implementation
    // reads it differently: it parses with the C library's strtol and strtoul, so it takes a sign either way,
    // stops at the first other character and refuses the two extremes.
    // clang-format off
    const std::tuple<const char *, BOOL, UINT, BOOL, bool> cases[] = {
        {"-5", TRUE, static_cast<UINT>(-5), TRUE, true}, {"-5", FALSE, 0, FALSE, true},
        {" 65535 ", TRUE, 65535, TRUE, false}, {"+7", TRUE, 0, FALSE, true}, {"", TRUE, 0, FALSE, false},
        {"12a", TRUE, 0, FALSE, true}, {"-", TRUE, 0, FALSE, false}, {"2147483647", TRUE, 2147483647u, TRUE, false},
        {"2147483648", TRUE, 0, FALSE, false}, {"-2147483648", TRUE, 0x80000000u, TRUE, true},
        {"4294967295", FALSE, 0xFFFFFFFFu, TRUE, true}, {"4294967296", FALSE, 0, FALSE, false}};
    // clang-format on
    std::string differences;
    for (auto [number, is_signed, value, translated, elsewhere] : cases) {  // blanks, a minus sign when signed, digits
        SetDlgItemTextA(dialog, 103, number);
        BOOL got = !translated;
        UINT result = GetDlgItemInt(dialog, 103, &got, is_signed);
        if (KnownDifference(elsewhere && (result != value || got != translated), number, differences))
            continue;
        EXPECT_EQ(result, value) << number;
        EXPECT_EQ(got, translated) << number;
    }
    SetDlgItemTextA(dialog, 103, "0123456789");
    EXPECT_EQ(GetDlgItemTextA(dialog, 103, text, 5), 4u);  // cut to the buffer
    EXPECT_STREQ(text, "0123");
    EXPECT_EQ(GetDlgItemTextA(dialog, 999, text, sizeof text), 0u);
    EXPECT_STREQ(text, "");
    DestroyWindow(dialog);
    SKIP_KNOWN_DIFFERENCE(!differences.empty(), "GetDlgItemInt reads differently:" << differences);
}

}  // namespace
