// Mouse capture and the key state a thread's messages have left.
#include "dialog.h"
#include "thread_state.h"
#include "window_manager.h"

#include <algorithm>
#include <cstring>

using namespace platform::user;

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
    bool down = false;
    if (nVirtKey == VK_SHIFT)
        down = thread_state().shift_down;
    else if (nVirtKey == VK_CONTROL)
        down = thread_state().control_down;
    else if (nVirtKey == VK_MENU)
        down = thread_state().alt_down;
    return down ? static_cast<SHORT>(0x8000) : 0;
}
