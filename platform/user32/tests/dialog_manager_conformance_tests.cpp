// Conformance tests of the dialog manager's keys: mnemonics, Tab and Enter through IsDialogMessage, and the
// default push button's frame. Win32 and GoogleTest only, so they also run on Windows and Wine.
#include "conformance.h"

#include <string>
#include <vector>

namespace {

enum { kLabel = 100, kEdit = 101, kCheck = 102 };

std::vector<int> commands;  // the ids of the buttons clicked (BN_CLICKED), in order

INT_PTR CALLBACK RecordingDialogProc(HWND, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED)
        commands.push_back(LOWORD(wparam));
    return FALSE;
}

class DialogManagerConformance : public ::testing::Test {
protected:
    void SetUp() override {
        dialog_ = CreateWindowExA(0, "#32770", "keys", WS_POPUP | WS_CAPTION | WS_VISIBLE, 50, 50, 320, 120, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
        ASSERT_NE(dialog_, (HWND)NULL);
        SetWindowLongPtrA(dialog_, DWLP_DLGPROC, (LONG_PTR)RecordingDialogProc);
        // Tab order is creation order: the edit, the check box, Yes, No.
        Add("STATIC", "&Address:", kLabel, SS_LEFT, 10);
        Add("EDIT", "", kEdit, WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 70);
        Add("BUTTON", "&Check", kCheck, WS_TABSTOP | BS_AUTOCHECKBOX, 130);
        Add("BUTTON", "&Yes", IDYES, WS_TABSTOP | BS_PUSHBUTTON, 190);
        Add("BUTTON", "&No", IDNO, WS_TABSTOP | BS_DEFPUSHBUTTON, 250);
        SendMessageA(dialog_, DM_SETDEFID, IDNO, 0);
        SetActiveWindow(dialog_);
    }
    void TearDown() override { DestroyWindow(dialog_); }

    void Add(const char *class_name, const char *text, int id, DWORD style, int x) {
        ASSERT_NE(CreateWindowExA(0, class_name, text, WS_CHILD | WS_VISIBLE | style, x, 10, 55, 24, dialog_,
                                  (HMENU)(INT_PTR)id, GetModuleHandleA(NULL), NULL),
                  (HWND)NULL);
    }
    HWND Item(int id) const { return GetDlgItem(dialog_, id); }

    // Puts the focus on a control, then delivers a key message to it as the message loop of a dialog would.
    void Deliver(int focus, UINT message, WPARAM wparam) {
        SetFocus(Item(focus));
        commands.clear();
        LPARAM flags = 1 | (message == WM_SYSCHAR ? (1L << 29) : 0);  // Alt is held for a system character
        PostMessageA(GetFocus(), message, wparam, flags);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            if (!IsDialogMessageA(dialog_, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
    }
    int FocusId() const { return GetDlgCtrlID(GetFocus()); }
    // Which of Yes and No show the default frame (BS_DEFPUSHBUTTON).
    std::string Framed() const {
        std::string framed;
        for (int id : {IDYES, IDNO})
            if ((GetWindowLongA(Item(id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                framed += id == IDYES ? "Yes" : "No";
        return framed;
    }

    HWND dialog_ = NULL;
};

TEST_F(DialogManagerConformance, MnemonicsPressButtonsAndMoveTheFocusWithoutAltOutsideEdits) {
    struct {
        const char *what;
        int focus;
        UINT message;
        WPARAM character;
        std::vector<int> commands;
        int focus_after;
        const char *edit_text;
    } cases[] = {
        {"a letter on a button presses another", IDYES, WM_CHAR, 'n', {IDNO}, -1, ""},
        {"in either case", IDYES, WM_CHAR, 'N', {IDNO}, -1, ""},
        {"Alt with it too", IDNO, WM_SYSCHAR, 'y', {IDYES}, -1, ""},
        {"in an edit control a letter is typed", kEdit, WM_CHAR, 'n', {}, kEdit, "n"},
        {"in an edit control Alt makes it a mnemonic", kEdit, WM_SYSCHAR, 'y', {IDYES}, -1, ""},
        {"a check box is focused and toggled", IDYES, WM_CHAR, 'c', {kCheck}, kCheck, ""},
        {"a label sends the focus to the control after it", IDNO, WM_CHAR, 'a', {}, kEdit, ""},
        {"a letter that is no mnemonic does nothing", IDYES, WM_CHAR, 'q', {}, IDYES, ""},
    };
    for (const auto &c : cases) {
        SetDlgItemTextA(dialog_, kEdit, "");
        CheckDlgButton(dialog_, kCheck, BST_UNCHECKED);
        Deliver(c.focus, c.message, c.character);
        EXPECT_EQ(commands, c.commands) << c.what;
        if (c.focus_after >= 0) {
            EXPECT_EQ(FocusId(), c.focus_after) << c.what;
        }
        char text[16] = "";
        GetDlgItemTextA(dialog_, kEdit, text, sizeof text);
        EXPECT_STREQ(text, c.edit_text) << c.what;
        EXPECT_EQ(IsDlgButtonChecked(dialog_, kCheck), c.commands == std::vector<int>{kCheck} ? BST_CHECKED : 0u)
            << c.what;
    }
}

TEST_F(DialogManagerConformance, TheDefaultFrameFollowsTheFocusAmongPushButtonsAndReturnsWhenItLeaves) {
    SetFocus(Item(IDNO));
    struct {
        const char *how;
        WPARAM key;  // through IsDialogMessage; 0: WM_NEXTDLGCTL to `target`
        int target, focus_after;
        const char *framed;
    } steps[] = {
        {"Left from No to Yes, in the same group", VK_LEFT, 0, IDYES, "Yes"},
        {"Right back to No", VK_RIGHT, 0, IDNO, "No"},
        {"Tab from No wraps to the edit", VK_TAB, 0, kEdit, "No"},
        {"Tab to the check box", VK_TAB, 0, kCheck, "No"},
        {"Tab to Yes takes the frame", VK_TAB, 0, IDYES, "Yes"},
        {"Tab to No takes it back", VK_TAB, 0, IDNO, "No"},
        {"WM_NEXTDLGCTL to Yes", 0, IDYES, IDYES, "Yes"},
        {"WM_NEXTDLGCTL to the edit returns it", 0, kEdit, kEdit, "No"},
    };
    for (const auto &step : steps) {
        if (step.key)
            Deliver(FocusId(), WM_KEYDOWN, step.key);
        else
            SendMessageA(dialog_, WM_NEXTDLGCTL, (WPARAM)Item(step.target), TRUE);
        EXPECT_EQ(FocusId(), step.focus_after) << step.how;
        EXPECT_EQ(Framed(), step.framed) << step.how;
    }
}

TEST_F(DialogManagerConformance, EnterPressesTheFramedButtonAndDefIdNamesTheDefault) {
    EXPECT_EQ(SendMessageA(dialog_, DM_GETDEFID, 0, 0), MAKELONG(IDNO, DC_HASDEFID));
    SendMessageA(dialog_, WM_NEXTDLGCTL, (WPARAM)Item(IDYES), TRUE);
    Deliver(IDYES, WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ(commands, std::vector<int>{IDYES});  // the push button with the focus
    SendMessageA(dialog_, WM_NEXTDLGCTL, (WPARAM)Item(kEdit), TRUE);
    Deliver(kEdit, WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ(commands, std::vector<int>{IDNO});  // elsewhere the default button

    EXPECT_EQ(SendMessageA(dialog_, DM_SETDEFID, IDYES, 0), TRUE);
    EXPECT_EQ(SendMessageA(dialog_, DM_GETDEFID, 0, 0), MAKELONG(IDYES, DC_HASDEFID));
    EXPECT_EQ(Framed(), "Yes");  // the frame moves with the default while the focus is in the edit
    Deliver(kEdit, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ(commands, std::vector<int>{IDCANCEL});
}

}  // namespace
