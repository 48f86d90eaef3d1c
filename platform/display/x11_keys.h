// The Win32 virtual key of an X key symbol.
#pragma once

#include <X11/X.h>

namespace platform::display {

// 0 for a key user32 has no virtual key for.
unsigned virtual_key_of(KeySym sym);

}  // namespace platform::display
