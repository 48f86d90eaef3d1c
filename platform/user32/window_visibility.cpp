// Showing and hiding windows.
#include "dialog.h"
#include "thread_state.h"
#include "window_manager.h"

#include <algorithm>
#include <cstring>

using namespace platform::user;

extern "C" BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    auto window = find_window(hWnd);
    if (!window)
        return FALSE;
    bool was_visible = window->style & WS_VISIBLE;
    if (nCmdShow == SW_HIDE) {
        if (!was_visible)
            return FALSE;
        call_window_proc(window, WM_SHOWWINDOW, FALSE, 0);
        window->style &= ~WS_VISIBLE;
        validate_tree(window);
        if (window->is_child()) {
            if (auto parent = find_window_quiet(window->parent))
                invalidate(parent, &window->rect, true);
        } else {
            platform::display::backend().show_surface(window->surface_id, false);
            activate_other(window);
        }
        if (auto focus = find_window_quiet(thread_state().focus);
            focus && (focus == window || top_level_of(focus) == window))
            set_focus(nullptr);
        return TRUE;
    }
    if (!was_visible) {
        call_window_proc(window, WM_SHOWWINDOW, TRUE, 0);
        if (!IsWindow(hWnd))
            return FALSE;
        window->style |= WS_VISIBLE;
        draw_nonclient(window);
        invalidate(window, nullptr, true);
        if (!window->is_child()) {
            auto &backend = platform::display::backend();
            backend.move_surface(window->surface_id, window->rect);
            backend.present(window->surface_id, window->surface->image());
            backend.show_surface(window->surface_id, true);
        }
    }
    bool activates = nCmdShow != SW_SHOWNA && nCmdShow != SW_SHOWNOACTIVATE && nCmdShow != SW_SHOWMINNOACTIVE &&
                     nCmdShow != SW_MINIMIZE;
    if (!window->is_child() && activates && !was_visible)
        activate(window);
    return was_visible;
}

extern "C" BOOL WINAPI IsWindowVisible(HWND hWnd) {
    auto window = find_window_quiet(hWnd);
    return window && is_visible_chain(window);
}
