// A window's parent, owner, siblings and owning thread.
#include "dialog.h"
#include "thread_state.h"
#include "window_manager.h"

#include <algorithm>
#include <cstring>

using namespace platform::user;

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
