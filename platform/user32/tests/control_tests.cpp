// Controls driven by injected input: check boxes, edits, scroll bar controls and window scroll bars.
#include "message_log.h"
#include "rc/resource_tables.h"
#include "testing/headless_display.h"

namespace {

namespace ui = platform::testing::ui;
namespace res = platform::resources;

constexpr DWORD child = WS_CHILD | WS_VISIBLE;
const res::DialogControl controls[] = {
    {"EDIT", "", 115, child | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0, 10, 10, 40, 12},
    {"SCROLLBAR", "", 116, child | SBS_VERT, 0, 50, 10, 6, 12},
    {"BUTTON", "Active", 121, child | BS_AUTOCHECKBOX | WS_TABSTOP, 0, 10, 30, 50, 10},
};
const res::Dialog panel{WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 10, 10, 120, 60, "Panel", "", 0, "", "", controls};

struct Seen {
    UINT message;
    int code;
    int id_or_position;
    bool operator==(const Seen &) const = default;
};
std::vector<Seen> seen;

INT_PTR CALLBACK panel_proc(HWND, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND)
        seen.push_back({message, HIWORD(wparam), LOWORD(wparam)});
    if (message == WM_VSCROLL)
        seen.push_back({message, LOWORD(wparam), GetDlgCtrlID(reinterpret_cast<HWND>(lparam))});
    return FALSE;
}

void pump(HWND dialog) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
}

class Controls : public ::testing::Test {
protected:
    HWND dialog = nullptr;
    void SetUp() override {
        ui::headless();
        res::register_dialog(std::string_view("PANEL"), &panel);
        dialog = CreateDialogParamA(nullptr, "PANEL", nullptr, panel_proc, 0);
        ASSERT_NE(dialog, nullptr);
        pump(dialog);
        seen.clear();
    }
    void TearDown() override { DestroyWindow(dialog); }
    std::string edit_text() {
        char text[64];
        GetDlgItemTextA(dialog, 115, text, sizeof text);
        return text;
    }
};

TEST_F(Controls, AutoCheckBoxTogglesOnClickAndNotifies) {
    HWND box = GetDlgItem(dialog, 121);
    EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    ui::click(ui::center_of(box));
    pump(dialog);
    EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(seen, (std::vector<Seen>{{WM_COMMAND, EN_KILLFOCUS, 115}, {WM_COMMAND, BN_CLICKED, 121}}));
    EXPECT_EQ(GetFocus(), box);
    SendMessageA(box, BM_SETCHECK, BST_UNCHECKED, 0);  // setting the mark notifies nobody
    EXPECT_EQ(IsDlgButtonChecked(dialog, 121), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(seen.size(), 2u);
    // Space on a focused check box clicks it too.
    ui::key(VK_SPACE);
    pump(dialog);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 121), static_cast<UINT>(BST_CHECKED));
}

TEST_F(Controls, EditTypingCaretSelectionAndDeletion) {
    HWND edit = GetDlgItem(dialog, 115);
    EXPECT_EQ(GetFocus(), edit);
    ui::type("12345");
    pump(dialog);
    EXPECT_EQ(edit_text(), "12345");
    ui::key(VK_HOME);
    ui::key(VK_DELETE);
    ui::key(VK_END);
    ui::key(VK_BACK);
    pump(dialog);
    EXPECT_EQ(edit_text(), "234");
    ui::key(VK_LEFT);
    ui::key(VK_LEFT, true);  // select "3"
    ui::type("x");
    pump(dialog);
    EXPECT_EQ(edit_text(), "2x4");
    ui::key(VK_HOME);
    ui::key(VK_END, true);
    ui::type("-1");
    pump(dialog);
    EXPECT_EQ(edit_text(), "-1");
    EXPECT_EQ(static_cast<int>(GetDlgItemInt(dialog, 115, nullptr, TRUE)), -1);
    // Every change told the dialog.
    int changes = 0;
    for (auto &s : seen)
        changes += s.message == WM_COMMAND && s.code == EN_CHANGE && s.id_or_position == 115;
    EXPECT_EQ(changes, 5 + 2 + 1 + 2);
}

TEST_F(Controls, EditAutoScrollsAndTheMouseSelects) {
    HWND edit = GetDlgItem(dialog, 115);
    std::string longer(40, 'W');
    ui::type(longer);
    pump(dialog);
    EXPECT_EQ(edit_text(), longer);  // longer than the control is wide: it scrolled instead of refusing
    // A click at the left edge puts the caret before the first visible character; dragging to the
    // right edge selects what lies between.
    RECT area;
    GetWindowRect(edit, &area);
    SendMessageA(edit, EM_SETSEL, 0, 0);
    pump(dialog);
    POINT left{area.left + 3, (area.top + area.bottom) / 2};
    ui::mouse_down(left);
    ui::mouse_move({area.left + 3 + 30, left.y});
    ui::mouse_up({area.left + 3 + 30, left.y});
    pump(dialog);
    DWORD start = 0, end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_GT(end, 0u);
    EXPECT_LT(end, 10u);
}

