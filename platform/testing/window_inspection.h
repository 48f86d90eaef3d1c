// What a window shows, read from the platform's side: the text runs drawn on it, its frame, and (on an X
// display) the pixels the X server holds for it.
#pragma once

#include <windows.h>

#include <cairo.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform::testing {

// The text of every DrawTextA run on the window's surface, in drawing order.
std::vector<std::string> drawn_texts(HWND hwnd);
bool shows_text(HWND hwnd, std::string_view text);

// The widths of the window frame around the client area: border and caption.
RECT frame_insets(HWND hwnd);

// The name of the process's display backend ("x11" or "headless").
std::string display_backend_name();
// What the X server shows in the window; null without an X display. The caller destroys the surface.
cairo_surface_t *x11_window_contents(HWND hwnd);

}  // namespace platform::testing
