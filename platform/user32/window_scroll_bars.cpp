// Scroll bar range and position, for window scroll bars (SB_VERT) and scroll bar controls (SB_CTL).
#include "scroll_bar_geometry.h"
#include "window_manager.h"

#include <algorithm>

namespace platform::user {

// The state a call names; null (with the last error set) when the window has no such bar.
ScrollBar *scroll_bar_of(const WindowPtr &window, int bar) {
    bool control = window->window_class->name == "ScrollBar";
    if (bar == SB_CTL && control)
        return &window->vertical;
    if (bar == SB_VERT && !control)
        return &window->vertical;
    if (bar == SB_HORZ && !control)
        return &window->horizontal;
    SetLastError(bar == SB_CTL ? ERROR_INVALID_PARAMETER : ERROR_NO_SCROLLBARS);
    return nullptr;
}

void redraw_scroll_bar(const WindowPtr &window) {
    if (window->window_class->name == "ScrollBar")
        invalidate(window, nullptr, true);
    else if (window->style & WS_VISIBLE)
        draw_nonclient(window);
}

}  // namespace platform::user

using namespace platform::user;

extern "C" BOOL WINAPI SetScrollRange(HWND hWnd, int nBar, int nMinPos, int nMaxPos, BOOL bRedraw) {
    auto window = find_window(hWnd);
    if (!window)
        return FALSE;
    ScrollBar *state = scroll_bar_of(window, nBar);
    if (!state)
        return FALSE;
    state->min = nMinPos;
    state->max = std::max(nMinPos, nMaxPos);
    state->pos = std::clamp(state->pos, state->min, state->max);
    if (bRedraw)
        redraw_scroll_bar(window);
    return TRUE;
}

extern "C" int WINAPI SetScrollPos(HWND hWnd, int nBar, int nPos, BOOL bRedraw) {
    auto window = find_window(hWnd);
    if (!window)
        return 0;
    ScrollBar *state = scroll_bar_of(window, nBar);
    if (!state)
        return 0;
    int previous = state->pos;
    state->pos = std::clamp(nPos, state->min, state->max);
    if (bRedraw)
        redraw_scroll_bar(window);
    return previous;
}

extern "C" int WINAPI GetScrollPos(HWND hWnd, int nBar) {
    auto window = find_window(hWnd);
    if (!window)
        return 0;
    ScrollBar *state = scroll_bar_of(window, nBar);
    return state ? state->pos : 0;
}

extern "C" BOOL WINAPI GetScrollRange(HWND hWnd, int nBar, LPINT lpMinPos, LPINT lpMaxPos) {
    auto window = find_window(hWnd);
    if (!window || !lpMinPos || !lpMaxPos)
        return FALSE;
    ScrollBar *state = scroll_bar_of(window, nBar);
    if (!state)
        return FALSE;
    *lpMinPos = state->min;
    *lpMaxPos = state->max;
    return TRUE;
}
