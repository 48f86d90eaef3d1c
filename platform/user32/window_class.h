// The class registry. Classes are process-wide here; names compare without regard to case.
#pragma once

#include "window.h"

namespace platform::user {

std::shared_ptr<WindowClass> find_class(LPCSTR name);

// The classes user32 itself provides (dialogs and controls) register through this.
void register_system_class(const WNDCLASSA &wc);

}  // namespace platform::user
