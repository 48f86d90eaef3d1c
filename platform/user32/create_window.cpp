// CreateWindowExA and DestroyWindow, with the message order programs rely on.
#include "gdi32/gdi_objects.h"
#include "rc/resource_tables.h"
#include "input_translation.h"
#include "thread_state.h"
#include "ui_script.h"
#include "window_class.h"
#include "window_manager.h"

#include <algorithm>

namespace platform::user {
namespace {

int default_position_slot = 0;

// Where CW_USEDEFAULT puts a new top-level window: cascading from the top left of the screen.
void place_default(int &x, int &y, int &width, int &height) {
    RECT screen = display::backend().screen_area();
    if (x == CW_USEDEFAULT) {
        int slot = default_position_slot++ % 8;
        x = 24 + slot * 24;
        y = (y == CW_USEDEFAULT || y == static_cast<int>(SW_SHOW)) ? 24 + slot * 24 : y;
    }
    if (width == CW_USEDEFAULT) {
        width = std::min<int>(640, screen.right - x);
        height = std::min<int>(440, screen.bottom - y);
    }
}

HMENU class_menu(const WindowClass &cls, HINSTANCE instance) {
    if (cls.menu_name.empty())
        return nullptr;
    return LoadMenuA(instance ? instance : cls.instance, cls.menu_name.c_str());
}

void send_destroy(const WindowPtr &window) {
    call_window_proc(window, WM_DESTROY, 0, 0);
    for (HWND child : std::vector<HWND>(window->children))
        if (auto c = find_window_quiet(child))
            send_destroy(c);
}

void free_window(const WindowPtr &window) {
    for (HWND child : std::vector<HWND>(window->children))
        if (auto c = find_window_quiet(child))
            free_window(c);
    call_window_proc(window, WM_NCDESTROY, 0, 0);
    window->queue->kill_window_timers(window->handle);
    if (window->has_update())
        window->queue->add_paint(-1);
    auto &state = thread_state();
    if (state.focus == window->handle)
        state.focus = nullptr;
    if (state.capture == window->handle)
        state.capture = nullptr;
    if (state.active == window->handle)
        state.active = nullptr;
    if (window->surface_id)
        display::backend().destroy_surface(window->surface_id);
    if (window->menu && !window->is_child())
        DestroyMenu(window->menu);
    if (auto parent = find_window_quiet(window->parent))
        std::erase(parent->children, window->handle);
    remove_window(window->handle);
}

}  // namespace
}  // namespace platform::user

using namespace platform::user;

extern "C" HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                                       int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                       HINSTANCE hInstance, LPVOID lpParam) {
    auto cls = find_class(lpClassName);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    WindowPtr parent;
    if (hWndParent) {
        parent = find_window(hWndParent);
        if (!parent)
            return nullptr;
    } else if (dwStyle & WS_CHILD) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }

    auto window = std::make_shared<Window>();
    window->window_class = cls;
    window->queue = current_queue();
    window->thread_id = GetCurrentThreadId();
    window->proc = cls->proc;
    window->style = dwStyle & ~WS_VISIBLE;
    window->ex_style = dwExStyle;
    window->instance = hInstance;
    window->extra.resize(static_cast<std::size_t>(cls->window_extra));
    if (dwStyle & WS_CHILD) {
        window->parent = hWndParent;
        window->id = reinterpret_cast<LONG_PTR>(hMenu);
        if (X == CW_USEDEFAULT)
            X = Y = 0;
        if (nWidth == CW_USEDEFAULT)
            nWidth = nHeight = 0;
    } else {
        if (parent)
            window->owner = top_level_of(parent)->handle;
        // Overlapped windows always have a caption.
        if (!(dwStyle & WS_POPUP))
            window->style |= WS_CAPTION | WS_CLIPSIBLINGS;
        place_default(X, Y, nWidth, nHeight);
        window->menu = hMenu ? hMenu : class_menu(*cls, hInstance);
    }
    window->rect = {X, Y, X + std::max(nWidth, 0), Y + std::max(nHeight, 0)};

    if (!window->is_child()) {
        connect_backend_input();
        start_configured_ui_script();
        int width = window->rect.right - window->rect.left, height = window->rect.bottom - window->rect.top;
        window->surface = std::make_shared<platform::display::Surface>(std::max(width, 1), std::max(height, 1));
        WindowPtr owner = window->owner ? find_window_quiet(window->owner) : nullptr;
        window->surface_id = platform::display::backend().create_surface(owner ? owner->surface_id : 0, window->rect);
    }
    HWND handle = insert_window(window);
    if (parent && window->is_child())
        parent->children.push_back(handle);
    if (!window->is_child()) {
        auto &backend = platform::display::backend();
        // A window manager draws the frame of a window with a caption; one without (a pop-up menu) shows its
        // own frame whole.
        Frame frame = frame_of(*window);
        if (frame.caption)
            backend.set_frame_insets(window->surface_id,
                                     RECT{frame.border, frame.border + frame.caption, frame.border, frame.border});
        update_surface_traits(*window);
        HICON icon = cls->icon;
        if (auto owner_window = find_window_quiet(window->owner); !icon && owner_window)
            icon = owner_window->window_class->icon;
        if (const auto *pixels = icon_pixels(icon))
            backend.set_icon(window->surface_id, pixels->width, pixels->height, pixels->pixels.data());
    }

    CREATESTRUCTA create{
        lpParam,      hInstance,   hMenu,    hWndParent, nHeight, nWidth, Y, X, static_cast<LONG>(dwStyle),
        lpWindowName, lpClassName, dwExStyle};
    if (!call_window_proc(window, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
        free_window(window);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!window->is_child())
        platform::display::backend().set_title(window->surface_id, window->text);
    RECT calc = window->rect;
    call_window_proc(window, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&calc));
    if (call_window_proc(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsWindow(handle))
        return nullptr;
    RECT client = client_in_window(*window);
    call_window_proc(window, WM_SIZE, 0, MAKELPARAM(client.right - client.left, client.bottom - client.top));
    RECT on_parent = client;
    if (window->is_child())
        on_parent = {window->rect.left + client.left, window->rect.top + client.top, 0, 0};
    else
        on_parent = {window->rect.left + client.left, window->rect.top + client.top, 0, 0};
    call_window_proc(window, WM_MOVE, 0, MAKELPARAM(on_parent.left, on_parent.top));
    if (dwStyle & WS_VISIBLE) {
        if (window->is_child()) {
            window->style |= WS_VISIBLE;
            invalidate(window, nullptr, true);
            draw_nonclient(window);
        } else {
            ShowWindow(handle, SW_SHOW);
        }
    }
    return IsWindow(handle) ? handle : nullptr;
}

extern "C" BOOL WINAPI DestroyWindow(HWND hWnd) {
    auto window = find_window(hWnd);
    if (!window)
        return FALSE;
    if (window->thread_id != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (window->destroyed)
        return TRUE;
    window->destroyed = true;
    if (window->style & WS_VISIBLE)
        ShowWindow(hWnd, SW_HIDE);
    if (!window->is_child()) {
        // Owned windows go first.
        for (auto &other : all_windows())
            if (other->owner == hWnd && !other->is_child() && !other->destroyed)
                DestroyWindow(other->handle);
        if (thread_state().active == hWnd)
            activate_other(window);
    }
    send_destroy(window);
    free_window(window);
    return TRUE;
}

extern "C" BOOL WINAPI IsWindow(HWND hWnd) {
    return find_window_quiet(hWnd) != nullptr;
}
