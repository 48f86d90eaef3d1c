// Turns display input into window messages on the thread that owns the window.
#pragma once

#include "display/backend.h"

#include <windows.h>

#include <deque>

namespace platform::user {

// Appends the messages an input event becomes; nothing when it goes nowhere (a disabled window, say).
void translate_input(const display::InputEvent &event, std::deque<MSG> &out);

// Routes backend input to the queue of the thread that owns the surface's window. Installed once.
void connect_backend_input();

}  // namespace platform::user
