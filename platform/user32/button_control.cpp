// Push buttons, default push buttons and check boxes.
#include "controls.h"
#include "thread_state.h"

#include <wingdi.h>

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

void paint_push_button(HDC dc, const WindowPtr &window, const RECT &client) {
    bool is_default = (window->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    bool pressed = window->control.pressed;
    fill_solid(dc, client, GetSysColor(COLOR_BTNFACE));
    RECT face = client;
    if (is_default) {
        fill_solid(dc, RECT{face.left, face.top, face.right, face.top + 1}, 0);
        fill_solid(dc, RECT{face.left, face.bottom - 1, face.right, face.bottom}, 0);
        fill_solid(dc, RECT{face.left, face.top, face.left + 1, face.bottom}, 0);
        fill_solid(dc, RECT{face.right - 1, face.top, face.right, face.bottom}, 0);
        face = {face.left + 1, face.top + 1, face.right - 1, face.bottom - 1};
    }
    COLORREF light = pressed ? RGB(64, 64, 64) : RGB(255, 255, 255);
    COLORREF dark = pressed ? RGB(255, 255, 255) : RGB(64, 64, 64);
    fill_solid(dc, RECT{face.left, face.top, face.right, face.top + 1}, light);
    fill_solid(dc, RECT{face.left, face.top, face.left + 1, face.bottom}, light);
    fill_solid(dc, RECT{face.left, face.bottom - 1, face.right, face.bottom}, dark);
    fill_solid(dc, RECT{face.right - 1, face.top, face.right, face.bottom}, dark);
    RECT text = face;
    if (pressed)
        text = {text.left + 1, text.top + 1, text.right + 1, text.bottom + 1};
    SetBkMode(dc, TRANSPARENT);
    if (!is_enabled(*window))
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    DrawTextA(dc, window->text.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (thread_state().focus == window->handle) {
        // A thin frame inside the face marks the focus.
        RECT f{face.left + 3, face.top + 3, face.right - 3, face.bottom - 3};
        fill_solid(dc, RECT{f.left, f.top, f.right, f.top + 1}, RGB(96, 96, 96));
        fill_solid(dc, RECT{f.left, f.bottom - 1, f.right, f.bottom}, RGB(96, 96, 96));
    }
}

void paint_check_box(HDC dc, const WindowPtr &window, const RECT &client) {
    fill_solid(dc, client, GetSysColor(COLOR_BTNFACE));
    int size = 13;
    int top = (client.bottom - client.top - size) / 2;
    RECT box{client.left, top, client.left + size, top + size};
    fill_solid(dc, box, RGB(0, 0, 0));
    fill_solid(dc, RECT{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1},
               window->control.pressed ? GetSysColor(COLOR_BTNFACE) : RGB(255, 255, 255));
    if (window->control.checked) {
        // A cross made of two diagonals.
        for (int i = 0; i < size - 6; ++i) {
            fill_solid(dc, RECT{box.left + 3 + i, box.top + 3 + i, box.left + 4 + i, box.top + 4 + i}, 0);
            fill_solid(dc, RECT{box.right - 4 - i, box.top + 3 + i, box.right - 3 - i, box.top + 4 + i}, 0);
        }
    }
    RECT text{box.right + 4, client.top, client.right, client.bottom};
    SetBkMode(dc, TRANSPARENT);
    if (!is_enabled(*window))
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    DrawTextA(dc, window->text.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (thread_state().focus == window->handle)
        fill_solid(dc, RECT{text.left, text.bottom - 2, text.right, text.bottom - 1}, RGB(96, 96, 96));
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
