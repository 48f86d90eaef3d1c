// The X11 backend: one X window per top-level surface, owned surfaces transient for their owner, pixels
// put with cairo, input read by a thread of its own.
#pragma once

#include "backend.h"

#include <memory>

namespace platform::display {

// Null when no X display can be opened.
std::unique_ptr<Backend> open_x11_backend();

// For tests: what the X server shows in a surface's window, read back (caller destroys it); null when
// the backend is not X11 or the surface has no window.
cairo_surface_t *x11_window_contents(Backend &backend, SurfaceId surface);
// For tests: the X window of a surface; 0 when there is none.
unsigned long x11_window_of(Backend &backend, SurfaceId surface);

}  // namespace platform::display
