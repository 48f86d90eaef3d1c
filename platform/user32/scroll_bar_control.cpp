// The scroll bar control (SBS_VERT): arrows and track tell the parent with WM_VSCROLL, and the release
// of the button ends with SB_ENDSCROLL.
#include "controls.h"
#include "scroll_bar_geometry.h"

namespace platform::user {
namespace {

RECT bar_of(HWND hwnd) {
    RECT client;
    GetClientRect(hwnd, &client);
    return client;
}

void tell_parent(const WindowPtr &window, int code, int position) {
    SendMessageA(window->parent, WM_VSCROLL, MAKEWPARAM(code, position), reinterpret_cast<LPARAM>(window->handle));
}

}  // namespace

LRESULT CALLBACK scroll_bar_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto window = find_window_quiet(hwnd);
    if (!window)
        return 0;
    auto &state = window->control;
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            draw_vertical_scroll_bar(dc, bar_of(hwnd), window->vertical, is_enabled(*window));
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            POINT at{static_cast<SHORT>(LOWORD(lparam)), static_cast<SHORT>(HIWORD(lparam))};
            state.tracking_part = vertical_part_at(bar_of(hwnd), window->vertical, at);
            if (state.tracking_part < 0)
                return 0;
            SetCapture(hwnd);
            if (state.tracking_part != SB_THUMBTRACK)
                tell_parent(window, state.tracking_part, 0);
            return 0;
        }
        case WM_MOUSEMOVE:
            if (state.tracking_part == SB_THUMBTRACK)
                tell_parent(window, SB_THUMBTRACK,
                            vertical_position_at(bar_of(hwnd), window->vertical, static_cast<SHORT>(HIWORD(lparam))));
            return 0;
        case WM_LBUTTONUP:
            if (state.tracking_part >= 0) {
                if (state.tracking_part == SB_THUMBTRACK)
                    tell_parent(
                        window, SB_THUMBPOSITION,
                        vertical_position_at(bar_of(hwnd), window->vertical, static_cast<SHORT>(HIWORD(lparam))));
                state.tracking_part = -1;
                ReleaseCapture();
                tell_parent(window, SB_ENDSCROLL, 0);
            }
            return 0;
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

}  // namespace platform::user
