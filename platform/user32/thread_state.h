// What each thread knows of its own windows: focus, the active window, mouse capture, the keys held, and
// input already turned into messages.
#pragma once

#include <windows.h>

#include <deque>

namespace platform::user {

struct ThreadState {
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;
    bool shift_down = false;
    bool control_down = false;
    bool alt_down = false;
    std::deque<MSG> ready_input;
};

ThreadState &thread_state();

}  // namespace platform::user
