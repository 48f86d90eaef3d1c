// Operations on windows that several API calls share: painting state, activation, focus and the
// drawing of what lies outside the client area.
#pragma once

#include "window.h"

#include <functional>

namespace platform::resources {
struct Icon;
}

namespace platform::user {

// The pixels behind an icon handle from LoadIconA; null for stock icons and bad handles.
const resources::Icon *icon_pixels(HICON icon);

// Update regions (client coordinates; null rect: the whole client area). Children overlapping the area
// are invalidated too.
void invalidate(const WindowPtr &window, const RECT *rect, bool erase);
void validate(const WindowPtr &window, const RECT *rect);
// Validates the window and all its descendants: they are hidden.
void validate_tree(const WindowPtr &window);
// The first window of this thread, parents before children, that waits for WM_PAINT.
WindowPtr next_window_to_paint(HWND filter);
// Sends WM_PAINT to the window (and its children) now if it has an update region.
void update_now(const WindowPtr &window);

// Draws the frame, caption, menu bar and scroll bars of a window into its top-level surface.
void draw_nonclient(const WindowPtr &window);
// Shows every changed surface of this thread on the display.
void present_thread_surfaces();

void activate(const WindowPtr &window);
// Tells the display what a top-level window's style and class ask a window manager to offer: caption buttons,
// a sizing frame, the window's kind.
void update_surface_traits(const Window &window);
// Applies a window manager's event (moved, show_state, activated, deactivated) to the window of this thread
// it names; false for input of another kind.
bool apply_manager_event(const display::InputEvent &event);
HWND set_focus(HWND hwnd);
// Picks another window to activate when the active one goes away (its owner, say).
void activate_other(const WindowPtr &leaving);

// Nonzero hit-test code for a point in screen coordinates (HT* values).
LRESULT hit_test(const WindowPtr &window, POINT screen);

// Runs a nested loop that feeds mouse input to `track` until the left button is released; messages
// sent from other threads are handled meanwhile. `track` gets the point in screen coordinates.
void track_mouse(const std::function<void(POINT screen, bool released)> &track);

// Runs `call` on the thread that owns `window` and returns its result: at once on that thread, otherwise as
// a sent message the owner handles when it next looks at its queue, with the caller waiting meanwhile.
// A window's state belongs to its thread; other threads change it only this way.
LRESULT call_on_window_thread(const WindowPtr &window, const std::function<LRESULT()> &call);

}  // namespace platform::user
