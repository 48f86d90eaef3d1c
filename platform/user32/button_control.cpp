// Push buttons, default push buttons and check boxes.
#include "controls.h"
#include "thread_state.h"

#include <wingdi.h>

#include <algorithm>

namespace platform::user {
namespace {

bool is_check_box(DWORD style) {
    DWORD type = style & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
}

void click(HWND hwnd, const WindowPtr &window) {
    if ((window->style & BS_TYPEMASK) == BS_AUTOCHECKBOX)
        window->control.checked = !window->control.checked;
    InvalidateRect(hwnd, nullptr, TRUE);
    notify_parent(hwnd, BN_CLICKED);
}

void frame_line(HDC dc, RECT &area, int color_index) {
    DrawEdge(dc, &area, BDR_OUTER, BF_RECT | BF_ADJUST | (color_index == COLOR_WINDOWFRAME ? BF_MONO : BF_FLAT));
}

// A push button as NT 4 drew it: a raised bevel with the highlight outermost; the default button in a black
// frame; held down, a black and a grey frame around a flat face with the text one pixel down and right;
// the focus a dotted frame inside the face.
void paint_push_button(HDC dc, const WindowPtr &window, const RECT &client) {
    bool is_default = (window->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    bool pressed = window->control.pressed;
    RECT face = client;
    FillRect(dc, &face, GetSysColorBrush(COLOR_BTNFACE));
    if (is_default || pressed)
        frame_line(dc, face, COLOR_WINDOWFRAME);
    if (pressed)
        frame_line(dc, face, COLOR_BTNSHADOW);
    else
        DrawEdge(dc, &face, EDGE_RAISED, BF_RECT | BF_SOFT | BF_ADJUST);
    RECT text = face;
    if (pressed)
        text = {text.left + 1, text.top + 1, text.right + 1, text.bottom + 1};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(is_enabled(*window) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    DrawTextA(dc, window->text.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (thread_state().focus == window->handle) {
        RECT focus{face.left + 2, face.top + 2, face.right - 2, face.bottom - 2};
        DrawFocusRect(dc, &focus);
    }
}

// The check mark: seven columns three pixels tall, down to the third column and up to the seventh.
void draw_check_mark(HDC dc, int left, int top) {
    static constexpr int column_top[7] = {2, 3, 4, 3, 2, 1, 0};
    for (int i = 0; i < 7; ++i) {
        RECT run{left + i, top + column_top[i], left + i + 1, top + column_top[i] + 3};
        FillRect(dc, &run, GetSysColorBrush(COLOR_WINDOWTEXT));
    }
}

// A check box: a 13-pixel sunken square, white (the face while held down), the mark inside, the text at
// its right; the focus a dotted frame around the text.
void paint_check_box(HDC dc, const WindowPtr &window, const RECT &client) {
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    constexpr int size = 13;
    int top = (client.bottom - client.top - size) / 2;
    RECT box{client.left, top, client.left + size, top + size};
    DrawEdge(dc, &box, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    FillRect(dc, &box, GetSysColorBrush(window->control.pressed ? COLOR_BTNFACE : COLOR_WINDOW));
    if (window->control.checked)
        draw_check_mark(dc, box.left + 1, box.top + 1);
    RECT text{client.left + size + 4, client.top, client.right, client.bottom};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(is_enabled(*window) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    DrawTextA(dc, window->text.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (thread_state().focus == window->handle) {
        RECT extent = text;
        DrawTextA(dc, window->text.c_str(), -1, &extent, DT_LEFT | DT_SINGLELINE | DT_CALCRECT);
        int height = extent.bottom - extent.top;
        RECT focus{text.left - 1, text.top + (text.bottom - text.top - height) / 2 - 1,
                   std::min(extent.right + 1, client.right), 0};
        focus.bottom = std::min<LONG>(focus.top + height + 2, client.bottom);
        focus.top = std::max<LONG>(focus.top, client.top);
        DrawFocusRect(dc, &focus);
    }
}

}  // namespace

LRESULT CALLBACK button_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto window = find_window_quiet(hwnd);
    if (!window)
        return 0;
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT client;
            GetClientRect(hwnd, &client);
            if (is_check_box(window->style))
                paint_check_box(dc, window, client);
            else
                paint_push_button(dc, window, client);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            SetFocus(hwnd);
            SetCapture(hwnd);
            window->control.pressed = true;
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_LBUTTONUP: {
            if (GetCapture() == hwnd)
                ReleaseCapture();
            bool was_pressed = window->control.pressed;
            window->control.pressed = false;
            RECT client;
            GetClientRect(hwnd, &client);
            POINT at{static_cast<SHORT>(LOWORD(lparam)), static_cast<SHORT>(HIWORD(lparam))};
            bool over = at.x >= 0 && at.y >= 0 && at.x < client.right && at.y < client.bottom;
            InvalidateRect(hwnd, nullptr, TRUE);
            if (was_pressed && over)
                click(hwnd, window);
            return 0;
        }
        case WM_CHAR:
            if (wparam == ' ')
                click(hwnd, window);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_SETTEXT: {
            LRESULT result = DefWindowProcA(hwnd, message, wparam, lparam);
            InvalidateRect(hwnd, nullptr, TRUE);
            return result;
        }
        case BM_GETCHECK:
            return window->control.checked ? BST_CHECKED : BST_UNCHECKED;
        case BM_SETCHECK:
            if (is_check_box(window->style)) {
                window->control.checked = wparam != BST_UNCHECKED;
                InvalidateRect(hwnd, nullptr, TRUE);
            }
            return 0;
        case BM_GETSTATE:
            return (window->control.checked ? BST_CHECKED : 0) | (window->control.pressed ? BST_PUSHED : 0) |
                   (thread_state().focus == hwnd ? BST_FOCUS : 0);
        case BM_CLICK:
            click(hwnd, window);
            return 0;
        case BM_SETSTYLE:
            window->style = (window->style & ~0xFFFFu) | LOWORD(wparam);
            if (lparam)
                InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_GETDLGCODE:
            if (is_check_box(window->style))
                return DLGC_BUTTON;
            return DLGC_BUTTON |
                   ((window->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        default:
            return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

}  // namespace platform::user
