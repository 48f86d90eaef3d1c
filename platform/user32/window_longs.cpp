// The window longs: styles, procedure, identifier, user data and the extra bytes of a dialog.
#include "dialog.h"
#include "thread_state.h"
#include "window_manager.h"

#include <algorithm>
#include <cstring>
#include <utility>

using namespace platform::user;

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
        case GWL_STYLE: {
            DWORD old_style = std::exchange(window->style, static_cast<DWORD>(dwNewLong));
            // A new frame or new caption buttons: the window manager hears of them at once.
            constexpr DWORD offered = WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
            if (!window->is_child() && ((old_style ^ window->style) & offered))
                update_surface_traits(*window);
            break;
        }
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
