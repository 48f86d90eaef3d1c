// The single-line edit control: painting, and the keys, mouse and messages that drive its editing.
#include "gdi32/gdi_objects.h"
#include "gdi32/text_layout.h"
#include "controls.h"
#include "edit_editing.h"
#include "thread_state.h"

#include <algorithm>

namespace platform::user {
namespace {

constexpr int margin = 2;

const gdi::ResolvedFont &edit_font() {
    return *gdi::resolve_font(gdi::font_of(GetStockObject(SYSTEM_FONT))->request);
}

int width_of(const std::string &text, int count) {
    return gdi::text_width(edit_font(), std::string_view(text).substr(0, static_cast<std::size_t>(count)));
}

int index_at(const WindowPtr &window, int x) {
    int target = x - margin + window->control.scroll;
    const std::string &text = window->text;
    int pen = 0;
    for (int i = 0; i < static_cast<int>(text.size()); ++i) {
        int advance = edit_font().advance[static_cast<unsigned char>(text[i])];
        if (target < pen + advance / 2)
            return i;
        pen += advance;
    }
    return static_cast<int>(text.size());
}

void paint(HWND hwnd, const WindowPtr &window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    fill_solid(dc, client, is_enabled(*window) ? RGB(255, 255, 255) : GetSysColor(COLOR_BTNFACE));
    const std::string &text = window->text;
    int line_height = edit_font().line_height();
    int top = std::max(0, (static_cast<int>(client.bottom) - line_height) / 2);
    int x = margin - window->control.scroll;
    RECT area{margin, 0, client.right - margin, client.bottom};
    bool focused = thread_state().focus == hwnd;
    auto [start, end] = edit::selection(window);
    SetBkMode(dc, TRANSPARENT);
    // Before, in and after the selection; the selection shows only while the control has the focus.
    auto draw_part = [&](int from, int to, bool selected) {
        if (to <= from)
            return;
        RECT part{x + width_of(text, from), top, x + width_of(text, to), top + line_height};
        RECT clipped{std::max(part.left, area.left), part.top, std::min(part.right, area.right), part.bottom};
        if (selected && clipped.right > clipped.left)
            fill_solid(dc, clipped, GetSysColor(COLOR_HIGHLIGHT));
        SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : RGB(0, 0, 0));
        RECT draw{part.left, part.top, area.right, part.bottom};
        std::string piece = text.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
        DrawTextA(dc, piece.c_str(), -1, &draw, DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    };
    if (focused && start != end) {
        draw_part(0, start, false);
        draw_part(start, end, true);
        draw_part(end, static_cast<int>(text.size()), false);
    } else {
        draw_part(0, static_cast<int>(text.size()), false);
    }
    if (focused) {
        int caret_x = x + width_of(text, window->control.caret);
        fill_solid(dc, RECT{caret_x, top, caret_x + 1, top + line_height}, RGB(0, 0, 0));
    }
    // What scrolled out on the left is covered again by the margin.
    fill_solid(dc, RECT{0, 0, margin, client.bottom},
               is_enabled(*window) ? RGB(255, 255, 255) : GetSysColor(COLOR_BTNFACE));
    EndPaint(hwnd, &ps);
}

}  // namespace

// Scrolls so that the caret is inside the visible part.
void edit::keep_caret_visible(HWND hwnd, const WindowPtr &window) {
    RECT client;
    GetClientRect(hwnd, &client);
    int visible = std::max(1, static_cast<int>(client.right) - 2 * margin);
    int caret_x = width_of(window->text, window->control.caret);
    int &scroll = window->control.scroll;
    if (caret_x - scroll > visible)
        scroll = caret_x - visible + visible / 4;
    if (caret_x < scroll)
        scroll = std::max(0, caret_x - visible / 4);
    if (!(window->style & ES_AUTOHSCROLL))
        scroll = 0;
}

namespace {

bool accepts_input(const WindowPtr &window) {
    return is_enabled(*window) && !(window->style & ES_READONLY);
}

// The control characters Ctrl gives letters, which the edit control takes as its shortcuts.
void control_character(HWND hwnd, const WindowPtr &window, unsigned char c) {
    switch (c) {
        case 0x01:  // Ctrl+A
            window->control.anchor = 0;
            edit::move_caret(hwnd, window, static_cast<int>(window->text.size()), true);
            edit::offer_selection(window);
            break;
        case 0x03:  // Ctrl+C
            edit::copy(hwnd, window);
            break;
        case 0x16:  // Ctrl+V
            edit::paste(hwnd, window);
            break;
        case 0x18:  // Ctrl+X
            edit::cut(hwnd, window);
            break;
        case 0x1A:  // Ctrl+Z
            if (accepts_input(window))
                edit::undo(hwnd, window);
            break;
        case 0x08:  // Backspace
            if (accepts_input(window)) {
                auto &state = window->control;
                if (state.caret == state.anchor && state.caret > 0)
                    state.anchor = state.caret - 1;
                if (state.caret != state.anchor)
                    edit::replace_selection(hwnd, window, "", true);
            }
            break;
        default:
            break;
    }
}

void typed(HWND hwnd, const WindowPtr &window, unsigned char c) {
    if (c < 0x20) {
        control_character(hwnd, window, c);
        return;
    }
    if (c == 0x7F || !accepts_input(window))
        return;
    // ES_NUMBER refuses what is typed that is not a digit (a paste is taken whole, as Windows takes it).
    if ((window->style & ES_NUMBER) && !(c >= '0' && c <= '9')) {
        MessageBeep(0);
        return;
    }
    edit::replace_selection(hwnd, window, std::string(1, static_cast<char>(c)), true);
}

void key_down(HWND hwnd, const WindowPtr &window, WPARAM key) {
    auto &state = window->control;
    bool shift = GetKeyState(VK_SHIFT) < 0, control = GetKeyState(VK_CONTROL) < 0;
    const std::string &text = window->text;
    switch (key) {
        case VK_LEFT:
            edit::move_caret(hwnd, window, control ? edit::word_left(text, state.caret) : state.caret - 1, shift);
            break;
        case VK_RIGHT:
            edit::move_caret(hwnd, window, control ? edit::word_right(text, state.caret) : state.caret + 1, shift);
            break;
        case VK_HOME:
            edit::move_caret(hwnd, window, 0, shift);
            break;
        case VK_END:
            edit::move_caret(hwnd, window, static_cast<int>(text.size()), shift);
            break;
        case VK_INSERT:
            if (control)
                edit::copy(hwnd, window);
            else if (shift)
                edit::paste(hwnd, window);
            return;
        case VK_DELETE:
            if (shift && state.caret != state.anchor) {
                edit::cut(hwnd, window);
                return;
            }
            if (!accepts_input(window))
                return;
            if (state.caret == state.anchor && state.caret < static_cast<int>(text.size()))
                state.anchor = state.caret + 1;
            if (state.caret != state.anchor)
                edit::replace_selection(hwnd, window, "", true);
            return;
        default:
            return;
    }
    if (shift)
        edit::offer_selection(window);
}

}  // namespace

LRESULT CALLBACK edit_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto window = find_window_quiet(hwnd);
    if (!window)
        return 0;
    auto &state = window->control;
    switch (message) {
        case WM_CREATE:
            edit::convert_case(window, window->text);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            paint(hwnd, window);
            return 0;
        case WM_SETTEXT: {
            LRESULT result = DefWindowProcA(hwnd, message, wparam, lparam);
            edit::text_was_set(hwnd, window);
            return result;
        }
        case WM_CHAR:
            typed(hwnd, window, static_cast<unsigned char>(wparam));
            return 0;
        case WM_KEYDOWN:
            key_down(hwnd, window, wparam);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            SetFocus(hwnd);
            int at = index_at(window, static_cast<SHORT>(LOWORD(lparam)));
            if (message == WM_LBUTTONDBLCLK) {
                auto [start, end] = edit::word_at(window->text, at);
                state.anchor = start;
                edit::move_caret(hwnd, window, end, true);
                edit::offer_selection(window);
                return 0;
            }
            edit::move_caret(hwnd, window, at, (wparam & MK_SHIFT) != 0);
            state.selecting = true;
            SetCapture(hwnd);
            return 0;
        }
        case WM_MOUSEMOVE:
            if (state.selecting)
                edit::move_caret(hwnd, window, index_at(window, static_cast<SHORT>(LOWORD(lparam))), true);
            return 0;
        case WM_LBUTTONUP:
            if (state.selecting) {
                state.selecting = false;
                ReleaseCapture();
                edit::offer_selection(window);
            }
            return 0;
        case WM_MBUTTONDOWN:
            // X's paste: the primary selection goes where the middle button was pressed.
            SetFocus(hwnd);
            if (accepts_input(window)) {
                edit::move_caret(hwnd, window, index_at(window, static_cast<SHORT>(LOWORD(lparam))), false);
                edit::paste(hwnd, window, true);
            }
            return 0;
        case WM_SETFOCUS:
            InvalidateRect(hwnd, nullptr, TRUE);
            notify_parent(hwnd, EN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            InvalidateRect(hwnd, nullptr, TRUE);
            notify_parent(hwnd, EN_KILLFOCUS);
            return 0;
        case EM_SETSEL: {
            int length = static_cast<int>(window->text.size());
            int start = static_cast<int>(wparam), end = static_cast<int>(lparam);
            if (start < 0) {
                // -1 removes the selection and leaves the caret where it is.
                state.anchor = state.caret;
            } else {
                if (end < 0 || end > length)
                    end = length;
                state.anchor = std::min(start, length);
                state.caret = end;
            }
            edit::keep_caret_visible(hwnd, window);
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        }
        case EM_GETSEL: {
            auto [start, end] = edit::selection(window);
            if (wparam)
                *reinterpret_cast<DWORD *>(wparam) = static_cast<DWORD>(start);
            if (lparam)
                *reinterpret_cast<DWORD *>(lparam) = static_cast<DWORD>(end);
            return start > 0xFFFF || end > 0xFFFF ? -1 : MAKELRESULT(start, end);
        }
        case EM_REPLACESEL:
            edit::replace_selection(hwnd, window, lparam ? reinterpret_cast<const char *>(lparam) : "", wparam != 0);
            return 0;
        case EM_LIMITTEXT:
            // 0 asks for the most a single line can hold.
            state.limit = wparam == 0 || wparam > 0x7FFFFFFE ? 0x7FFFFFFE : static_cast<int>(wparam);
            return 0;
        case EM_GETLIMITTEXT:
            return state.limit;
        case EM_CANUNDO:
            return edit::can_undo(window);
        case EM_UNDO:
        case WM_UNDO:
            edit::undo(hwnd, window);
            return TRUE;
        case EM_EMPTYUNDOBUFFER:
            edit::empty_undo(window);
            return 0;
        case EM_SETREADONLY:
            window->style = wparam ? (window->style | ES_READONLY) : (window->style & ~ES_READONLY);
            InvalidateRect(hwnd, nullptr, TRUE);
            return TRUE;
        case WM_COPY:
            edit::copy(hwnd, window);
            return 0;
        case WM_CUT:
            edit::cut(hwnd, window);
            return 0;
        case WM_PASTE:
            edit::paste(hwnd, window);
            return 0;
        case WM_CLEAR:
            edit::clear(hwnd, window);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

}  // namespace platform::user
