// Static text and static icons.
#include "controls.h"

#include <wingdi.h>

#include <string>

namespace platform::user {
namespace {

HICON load_named_icon(HINSTANCE instance, const std::string &name) {
    if (name.size() > 1 && name[0] == '#' && name.find_first_not_of("0123456789", 1) == std::string::npos &&
        name.size() <= 6) {
        LPCSTR id = MAKEINTRESOURCEA(std::stoi(name.substr(1)) & 0xFFFF);
        HICON icon = LoadIconA(instance, id);
        return icon ? icon : LoadIconA(nullptr, id);
    }
    return LoadIconA(instance, name.c_str());
}

}  // namespace

LRESULT CALLBACK static_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto window = find_window_quiet(hwnd);
    if (!window)
        return 0;
    DWORD type = window->style & SS_TYPEMASK;
    switch (message) {
        case WM_CREATE:
            if (type == SS_ICON) {
                // The text names the icon resource ("#number" for a numbered one, a system icon among them);
                // the control takes the icon's size.
                window->control.icon = load_named_icon(window->instance, window->text);
                window->rect.right = window->rect.left + 32;
                window->rect.bottom = window->rect.top + 32;
            }
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT client;
            GetClientRect(hwnd, &client);
            fill_solid(dc, client, GetSysColor(COLOR_BTNFACE));
            if (type == SS_ICON) {
                if (window->control.icon)
                    DrawIcon(dc, 0, 0, window->control.icon);
            } else {
                SetBkMode(dc, TRANSPARENT);
                UINT format = DT_WORDBREAK | ((window->style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
                if (type == SS_CENTER)
                    format |= DT_CENTER;
                else if (type == SS_RIGHT)
                    format |= DT_RIGHT;
                if (!is_enabled(*window))
                    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
                DrawTextA(dc, window->text.c_str(), -1, &client, format);
            }
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_SETTEXT: {
            LRESULT result = DefWindowProcA(hwnd, message, wparam, lparam);
            InvalidateRect(hwnd, nullptr, TRUE);
            return result;
        }
        case WM_NCHITTEST:
            return HTTRANSPARENT;
        case WM_GETDLGCODE:
            return DLGC_STATIC;
        default:
            return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

}  // namespace platform::user
