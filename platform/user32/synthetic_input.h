// The foreground window, which synthetic input (SendInput, keybd_event) goes to.
#pragma once

#include <windows.h>

namespace platform::user {

// Called whenever a window becomes the active window of its thread: the latest one is the foreground.
void note_foreground(HWND window);

}  // namespace platform::user
