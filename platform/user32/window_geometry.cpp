// Window and client rectangles, moving and sizing, and coordinates between client and screen.
#include "dialog.h"
#include "thread_state.h"
#include "window_manager.h"

#include <algorithm>
#include <cstring>

using namespace platform::user;

extern "C" BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    auto window = find_window(hWnd);
    if (!window || !lpRect) {
        if (window)
            SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT client = client_in_window(*window);
    *lpRect = {0, 0, client.right - client.left, client.bottom - client.top};
    return TRUE;
}

extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    auto window = find_window(hWnd);
    if (!window || !lpRect)
        return FALSE;
    auto top = top_level_of(window);
    RECT inner = surface_rect(window);
    *lpRect = {top->rect.left + inner.left, top->rect.top + inner.top, top->rect.left + inner.right,
               top->rect.top + inner.bottom};
    return TRUE;
}

extern "C" BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    auto window = find_window(hWnd);
    if (!window)
        return FALSE;
    // A window of another thread is moved by that thread, which owns its state and gets its WM_SIZE and WM_MOVE.
    if (window->thread_id != GetCurrentThreadId())
        return static_cast<BOOL>(
            call_on_window_thread(window, [=] { return LRESULT{MoveWindow(hWnd, X, Y, nWidth, nHeight, bRepaint)}; }));
    window->rect = {X, Y, X + std::max(nWidth, 0), Y + std::max(nHeight, 0)};
    if (!window->is_child()) {
        window->surface->resize(std::max(nWidth, 1), std::max(nHeight, 1));
        platform::display::backend().move_surface(window->surface_id, window->rect);
    }
    RECT client = client_in_window(*window);
    call_window_proc(window, WM_SIZE, 0, MAKELPARAM(client.right - client.left, client.bottom - client.top));
    call_window_proc(window, WM_MOVE, 0, MAKELPARAM(X + client.left, Y + client.top));
    if (window->style & WS_VISIBLE) {
        draw_nonclient(window);
        invalidate(window, nullptr, true);
        if (window->is_child())
            if (auto parent = find_window_quiet(window->parent))
                invalidate(parent, nullptr, true);
    }
    return TRUE;
}

extern "C" BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    auto window = find_window(hWnd);
    if (!window || !lpPoint)
        return FALSE;
    POINT origin = client_origin_on_screen(window);
    lpPoint->x -= origin.x;
    lpPoint->y -= origin.y;
    return TRUE;
}

extern "C" BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    auto window = find_window(hWnd);
    if (!window || !lpPoint)
        return FALSE;
    POINT origin = client_origin_on_screen(window);
    lpPoint->x += origin.x;
    lpPoint->y += origin.y;
    return TRUE;
}
