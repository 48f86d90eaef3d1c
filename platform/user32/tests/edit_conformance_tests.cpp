// Conformance tests of the edit control's editing and clipboard messages, and of the clipboard calls: Win32
// and GoogleTest only, so they also run on Windows and Wine.
#include "conformance.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<WORD> notifications;  // the edit control's EN_ codes, in order

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND && lparam)
        notifications.push_back(HIWORD(wparam));
    return DefWindowProcA(window, message, wparam, lparam);
}

void SetClipboardText(const char *text) {
    ASSERT_TRUE(OpenClipboard(NULL));
    EXPECT_TRUE(EmptyClipboard());
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
    memcpy(GlobalLock(block), text, strlen(text) + 1);
    GlobalUnlock(block);
    EXPECT_EQ(SetClipboardData(CF_TEXT, block), (HANDLE)block);
    EXPECT_TRUE(CloseClipboard());
}

std::string ClipboardText() {
    std::string text = "(none)";
    EXPECT_TRUE(OpenClipboard(NULL));
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        text = (const char *)GlobalLock(data);
        GlobalUnlock(data);
    }
    EXPECT_TRUE(CloseClipboard());
    return text;
}

class EditConformance : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA window_class = {0, ParentProc, 0, 0, GetModuleHandleA(NULL), NULL, NULL, NULL, NULL, "EditParent"};
        RegisterClassA(&window_class);
        parent_ =
            CreateWindowExA(0, "EditParent", "parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, NULL, NULL, NULL, NULL);
        ASSERT_NE(parent_, (HWND)NULL);
    }
    void TearDown() override { DestroyWindow(parent_); }

    // An edit control holding `text` with `start`..`end` selected, and no notification recorded yet.
    HWND MakeEdit(DWORD style, const char *text, int start, int end) {
        HWND edit = CreateWindowExA(0, "EDIT", text, WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | style, 10, 10, 200, 24,
                                    parent_, (HMENU)7, GetModuleHandleA(NULL), NULL);
        SendMessageA(edit, EM_SETSEL, start, end);
        notifications.clear();
        return edit;
    }
    static std::string Text(HWND edit) {
        char text[256] = "";
        GetWindowTextA(edit, text, sizeof text);
        return text;
    }
    static std::pair<DWORD, DWORD> Selection(HWND edit) {
        DWORD start = conformance::kSentinel, end = conformance::kSentinel;
        LRESULT packed = SendMessageA(edit, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
        EXPECT_EQ(packed, (LRESULT)MAKELONG(start, end));
        return {start, end};
    }

    HWND parent_ = NULL;
};

// Each row starts from "abcdef" with "cd" selected and "seed" on the clipboard.
struct ClipboardCase {
    const char *what;
    DWORD style;
    UINT message;
    WPARAM wparam;
    const char *text, *clipboard;  // after the message; a null clipboard is not compared
    DWORD start, end;
    std::vector<WORD> notified;
};

const std::vector<WORD> kChanged = {EN_UPDATE, EN_CHANGE};

