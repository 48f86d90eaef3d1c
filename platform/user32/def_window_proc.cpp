// The default handling of messages a window procedure passes on.
#include "gdi32/gdi_objects.h"
#include "scroll_bar_geometry.h"
#include "thread_state.h"
#include "window_manager.h"

#include <algorithm>
#include <cstring>

namespace platform::user {

void track_menu_bar(const WindowPtr &window, POINT screen, bool from_keyboard);

namespace {

// A press on a window's vertical scroll bar: the first code at once, thumb moves while the button is
// held, and SB_ENDSCROLL (after SB_THUMBPOSITION for the thumb) when it is released.
void track_window_scroll_bar(const WindowPtr &window, POINT screen) {
    auto top = top_level_of(window);
    RECT bar = window_vertical_bar(window);
    POINT at{screen.x - top->rect.left, screen.y - top->rect.top};
    int part = vertical_part_at(bar, window->vertical, at);
    if (part < 0)
        return;
    HWND hwnd = window->handle;
    if (part != SB_THUMBTRACK)
        SendMessageA(hwnd, WM_VSCROLL, static_cast<WPARAM>(part), 0);
    int position = window->vertical.pos;
    track_mouse([&](POINT where, bool released) {
        if (part != SB_THUMBTRACK || !IsWindow(hwnd))
            return;
        position = vertical_position_at(bar, window->vertical, where.y - top->rect.top);
        SendMessageA(hwnd, WM_VSCROLL, MAKEWPARAM(released ? SB_THUMBPOSITION : SB_THUMBTRACK, position), 0);
    });
    if (IsWindow(hwnd))
        SendMessageA(hwnd, WM_VSCROLL, SB_ENDSCROLL, 0);
}

LRESULT erase_background(const WindowPtr &window, HDC dc) {
    HBRUSH brush = window->window_class->background;
    COLORREF color;
    if (!brush || !gdi::brush_color(brush, color))
        return 0;
    RECT client;
    GetClientRect(window->handle, &client);
    FillRect(dc, &client, brush);
    return 1;
}

}  // namespace
}  // namespace platform::user

using namespace platform::user;

extern "C" LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto window = find_window(hWnd);
    if (!window)
        return 0;
    switch (Msg) {
        case WM_NCCREATE: {
            auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
            if (create && create->lpszName && !IS_INTRESOURCE(create->lpszName))
                window->text = create->lpszName;
            return TRUE;
        }
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hWnd, &ps);
            EndPaint(hWnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return erase_background(window, reinterpret_cast<HDC>(wParam));
        case WM_SETTEXT: {
            auto *text = reinterpret_cast<const char *>(lParam);
            window->text = text ? text : "";
            if (!window->is_child())
                platform::display::backend().set_title(window->surface_id, window->text);
            draw_nonclient(window);
            return TRUE;
        }
        case WM_GETTEXT: {
            auto *buffer = reinterpret_cast<char *>(lParam);
            if (!buffer || wParam == 0)
                return 0;
            std::size_t count = std::min<std::size_t>(window->text.size(), wParam - 1);
            std::memcpy(buffer, window->text.data(), count);
            buffer[count] = 0;
            return static_cast<LRESULT>(count);
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(window->text.size());
        case WM_NCHITTEST:
            return hit_test(window, POINT{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))});
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONDBLCLK: {
            POINT screen{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
            switch (wParam) {
                case HTCLOSE:
                    SendMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, lParam);
                    break;
                case HTVSCROLL:
                    track_window_scroll_bar(window, screen);
                    break;
                case HTMENU:
                    SendMessageA(hWnd, WM_SYSCOMMAND, SC_MOUSEMENU, lParam);
                    break;
                case HTCAPTION:
                    activate(top_level_of(window));
                    break;
                default:
                    break;
            }
            return 0;
        }
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_CLOSE:
                    SendMessageA(hWnd, WM_CLOSE, 0, 0);
                    break;
                case SC_MOUSEMENU:
                    track_menu_bar(
                        window, POINT{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))}, false);
                    break;
                case SC_KEYMENU:
                    track_menu_bar(window, POINT{}, true);
                    break;
                default:
                    break;
            }
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4 && !window->is_child()) {
                SendMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
                return 0;
            }
            if (wParam == VK_MENU || wParam == VK_F10) {
                auto top = top_level_of(window);
                if (top->menu)
                    SendMessageA(top->handle, WM_SYSCOMMAND, SC_KEYMENU, 0);
            }
            return 0;
        case WM_WINDOWPOSCHANGED: {
            // What a program that leaves this message alone hears of a new place and size.
            auto *pos = reinterpret_cast<const WINDOWPOS *>(lParam);
            if (!pos)
                return 0;
            RECT client = client_in_window(*window);
            if (!(pos->flags & SWP_NOCLIENTMOVE)) {
                POINT origin = client_origin_on_screen(window);
                SendMessageA(hWnd, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
            }
            if (!(pos->flags & SWP_NOCLIENTSIZE)) {
                WPARAM kind = window->show_state == platform::display::ShowState::maximized   ? SIZE_MAXIMIZED
                              : window->show_state == platform::display::ShowState::minimized ? SIZE_MINIMIZED
                                                                                              : SIZE_RESTORED;
                SendMessageA(hWnd, WM_SIZE, kind, MAKELPARAM(client.right - client.left, client.bottom - client.top));
            }
            return 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE)
                set_focus(hWnd);
            return 0;
        case WM_MOUSEACTIVATE:
            return 1;  // MA_ACTIVATE
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<LRESULT>(GetSysColorBrush(Msg == WM_CTLCOLOREDIT ? COLOR_WINDOW : COLOR_BTNFACE));
        default:
            return 0;
    }
}

extern "C" LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}
