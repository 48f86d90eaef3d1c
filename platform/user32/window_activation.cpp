// Activation, keyboard focus and enabling: which window of a thread takes input.
#include "dialog.h"
#include "synthetic_input.h"
#include "thread_state.h"
#include "window_manager.h"

#include <algorithm>
#include <cstring>

using namespace platform::user;

namespace platform::user {

ThreadState &thread_state() {
    thread_local ThreadState state;
    return state;
}

void activate(const WindowPtr &window) {
    auto &state = thread_state();
    HWND previous = state.active;
    note_foreground(window->handle);
    if (previous == window->handle)
        return;
    state.active = window->handle;
    if (auto old = find_window_quiet(previous)) {
        call_window_proc(old, WM_NCACTIVATE, FALSE, 0);
        call_window_proc(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(window->handle));
        draw_nonclient(old);
    }
    display::backend().raise_surface(window->surface_id);
    display::backend().focus_surface(window->surface_id);
    call_window_proc(window, WM_NCACTIVATE, TRUE, 0);
    call_window_proc(window, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
    draw_nonclient(window);
}

void activate_other(const WindowPtr &leaving) {
    auto &state = thread_state();
    if (state.active != leaving->handle)
        return;
    state.active = nullptr;
    call_window_proc(leaving, WM_NCACTIVATE, FALSE, 0);
    call_window_proc(leaving, WM_ACTIVATE, WA_INACTIVE, 0);
    if (state.focus) {
        auto focus = find_window_quiet(state.focus);
        if (focus && top_level_of(focus) == leaving)
            set_focus(nullptr);
    }
    // The owner if it can take input, otherwise the most recent visible window of this thread.
    // An owner of another thread is that thread's business: activation is kept per thread.
    auto owner = find_window_quiet(leaving->owner);
    if (owner && owner->thread_id == GetCurrentThreadId() && (owner->style & WS_VISIBLE) && is_enabled(*owner) &&
        !owner->destroyed) {
        activate(owner);
        return;
    }
    auto candidates = windows_of_thread(GetCurrentThreadId());
    for (auto it = candidates.rbegin(); it != candidates.rend(); ++it) {
        auto &w = *it;
        if (w != leaving && !w->is_child() && (w->style & WS_VISIBLE) && is_enabled(*w) && !w->destroyed) {
            activate(w);
            return;
        }
    }
}

HWND set_focus(HWND hwnd) {
    auto &state = thread_state();
    HWND previous = state.focus;
    if (hwnd == previous)
        return previous;
    WindowPtr target;
    if (hwnd) {
        target = find_window(hwnd);
        if (!target)
            return nullptr;
        if (target->thread_id != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        auto top = top_level_of(target);
        if (state.active != top->handle)
            activate(top);
        if (state.focus == hwnd)
            return previous;  // activation already focused it
    }
    state.focus = hwnd;
    if (auto old = find_window_quiet(previous))
        call_window_proc(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (target && state.focus == hwnd)
        call_window_proc(target, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    return previous;
}

}  // namespace platform::user

extern "C" BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    auto window = find_window_quiet(hWnd);
    return window && is_enabled(*window);
}

extern "C" BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    auto window = find_window(hWnd);
    if (!window)
        return FALSE;
    // A modal box of one thread disables its owner of another thread; the owner's thread makes the change.
    if (window->thread_id != GetCurrentThreadId())
        return static_cast<BOOL>(
            call_on_window_thread(window, [hWnd, bEnable] { return LRESULT{EnableWindow(hWnd, bEnable)}; }));
    bool was_disabled = !is_enabled(*window);
    if (bEnable && was_disabled) {
        window->style &= ~WS_DISABLED;
        call_window_proc(window, WM_ENABLE, TRUE, 0);
        invalidate(window, nullptr, true);
    } else if (!bEnable && !was_disabled) {
        call_window_proc(window, WM_CANCELMODE, 0, 0);  // ends whatever mode the window was in first
        window->style |= WS_DISABLED;
        if (auto focus = find_window_quiet(thread_state().focus)) {
            for (auto w = focus; w; w = w->is_child() ? find_window_quiet(w->parent) : nullptr)
                if (w == window) {
                    set_focus(nullptr);
                    break;
                }
        }
        call_window_proc(window, WM_ENABLE, FALSE, 0);
        invalidate(window, nullptr, true);
    }
    return was_disabled;
}

extern "C" HWND WINAPI SetFocus(HWND hWnd) {
    return set_focus(hWnd);
}
extern "C" HWND WINAPI GetFocus(void) {
    return thread_state().focus;
}
extern "C" HWND WINAPI GetActiveWindow(void) {
    return thread_state().active;
}

extern "C" HWND WINAPI SetActiveWindow(HWND hWnd) {
    auto window = find_window(hWnd);
    if (!window)
        return nullptr;
    HWND previous = thread_state().active;
    activate(top_level_of(window));
    return previous;
}