TEST_F(EditConformance, ClipboardMessagesAndTheirKeysActOnTheSelection) {
    // Windows never lets a password out; Wine copies it, so the Windows build leaves that row unchecked.
    const char *const kPasswordClipboard = conformance::kAcceptsKnownDifferences ? NULL : "seed";
    const ClipboardCase cases[] = {
        {"copy", 0, WM_COPY, 0, "abcdef", "cd", 2, 4, {}},
        {"cut", 0, WM_CUT, 0, "abef", "cd", 2, 2, kChanged},
        {"clear", 0, WM_CLEAR, 0, "abef", "seed", 2, 2, kChanged},
        {"paste", 0, WM_PASTE, 0, "abseedef", "seed", 6, 6, kChanged},
        {"Ctrl+C", 0, WM_CHAR, 0x03, "abcdef", "cd", 2, 4, {}},
        {"Ctrl+X", 0, WM_CHAR, 0x18, "abef", "cd", 2, 2, kChanged},
        {"Ctrl+V", 0, WM_CHAR, 0x16, "abseedef", "seed", 6, 6, kChanged},
        {"Delete clears", 0, WM_KEYDOWN, VK_DELETE, "abef", "seed", 2, 2, kChanged},
        {"read-only copy", ES_READONLY, WM_COPY, 0, "abcdef", "cd", 2, 4, {}},
        {"read-only cut", ES_READONLY, WM_CUT, 0, "abcdef", NULL, 2, 4, {}},
        {"read-only clear", ES_READONLY, WM_CLEAR, 0, "abcdef", "seed", 2, 4, {}},
        {"read-only paste", ES_READONLY, WM_PASTE, 0, "abcdef", "seed", 2, 4, {}},
        {"number paste takes letters", ES_NUMBER, WM_PASTE, 0, "abseedef", "seed", 6, 6, kChanged},
        {"number typing refuses them", ES_NUMBER, WM_CHAR, 'x', "abcdef", "seed", 2, 4, {}},
        {"upper case, set and pasted", ES_UPPERCASE, WM_PASTE, 0, "ABSEEDEF", "seed", 6, 6, kChanged},
        {"password copy", ES_PASSWORD, WM_COPY, 0, "abcdef", kPasswordClipboard, 2, 4, {}},
    };
    for (const auto &c : cases) {
        SetClipboardText("seed");
        HWND edit = MakeEdit(c.style, "abcdef", 2, 4);
        SendMessageA(edit, c.message, c.wparam, 0);
        EXPECT_EQ(Text(edit), c.text) << c.what;
        if (c.clipboard) {
            EXPECT_EQ(ClipboardText(), c.clipboard) << c.what;
        }
        EXPECT_EQ(Selection(edit), std::make_pair(c.start, c.end)) << c.what;
        EXPECT_EQ(notifications, c.notified) << c.what;
        DestroyWindow(edit);
    }
}

TEST_F(EditConformance, PastesTakeTheFirstLineAndStopAtTheLimit) {
    struct {
        const char *clipboard;
        WPARAM limit;
        const char *text;
        std::vector<WORD> notified;  // in the order of their values
    } cases[] = {
        {"one\r\ntwo", 0, "xxone", {EN_CHANGE, EN_UPDATE}},
        {"seed", 4, "xxse", {EN_CHANGE, EN_UPDATE, EN_MAXTEXT}},
        {"seed", 2, "xx", {EN_CHANGE, EN_UPDATE, EN_MAXTEXT}},  // a change is told even when nothing fitted
    };
    for (const auto &c : cases) {
        SetClipboardText(c.clipboard);
        HWND edit = MakeEdit(0, "xx", 2, 2);
        if (c.limit)
            SendMessageA(edit, EM_LIMITTEXT, c.limit, 0);
        SendMessageA(edit, WM_PASTE, 0, 0);
        EXPECT_EQ(Text(edit), c.text) << c.clipboard << " limit " << c.limit;
        std::sort(notifications.begin(), notifications.end());  // one of each; their order is not pinned
        EXPECT_EQ(notifications, c.notified) << c.clipboard << " limit " << c.limit;
        DestroyWindow(edit);
    }
}

TEST_F(EditConformance, LimitIsThirtyThousandUntilSetAndZeroMeansTheMost) {
    HWND edit = MakeEdit(0, "", 0, 0);
    EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 30000);
    SendMessageA(edit, EM_LIMITTEXT, 3, 0);
    EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 3);
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM) "longer than three");  // the limit is for the user's input only
    EXPECT_EQ(Text(edit), "longer than three");
    SendMessageA(edit, EM_LIMITTEXT, 0, 0);
    EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
}