TEST_F(Controls, ScrollBarControlArrowsSendLineCodesThenEndScroll) {
    HWND bar = GetDlgItem(dialog, 116);
    RECT area;
    GetWindowRect(bar, &area);
    ui::click({(area.left + area.right) / 2, area.top + 2});
    pump(dialog);
    ui::click({(area.left + area.right) / 2, area.bottom - 2});
    pump(dialog);
    EXPECT_EQ(seen, (std::vector<Seen>{{WM_VSCROLL, SB_LINEUP, 116},
                                       {WM_VSCROLL, SB_ENDSCROLL, 116},
                                       {WM_VSCROLL, SB_LINEDOWN, 116},
                                       {WM_VSCROLL, SB_ENDSCROLL, 116}}));
}

// A window with WS_VSCROLL: the platform draws and tracks the bar and tells the window.
std::vector<std::pair<int, int>> scrolls;
LRESULT CALLBACK scrolled_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_VSCROLL) {
        scrolls.push_back({LOWORD(wparam), HIWORD(wparam)});
        if (LOWORD(wparam) == SB_THUMBPOSITION)
            SetScrollPos(hwnd, SB_VERT, HIWORD(wparam), TRUE);
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

TEST(WindowScrollBars, ArrowsPagesAndThumbTracking) {
    ui::headless();
    register_logging_class("Scrolled", CS_DBLCLKS, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)), 0, scrolled_proc);
    HWND hwnd = CreateWindowExA(0, "Scrolled", "Scrolled", WS_POPUP | WS_CAPTION | WS_VSCROLL | WS_VISIBLE, 600, 300,
                                300, 260, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(SetScrollRange(hwnd, SB_VERT, 0, 100, FALSE));
    EXPECT_EQ(SetScrollPos(hwnd, SB_VERT, 50, TRUE), 0);
    EXPECT_EQ(SetScrollPos(hwnd, SB_VERT, 500, TRUE), 50);  // clamped to the range
    EXPECT_EQ(GetScrollPos(hwnd, SB_VERT), 100);
    SetScrollPos(hwnd, SB_VERT, 50, TRUE);
    int low = -1, high = -1;
    EXPECT_TRUE(GetScrollRange(hwnd, SB_VERT, &low, &high));
    EXPECT_EQ(high, 100);
    ui::pump_pending();
    scrolls.clear();

    ui::click(ui::scroll_up_arrow_of(hwnd));
    ui::click(ui::scroll_down_arrow_of(hwnd));
    POINT up = ui::scroll_up_arrow_of(hwnd), down = ui::scroll_down_arrow_of(hwnd);
    ui::click({up.x, up.y + 30});      // the track above the thumb
    ui::click({down.x, down.y - 30});  // and below it
    ui::pump_pending();
    EXPECT_EQ(scrolls, (std::vector<std::pair<int, int>>{{SB_LINEUP, 0},
                                                         {SB_ENDSCROLL, 0},
                                                         {SB_LINEDOWN, 0},
                                                         {SB_ENDSCROLL, 0},
                                                         {SB_PAGEUP, 0},
                                                         {SB_ENDSCROLL, 0},
                                                         {SB_PAGEDOWN, 0},
                                                         {SB_ENDSCROLL, 0}}));
    scrolls.clear();

    // Drag the thumb (at the middle, position 50) to the bottom of the track.
    POINT thumb{up.x, (up.y + down.y) / 2};
    ui::mouse_down(thumb);
    ui::mouse_move({thumb.x, down.y - 8});
    ui::mouse_up({thumb.x, down.y - 8});
    ui::pump_pending();
    ASSERT_EQ(scrolls.size(), 3u);
    EXPECT_EQ(scrolls[0].first, SB_THUMBTRACK);
    EXPECT_EQ(scrolls[1].first, SB_THUMBPOSITION);
    EXPECT_GE(scrolls[1].second, 95);
    EXPECT_EQ(scrolls[2].first, SB_ENDSCROLL);
    EXPECT_EQ(GetScrollPos(hwnd, SB_VERT), scrolls[1].second);

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetScrollRange(hwnd, SB_CTL, 0, 1, FALSE));  // a window is not a scroll bar control
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DestroyWindow(hwnd);
}

}  // namespace
