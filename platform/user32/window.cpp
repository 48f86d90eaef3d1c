#include "window.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

namespace platform::user {
namespace {

struct WindowTable {
    std::mutex lock;
    std::unordered_map<HWND, WindowPtr> windows;
    std::uintptr_t next = 0x10020;
};

WindowTable &table() {
    static auto *instance = new WindowTable;
    return *instance;
}

}  // namespace

Window::~Window() {
    if (update)
        cairo_region_destroy(update);
}

WindowPtr find_window_quiet(HWND handle) {
    auto &t = table();
    std::lock_guard guard(t.lock);
    auto found = t.windows.find(handle);
    return found == t.windows.end() ? nullptr : found->second;
}

WindowPtr find_window(HWND handle) {
    auto window = find_window_quiet(handle);
    if (!window)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

HWND insert_window(WindowPtr window) {
    auto &t = table();
    std::lock_guard guard(t.lock);
    // Handles are never reused, so a stale handle can never reach a newer window.
    auto handle = reinterpret_cast<HWND>(t.next);
    t.next += 4;
    window->handle = handle;
    t.windows.emplace(handle, std::move(window));
    return handle;
}

void remove_window(HWND handle) {
    WindowPtr removed;
    auto &t = table();
    std::lock_guard guard(t.lock);
    if (auto found = t.windows.find(handle); found != t.windows.end()) {
        removed = std::move(found->second);
        t.windows.erase(found);
    }
}

std::vector<WindowPtr> windows_of_thread(DWORD thread_id) {
    auto &t = table();
    std::lock_guard guard(t.lock);
    std::vector<WindowPtr> result;
    for (auto &[handle, window] : t.windows)
        if (window->thread_id == thread_id)
            result.push_back(window);
    std::sort(result.begin(), result.end(), [](auto &a, auto &b) { return a->handle < b->handle; });
    return result;
}

std::vector<WindowPtr> all_windows() {
    auto &t = table();
    std::lock_guard guard(t.lock);
    std::vector<WindowPtr> result;
    for (auto &[handle, window] : t.windows)
        result.push_back(window);
    std::sort(result.begin(), result.end(), [](auto &a, auto &b) { return a->handle < b->handle; });
    return result;
}

WindowPtr window_of_surface(display::SurfaceId surface) {
    auto &t = table();
    std::lock_guard guard(t.lock);
    for (auto &[handle, window] : t.windows)
        if (window->surface_id == surface)  // set before the window enters the table, never changed
            return window;
    return nullptr;
}

WindowPtr top_level_of(const WindowPtr &window) {
    WindowPtr current = window;
    while (current && current->is_child()) {
        auto parent = find_window_quiet(current->parent);
        if (!parent)
            break;
        current = parent;
    }
    return current;
}

Frame frame_of(const Window &window) {
    Frame frame;
    DWORD style = window.style;
    bool thick = style & WS_THICKFRAME;
    bool dialog_frame = (style & WS_DLGFRAME) || (window.ex_style & WS_EX_DLGMODALFRAME);
    if (thick)
        frame.border = 4;
    else if (dialog_frame)
        frame.border = 3;
    else if (style & WS_BORDER)
        frame.border = 1;
    if (window.ex_style & WS_EX_CLIENTEDGE)
        frame.edge = 2;
    if ((style & WS_CAPTION) == WS_CAPTION)
        frame.caption = 18;
    if (!window.is_child() && window.menu)
        frame.menu = 19;
    if (style & WS_VSCROLL)
        frame.vscroll = 16;
    if (style & WS_HSCROLL)
        frame.hscroll = 16;
    return frame;
}

RECT client_in_window(const Window &window) {
    Frame frame = frame_of(window);
    int width = window.rect.right - window.rect.left;
    int height = window.rect.bottom - window.rect.top;
    int side = frame.border + frame.edge;
    RECT client{side, side + frame.caption + frame.menu, width - side - frame.vscroll, height - side - frame.hscroll};
    if (client.right < client.left)
        client.right = client.left;
    if (client.bottom < client.top)
        client.bottom = client.top;
    return client;
}

RECT surface_rect(const WindowPtr &window) {
    if (!window->is_child()) {
        int width = window->rect.right - window->rect.left;
        int height = window->rect.bottom - window->rect.top;
        return {0, 0, width, height};
    }
    auto parent = find_window_quiet(window->parent);
    if (!parent)
        return window->rect;
    RECT parent_client = client_in_surface(parent);
    return {parent_client.left + window->rect.left, parent_client.top + window->rect.top,
            parent_client.left + window->rect.right, parent_client.top + window->rect.bottom};
}

RECT client_in_surface(const WindowPtr &window) {
    RECT outer = surface_rect(window);
    RECT client = client_in_window(*window);
    return {outer.left + client.left, outer.top + client.top, outer.left + client.right, outer.top + client.bottom};
}

POINT client_origin_on_screen(const WindowPtr &window) {
    auto top = top_level_of(window);
    RECT client = client_in_surface(window);
    return {top->rect.left + client.left, top->rect.top + client.top};
}

bool is_visible_chain(const WindowPtr &window) {
    for (WindowPtr current = window; current;
         current = current->is_child() ? find_window_quiet(current->parent) : nullptr)
        if (!(current->style & WS_VISIBLE))
            return false;
    return true;
}

bool is_enabled(const Window &window) {
    return !(window.style & WS_DISABLED);
}

LRESULT call_window_proc(const WindowPtr &window, UINT message, WPARAM wparam, LPARAM lparam) {
    WNDPROC proc = window->proc;
    if (!proc)
        return 0;
    // Keep the window alive while its procedure runs, even if the procedure destroys it.
    WindowPtr keep = window;
    return proc(window->handle, message, wparam, lparam);
}

}  // namespace platform::user
