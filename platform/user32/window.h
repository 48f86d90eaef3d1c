// Windows as user32 keeps them: the table behind HWND values and the state of each window. A window's
// fields are touched only by the thread that created it; other threads reach it through messages.
#pragma once

#include "display/backend.h"
#include "display/surface.h"
#include "message_queue.h"

#include <windows.h>

#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

namespace platform::user {

struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int class_extra = 0, window_extra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    std::string menu_name;
    ATOM atom = 0;
    std::vector<unsigned char> extra;
};

struct ScrollBar {
    int min = 0, max = 100, pos = 0;
};

struct DialogState;

// What a control keeps besides its text.
struct ControlState {
    bool checked = false;
    bool pressed = false;  // a button held down by the mouse
    int caret = 0;         // edit: caret index, and the other end of the selection
    int anchor = 0;
    int scroll = 0;          // edit: pixels scrolled left
    bool selecting = false;  // edit: the mouse is selecting
    int limit = 30000;       // edit: the most characters it takes (EM_LIMITTEXT)
    // edit: the one step EM_UNDO takes back: `inserted` characters at `undo_at` replaced `removed`.
    int undo_at = 0, undo_inserted = 0;
    std::string undo_removed;
    int tracking_part = -1;  // scroll bar: the part being held
    HICON icon = nullptr;    // static icon
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> window_class;
    std::shared_ptr<MessageQueue> queue;
    DWORD thread_id = 0;
    WNDPROC proc = nullptr;
    DWORD style = 0, ex_style = 0;
    std::string text;
    RECT rect{};  // screen coordinates for a top-level window, the parent's client coordinates for a child
    HWND parent = nullptr, owner = nullptr;
    std::vector<HWND> children;  // creation order, which is the tab order of dialogs
    LONG_PTR id = 0;             // a child's id
    HMENU menu = nullptr;        // a top-level window's menu bar
    HINSTANCE instance = nullptr;
    std::vector<unsigned char> extra;
    LONG_PTR user_data = 0;

    cairo_region_t *update = nullptr;  // client coordinates; null or empty when valid
    bool erase_pending = false;
    bool destroyed = false;

    // Top-level windows only: the pixels and the backend surface that shows them.
    std::shared_ptr<display::Surface> surface;
    display::SurfaceId surface_id = 0;
    display::ShowState show_state = display::ShowState::normal;  // as the window manager last said

    ScrollBar vertical, horizontal;
    std::shared_ptr<DialogState> dialog;  // dialogs only
    ControlState control;                 // controls only

    bool is_child() const { return (style & WS_CHILD) != 0; }
    bool has_update() const { return update && !cairo_region_is_empty(update); }
    ~Window();
};

using WindowPtr = std::shared_ptr<Window>;

// Null (with ERROR_INVALID_WINDOW_HANDLE set) for a handle that names no live window.
WindowPtr find_window(HWND handle);
WindowPtr find_window_quiet(HWND handle);
HWND insert_window(WindowPtr window);
void remove_window(HWND handle);
std::vector<WindowPtr> windows_of_thread(DWORD thread_id);
std::vector<WindowPtr> all_windows();
WindowPtr window_of_surface(display::SurfaceId surface);

// The top-level window a window belongs to (itself when top-level).
WindowPtr top_level_of(const WindowPtr &window);

// Geometry. Window rectangles relative to the top-level surface, and the client area within the window.
struct Frame {
    int border = 0;   // each side
    int edge = 0;     // a sunken client edge inside the border, each side
    int caption = 0;  // below the top border
    int menu = 0;     // below the caption
    int vscroll = 0;  // at the right of the client area
    int hscroll = 0;  // below the client area
};
Frame frame_of(const Window &window);
// The window's rectangle in its top-level surface's coordinates.
RECT surface_rect(const WindowPtr &window);
// The client area in window coordinates (relative to the window's top left corner).
RECT client_in_window(const Window &window);
// The client area in the top-level surface's coordinates.
RECT client_in_surface(const WindowPtr &window);
// The client area in screen coordinates.
POINT client_origin_on_screen(const WindowPtr &window);

bool is_visible_chain(const WindowPtr &window);
bool is_enabled(const Window &window);

// Calls the window's procedure on this thread.
LRESULT call_window_proc(const WindowPtr &window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace platform::user
