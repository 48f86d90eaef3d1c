// The controls user32 provides: static, button, edit and scroll bar.
#pragma once

#include "window.h"

namespace platform::user {

LRESULT CALLBACK static_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK button_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK edit_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK scroll_bar_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// WM_COMMAND to the control's parent with the control's id and a notification code.
void notify_parent(HWND control, UINT code);
// Fills a rectangle with a solid colour.
void fill_solid(HDC dc, const RECT &area, COLORREF color);

}  // namespace platform::user
