// What a window manager does to a top-level window, as Windows itself would tell the program: a new place
// or size, a new show state, activation and the loss of it to another program.
#include "thread_state.h"
#include "window_manager.h"

#include <algorithm>

namespace platform::user {
namespace {

bool same_rect(const RECT &a, const RECT &b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

WPARAM size_kind(const Window &window) {
    switch (window.show_state) {
        case display::ShowState::maximized:
            return SIZE_MAXIMIZED;
        case display::ShowState::minimized:
            return SIZE_MINIMIZED;
        default:
            return SIZE_RESTORED;
    }
}

RECT client_size(const Window &window) {
    RECT client = client_in_window(window);
    return {0, 0, client.right - client.left, client.bottom - client.top};
}

// The part of the new client area that was not client area before: the strips right of and below the old
// one, where the old frame and scroll bars were drawn. A class asking for a redraw on a new size repaints all.
void invalidate_uncovered(const WindowPtr &window, const RECT &old_client) {
    RECT now = client_size(*window);
    UINT style = window->window_class->style;
    bool wider = now.right != old_client.right, taller = now.bottom != old_client.bottom;
    if ((wider && (style & CS_HREDRAW)) || (taller && (style & CS_VREDRAW))) {
        invalidate(window, nullptr, true);
        return;
    }
    RECT right{old_client.right, 0, now.right, now.bottom};
    RECT below{0, old_client.bottom, now.right, now.bottom};
    invalidate(window, &right, true);
    invalidate(window, &below, true);
}

void manager_moved(const WindowPtr &window, RECT area) {
    if (same_rect(area, window->rect))
        return;
    HWND hwnd = window->handle;
    bool moved = area.left != window->rect.left || area.top != window->rect.top;
    bool sized = area.right - area.left != window->rect.right - window->rect.left ||
                 area.bottom - area.top != window->rect.bottom - window->rect.top;
    WINDOWPOS pos{hwnd,
                  nullptr,
                  area.left,
                  area.top,
                  area.right - area.left,
                  area.bottom - area.top,
                  static_cast<UINT>(SWP_NOZORDER | SWP_NOACTIVATE | (moved ? 0 : SWP_NOMOVE | SWP_NOCLIENTMOVE) |
                                    (sized ? 0 : SWP_NOSIZE | SWP_NOCLIENTSIZE))};
    call_window_proc(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    if (!IsWindow(hwnd))
        return;
    // The program may have changed the place or size it is given; the manager then hears of that.
    RECT decided{pos.x, pos.y, pos.x + std::max(pos.cx, 0), pos.y + std::max(pos.cy, 0)};
    RECT old_client = client_size(*window);
    window->rect = decided;
    window->surface->resize(std::max(pos.cx, 1), std::max(pos.cy, 1));
    if (!same_rect(decided, area))
        display::backend().move_surface(window->surface_id, decided);
    call_window_proc(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    if (!IsWindow(hwnd) || !(window->style & WS_VISIBLE))
        return;
    draw_nonclient(window);
    invalidate_uncovered(window, old_client);
}

void manager_show_state(const WindowPtr &window, display::ShowState state) {
    if (window->show_state == state)
        return;
    bool was_minimized = window->show_state == display::ShowState::minimized;
    window->show_state = state;
    RECT client = state == display::ShowState::minimized ? RECT{} : client_size(*window);
    call_window_proc(window, WM_SIZE, size_kind(*window), MAKELPARAM(client.right, client.bottom));
    if (was_minimized && IsWindow(window->handle) && (window->style & WS_VISIBLE))
        invalidate(window, nullptr, true);
}

// The window that takes activation for `window`: itself, or when it is disabled (an owner under a modal
// box), the enabled window it owns that was shown last, as a click on a disabled owner does on Windows.
WindowPtr activation_target(const WindowPtr &window) {
    if (is_enabled(*window))
        return window;
    auto mine = windows_of_thread(GetCurrentThreadId());
    for (auto it = mine.rbegin(); it != mine.rend(); ++it)
        if ((*it)->owner == window->handle && !(*it)->is_child() && !(*it)->destroyed && ((*it)->style & WS_VISIBLE))
            return activation_target(*it);
    return nullptr;
}

// Another program took the keyboard: the active window hears it is inactive and the focus goes.
void manager_deactivated(const WindowPtr &window) {
    auto &state = thread_state();
    if (state.active != window->handle)
        return;
    state.active = nullptr;
    call_window_proc(window, WM_NCACTIVATE, FALSE, 0);
    call_window_proc(window, WM_ACTIVATE, WA_INACTIVE, 0);
    if (IsWindow(window->handle))
        draw_nonclient(window);
    set_focus(nullptr);
}

}  // namespace

bool apply_manager_event(const display::InputEvent &event) {
    using display::InputType;
    if (event.type != InputType::moved && event.type != InputType::show_state && event.type != InputType::activated &&
        event.type != InputType::deactivated)
        return false;
    auto window = window_of_surface(event.surface);
    if (!window || window->destroyed || window->thread_id != GetCurrentThreadId())
        return true;
    switch (event.type) {
        case InputType::moved:
            manager_moved(window, event.area);
            break;
        case InputType::show_state:
            manager_show_state(window, event.state);
            break;
        case InputType::activated:
            if (display::backend().focused_surface() != event.surface)
                break;  // the focus has moved on since
            if (auto target = activation_target(window); target && (target->style & WS_VISIBLE))
                activate(target);
            break;
        default:
            if (!display::backend().focused_surface())
                manager_deactivated(window);
            break;
    }
    return true;
}

}  // namespace platform::user

using namespace platform::user;

extern "C" BOOL WINAPI IsZoomed(HWND hWnd) {
    auto window = find_window_quiet(hWnd);
    return window && window->show_state == platform::display::ShowState::maximized;
}

extern "C" BOOL WINAPI IsIconic(HWND hWnd) {
    auto window = find_window_quiet(hWnd);
    return window && window->show_state == platform::display::ShowState::minimized;
}
