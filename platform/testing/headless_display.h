// Test hooks for the windowing platform on the headless screen: input injection, pixels, and the text a user would
// read. Tests and UI scripts use these; programs never do.
#pragma once

#include "display/headless_backend.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::testing::ui {

// The process's backend as the headless screen; installs one when the process has none yet. Fails the
// process (abort) when another backend is already in use.
display::HeadlessBackend &headless();

// Input. Points are screen coordinates unless named client. Injected input is queued for the thread that
// owns the window under the point (keys: the topmost window); that thread must be pumping messages.
bool click(POINT screen);
bool double_click(POINT screen);
bool mouse_down(POINT screen);
bool mouse_move(POINT screen);
bool mouse_up(POINT screen);
bool double_click_client(HWND hwnd, POINT client);
// The centre of a child window (a control) on the screen.
POINT center_of(HWND hwnd);
// Where a top-level window's close box, caption, menu bar item (by index) and vertical scroll bar
// arrows are on the screen.
POINT close_box_of(HWND hwnd);
POINT caption_of(HWND hwnd);
POINT menu_bar_item_of(HWND hwnd, int index);
POINT scroll_up_arrow_of(HWND hwnd);
POINT scroll_down_arrow_of(HWND hwnd);
bool key(unsigned virtual_key, bool shift = false, bool control = false, bool alt = false);
bool type(std::string_view text);
// The window manager's close request (the X close button, say).
bool request_close(HWND hwnd);

// Read-back. These first show what the calling thread has drawn.
COLORREF screen_pixel(POINT screen);
COLORREF client_pixel(HWND hwnd, POINT client);
unsigned bell_count();

// The text drawn on a top-level window, line by line from the top: each DrawTextA line where it landed
// (caption and menu bar included).
std::vector<std::string> window_text(HWND hwnd);
// Every visible top-level window's title and text, top window last.
std::string screen_text();

// Visible top-level windows, bottom first, and the one with a given title.
std::vector<HWND> visible_windows();
HWND find_window_titled(std::string_view title);

// Pumps the calling thread's messages until `condition` holds or `limit` passes; false on time-out.
bool pump_until(const std::function<bool()> &condition, std::chrono::milliseconds limit = std::chrono::seconds(20));
// Pumps what is waiting now, without blocking.
void pump_pending();

}  // namespace platform::testing::ui
