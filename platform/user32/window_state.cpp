// Showing, activating, focusing, enabling and describing windows.
#include "user32/dialog.h"
#include "user32/thread_state.h"
#include "user32/window_manager.h"

#include <algorithm>
#include <cstring>

namespace platform::user {

ThreadState &thread_state() {
    thread_local ThreadState state;
    return state;
}

void activate(const WindowPtr &window) {
    auto &state = thread_state();
    HWND previous = state.active;
    if (previous == window->handle)
        return;
    state.active = window->handle;
    if (auto old = find_window_quiet(previous)) {
        call_window_proc(old, WM_NCACTIVATE, FALSE, 0);
        call_window_proc(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(window->handle));
        draw_nonclient(old);
    }
    display::backend().raise_surface(window->surface_id);
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
        validate(window, nullptr);
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

extern "C" BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    if (!find_window(hWnd))
        return FALSE;
    return static_cast<BOOL>(SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)));
}

extern "C" int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    if (!find_window(hWnd) || !lpString || nMaxCount <= 0)
        return 0;
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXT, nMaxCount, reinterpret_cast<LPARAM>(lpString)));
}

extern "C" int WINAPI GetWindowTextLengthA(HWND hWnd) {
    if (!find_window(hWnd))
        return 0;
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

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

extern "C" HWND WINAPI GetParent(HWND hWnd) {
    auto window = find_window(hWnd);
    if (!window)
        return nullptr;
    return window->is_child() ? window->parent : window->owner;
}

extern "C" HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    auto window = find_window(hWnd);
    if (!window)
        return nullptr;
    if (uCmd == GW_OWNER)
        return window->is_child() ? nullptr : window->owner;
    if (uCmd == GW_CHILD)
        return window->children.empty() ? nullptr : window->children.front();
    auto parent = find_window_quiet(window->parent);
    if (!parent || !window->is_child())
        return nullptr;
    auto &siblings = parent->children;
    auto at = std::find(siblings.begin(), siblings.end(), hWnd);
    switch (uCmd) {
        case GW_HWNDFIRST:
            return siblings.front();
        case GW_HWNDLAST:
            return siblings.back();
        case GW_HWNDNEXT:
            return (at != siblings.end() && at + 1 != siblings.end()) ? *(at + 1) : nullptr;
        case GW_HWNDPREV:
            return (at != siblings.begin() && at != siblings.end()) ? *(at - 1) : nullptr;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
    }
}

extern "C" DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    auto window = find_window(hWnd);
    if (!window)
        return 0;
    if (lpdwProcessId)
        *lpdwProcessId = GetCurrentProcessId();
    return window->thread_id;
}

extern "C" LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    auto window = find_window(hWnd);
    if (!window)
        return 0;
    if (window->dialog && nIndex >= 0) {
        // A dialog's own words come before any extra bytes of its class.
        if (nIndex == DWLP_MSGRESULT)
            return window->dialog->msg_result;
        if (nIndex == static_cast<int>(DWLP_DLGPROC))
            return reinterpret_cast<LONG_PTR>(window->dialog->proc);
        if (nIndex == static_cast<int>(DWLP_USER))
            return window->dialog->user;
    }
    if (nIndex >= 0) {
        if (static_cast<std::size_t>(nIndex) + sizeof(LONG) > window->extra.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        std::size_t size = std::min(sizeof(LONG_PTR), window->extra.size() - nIndex);
        LONG_PTR value = 0;
        std::memcpy(&value, window->extra.data() + nIndex, size);
        return size == sizeof(LONG) ? static_cast<LONG>(value) : value;
    }
    switch (nIndex) {
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(window->proc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(window->instance);
        case GWLP_ID:
            return window->id;
        case GWL_STYLE:
            return static_cast<LONG>(window->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(window->ex_style);
        case GWLP_USERDATA:
            return window->user_data;
        default:
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
    }
}

extern "C" LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    auto window = find_window(hWnd);
    if (!window)
        return 0;
    LONG_PTR previous = GetWindowLongPtrA(hWnd, nIndex);
    if (window->dialog && nIndex >= 0) {
        if (nIndex == DWLP_MSGRESULT) {
            window->dialog->msg_result = dwNewLong;
            return previous;
        }
        if (nIndex == static_cast<int>(DWLP_DLGPROC)) {
            window->dialog->proc = reinterpret_cast<DLGPROC>(dwNewLong);
            return previous;
        }
        if (nIndex == static_cast<int>(DWLP_USER)) {
            window->dialog->user = dwNewLong;
            return previous;
        }
    }
    if (nIndex >= 0) {
        if (static_cast<std::size_t>(nIndex) + sizeof(LONG) > window->extra.size())
            return 0;
        std::size_t size = std::min(sizeof(LONG_PTR), window->extra.size() - nIndex);
        std::memcpy(window->extra.data() + nIndex, &dwNewLong, size);
        return previous;
    }
    switch (nIndex) {
        case GWLP_WNDPROC:
            window->proc = reinterpret_cast<WNDPROC>(dwNewLong);
            break;
        case GWLP_HINSTANCE:
            window->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
            break;
        case GWLP_ID:
            window->id = dwNewLong;
            break;
        case GWL_STYLE:
            window->style = static_cast<DWORD>(dwNewLong);
            break;
        case GWL_EXSTYLE:
            window->ex_style = static_cast<DWORD>(dwNewLong);
            break;
        case GWLP_USERDATA:
            window->user_data = dwNewLong;
            break;
        default:
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
    }
    return previous;
}

extern "C" LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
    if (nIndex >= 0) {
        auto window = find_window(hWnd);
        if (!window)
            return 0;
        if (static_cast<std::size_t>(nIndex) + sizeof(LONG) > window->extra.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG value;
        std::memcpy(&value, window->extra.data() + nIndex, sizeof value);
        return value;
    }
    return static_cast<LONG>(GetWindowLongPtrA(hWnd, nIndex));
}

extern "C" LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    if (nIndex >= 0) {
        auto window = find_window(hWnd);
        if (!window)
            return 0;
        if (static_cast<std::size_t>(nIndex) + sizeof(LONG) > window->extra.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG previous;
        std::memcpy(&previous, window->extra.data() + nIndex, sizeof previous);
        std::memcpy(window->extra.data() + nIndex, &dwNewLong, sizeof dwNewLong);
        return previous;
    }
    return static_cast<LONG>(SetWindowLongPtrA(hWnd, nIndex, dwNewLong));
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

extern "C" HWND WINAPI SetCapture(HWND hWnd) {
    HWND previous = thread_state().capture;
    thread_state().capture = hWnd;
    return previous;
}

extern "C" BOOL WINAPI ReleaseCapture(void) {
    thread_state().capture = nullptr;
    return TRUE;
}

extern "C" HWND WINAPI GetCapture(void) {
    return thread_state().capture;
}

extern "C" SHORT WINAPI GetKeyState(int nVirtKey) {
    if (nVirtKey == VK_SHIFT)
        return thread_state().shift_down ? static_cast<SHORT>(0x8000) : 0;
    return 0;
}
