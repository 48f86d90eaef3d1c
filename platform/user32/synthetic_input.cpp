// SendInput and keybd_event: synthetic key presses, queued as the display's own key input is, for the
// thread whose window is in the foreground, so that a program (or a test) drives another thread's windows
// exactly as a user at the keyboard would.
#include "synthetic_input.h"

#include "window.h"

#include <atomic>

using namespace platform::user;

namespace {

std::atomic<HWND> foreground{nullptr};
std::atomic<bool> shift_held{false};

// Queues one key transition for the foreground window's thread; false when no window takes it.
bool queue_key(WORD virtual_key, DWORD flags) {
    if (flags & (KEYEVENTF_UNICODE | KEYEVENTF_SCANCODE))
        return false;  // only virtual keys are understood
    bool down = !(flags & KEYEVENTF_KEYUP);
    if (virtual_key == VK_SHIFT)
        shift_held = down;
    auto window = find_window_quiet(foreground.load());
    if (!window || window->destroyed)
        return virtual_key == VK_SHIFT;  // the key's state changed even though nobody is told
    auto top = top_level_of(window);
    platform::display::InputEvent event{down ? platform::display::InputType::key_down
                                             : platform::display::InputType::key_up};
    event.surface = top->surface_id;
    event.virtual_key = virtual_key;
    event.shift = shift_held;
    top->queue->post_input(event);
    return true;
}

}  // namespace

namespace platform::user {

void note_foreground(HWND window) {
    foreground = window;
}

}  // namespace platform::user

extern "C" UINT WINAPI SendInput(UINT cInputs, LPINPUT pInputs, int cbSize) {
    if (cbSize != static_cast<int>(sizeof(INPUT)) || (cInputs && !pInputs)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UINT done = 0;
    for (; done < cInputs; ++done) {
        const INPUT &input = pInputs[done];
        if (input.type != INPUT_KEYBOARD) {
            SetLastError(ERROR_NOT_SUPPORTED);  // the mouse and other devices are not synthesized
            break;
        }
        if (!queue_key(input.ki.wVk, input.ki.dwFlags)) {
            SetLastError(input.ki.dwFlags & (KEYEVENTF_UNICODE | KEYEVENTF_SCANCODE) ? ERROR_NOT_SUPPORTED
                                                                                     : ERROR_ACCESS_DENIED);
            break;
        }
    }
    return done;
}

extern "C" HWND WINAPI GetForegroundWindow(void) {
    HWND window = foreground.load();
    return find_window_quiet(window) ? window : nullptr;
}

extern "C" VOID WINAPI keybd_event(BYTE bVk, BYTE, DWORD dwFlags, ULONG_PTR) {
    queue_key(bVk, dwFlags);
}
