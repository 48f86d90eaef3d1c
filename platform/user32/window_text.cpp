// A window's text: the caption of a top-level window, the contents of a control.
#include "dialog.h"
#include "thread_state.h"
#include "window_manager.h"

#include <algorithm>
#include <cstring>

using namespace platform::user;

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
