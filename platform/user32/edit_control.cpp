// The single-line edit control: typing, caret, selection by keyboard and mouse, horizontal scrolling.
#include "gdi32/gdi_objects.h"
#include "gdi32/text_layout.h"
#include "controls.h"
#include "thread_state.h"

#include <algorithm>

namespace platform::user {
namespace {

constexpr int margin = 2;
constexpr std::size_t text_limit = 30000;

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

// Scrolls so that the caret is inside the visible part.
void keep_caret_visible(HWND hwnd, const WindowPtr &window) {
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

std::pair<int, int> selection(const WindowPtr &window) {
    return std::minmax(window->control.caret, window->control.anchor);
}

void replace_selection(HWND hwnd, const WindowPtr &window, const std::string &with) {
    auto [start, end] = selection(window);
    std::string &text = window->text;
    if (text.size() - (end - start) + with.size() > text_limit)
        return;
    text.replace(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start), with);
    window->control.caret = window->control.anchor = start + static_cast<int>(with.size());
    keep_caret_visible(hwnd, window);
    InvalidateRect(hwnd, nullptr, TRUE);
    notify_parent(hwnd, EN_CHANGE);
}

void move_caret(HWND hwnd, const WindowPtr &window, int to, bool extend) {
    window->control.caret = std::clamp(to, 0, static_cast<int>(window->text.size()));
    if (!extend)
        window->control.anchor = window->control.caret;
    keep_caret_visible(hwnd, window);
    InvalidateRect(hwnd, nullptr, TRUE);
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
    auto [start, end] = selection(window);
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

LRESULT CALLBACK edit_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto window = find_window_quiet(hwnd);
    if (!window)
        return 0;
    auto &state = window->control;
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            paint(hwnd, window);
            return 0;
        case WM_SETTEXT: {
            LRESULT result = DefWindowProcA(hwnd, message, wparam, lparam);
            state.caret = state.anchor = 0;
            state.scroll = 0;
            InvalidateRect(hwnd, nullptr, TRUE);
            notify_parent(hwnd, EN_CHANGE);
            return result;
        }
        case WM_CHAR: {
            if (!is_enabled(*window) || (window->style & ES_READONLY))
                return 0;
            auto c = static_cast<unsigned char>(wparam);
            if (c == 0x08) {
                if (state.caret == state.anchor && state.caret > 0)
                    state.anchor = state.caret - 1;
                replace_selection(hwnd, window, "");
            } else if (c >= 0x20) {
                char typed = static_cast<char>(c);
                if (window->style & ES_UPPERCASE)
                    typed = static_cast<char>(std::toupper(c));
                else if (window->style & ES_LOWERCASE)
                    typed = static_cast<char>(std::tolower(c));
                replace_selection(hwnd, window, std::string(1, typed));
            }
            return 0;
        }
        case WM_KEYDOWN: {
            bool shift = GetKeyState(VK_SHIFT) < 0;
            switch (wparam) {
                case VK_LEFT:
                    move_caret(hwnd, window, state.caret - 1, shift);
                    break;
                case VK_RIGHT:
                    move_caret(hwnd, window, state.caret + 1, shift);
                    break;
                case VK_HOME:
                    move_caret(hwnd, window, 0, shift);
                    break;
                case VK_END:
                    move_caret(hwnd, window, static_cast<int>(window->text.size()), shift);
                    break;
                case VK_DELETE:
                    if (!is_enabled(*window) || (window->style & ES_READONLY))
                        break;
                    if (state.caret == state.anchor && state.caret < static_cast<int>(window->text.size()))
                        state.anchor = state.caret + 1;
                    replace_selection(hwnd, window, "");
                    break;
                default:
                    break;
            }
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            SetFocus(hwnd);
            int at = index_at(window, static_cast<SHORT>(LOWORD(lparam)));
            bool shift = (wparam & MK_SHIFT) != 0;
            if (message == WM_LBUTTONDBLCLK) {
                state.anchor = 0;
                state.caret = static_cast<int>(window->text.size());
                InvalidateRect(hwnd, nullptr, TRUE);
                return 0;
            }
            move_caret(hwnd, window, at, shift);
            state.selecting = true;
            SetCapture(hwnd);
            return 0;
        }
        case WM_MOUSEMOVE:
            if (state.selecting)
                move_caret(hwnd, window, index_at(window, static_cast<SHORT>(LOWORD(lparam))), true);
            return 0;
        case WM_LBUTTONUP:
            if (state.selecting) {
                state.selecting = false;
                ReleaseCapture();
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
            keep_caret_visible(hwnd, window);
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        }
        case EM_GETSEL: {
            auto [start, end] = selection(window);
            if (wparam)
                *reinterpret_cast<DWORD *>(wparam) = static_cast<DWORD>(start);
            if (lparam)
                *reinterpret_cast<DWORD *>(lparam) = static_cast<DWORD>(end);
            return MAKELRESULT(start, end);
        }
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