// Each row: what is done to "abc" with the caret at the end, what EM_UNDO then shows, and what a second
// EM_UNDO (which redoes) shows.
TEST_F(EditConformance, UndoTakesBackTheLastStepAndASecondUndoRedoesIt) {
    struct Step {
        UINT message;
        WPARAM wparam;
        LPARAM lparam;
    };
    struct {
        const char *what;
        std::vector<Step> steps;
        const char *done;
        BOOL can_undo;
        const char *undone, *redone;
    } cases[] = {
        {"typing", {{WM_CHAR, 'x', 0}, {WM_CHAR, 'y', 0}}, "abcxy", TRUE, "abc", "abcxy"},
        {"backspaces", {{WM_CHAR, 8, 0}, {WM_CHAR, 8, 0}}, "a", TRUE, "abc", "a"},
        {"typing over a selection", {{EM_SETSEL, 0, 2}, {WM_CHAR, 'z', 0}}, "zc", TRUE, "abc", "zc"},
        {"cut", {{EM_SETSEL, 1, 2}, {WM_CUT, 0, 0}}, "ac", TRUE, "abc", "ac"},
        {"typing after a clear", {{EM_SETSEL, 0, 1}, {WM_CLEAR, 0, 0}, {WM_CHAR, 'z', 0}}, "zbc", TRUE, "abc", "zbc"},
        {"undoable replacement", {{EM_REPLACESEL, TRUE, (LPARAM) "de"}}, "abcde", TRUE, "abc", "abcde"},
        {"replacement without undo", {{EM_REPLACESEL, FALSE, (LPARAM) "de"}}, "abcde", FALSE, "abcde", "abcde"},
        {"new text", {{WM_CHAR, 'x', 0}, {WM_SETTEXT, 0, (LPARAM) "new"}}, "new", FALSE, "new", "new"},
        {"emptied buffer", {{WM_CHAR, 'x', 0}, {EM_EMPTYUNDOBUFFER, 0, 0}}, "abcx", FALSE, "abcx", "abcx"},
        {"Ctrl+Z", {{WM_CHAR, 'x', 0}, {WM_CHAR, 0x1A, 0}}, "abc", TRUE, "abcx", "abc"},
    };
    for (const auto &c : cases) {
        HWND edit = MakeEdit(0, "abc", 3, 3);
        for (const auto &step : c.steps)
            SendMessageA(edit, step.message, step.wparam, step.lparam);
        EXPECT_EQ(Text(edit), c.done) << c.what;
        EXPECT_EQ(SendMessageA(edit, EM_CANUNDO, 0, 0), c.can_undo) << c.what;
        EXPECT_EQ(SendMessageA(edit, EM_UNDO, 0, 0), TRUE) << c.what;  // always TRUE for one line
        EXPECT_EQ(Text(edit), c.undone) << c.what;
        SendMessageA(edit, WM_UNDO, 0, 0);
        EXPECT_EQ(Text(edit), c.redone) << c.what;
        DestroyWindow(edit);
    }
}

TEST(ClipboardConformance, CallsNeedTheClipboardOpenAndOneThreadAtATime) {
    EXPECT_FAILS(!OpenClipboard((HWND)(ULONG_PTR)0xdead0), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FAILS(!CloseClipboard(), ERROR_CLIPBOARD_NOT_OPEN);
    EXPECT_FAILS(!EmptyClipboard(), ERROR_CLIPBOARD_NOT_OPEN);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 2);
    EXPECT_FAILS(!SetClipboardData(CF_TEXT, block), ERROR_CLIPBOARD_NOT_OPEN);
    GlobalFree(block);

    SetClipboardText("shared");
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));  // without opening it
    HWND window = CreateWindowExA(0, "STATIC", "owner", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(OpenClipboard(window));  // open for one window, it is closed to any other (or none)
    conformance::RunOnOtherThread([] {
        EXPECT_FAILS(!OpenClipboard(NULL), ERROR_ACCESS_DENIED);
        return 0u;
    });
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_EQ(GetClipboardData(CF_TEXT), (HANDLE)NULL);
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
    DestroyWindow(window);
}

}  // namespace
