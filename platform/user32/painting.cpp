// Update regions, WM_PAINT, BeginPaint/EndPaint and window DCs.
#include "gdi32/gdi_objects.h"
#include "thread_state.h"
#include "window_manager.h"

namespace platform::user {
namespace {

cairo_rectangle_int_t to_cairo(const RECT &r) {
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

RECT client_size(const Window &window) {
    RECT client = client_in_window(window);
    return {0, 0, client.right - client.left, client.bottom - client.top};
}

void set_update(const WindowPtr &window, bool had_update) {
    bool has = window->has_update();
    if (has && !had_update)
        window->queue->add_paint(1);
    else if (!has && had_update)
        window->queue->add_paint(-1);
}

WindowPtr first_in_tree(const WindowPtr &window, HWND filter) {
    if (!(window->style & WS_VISIBLE))
        return nullptr;
    if (window->has_update() && matches_window_filter(window->handle, filter))
        return window;
    for (HWND child : window->children)
        if (auto c = find_window_quiet(child))
            if (auto found = first_in_tree(c, filter))
                return found;
    return nullptr;
}

}  // namespace

void invalidate(const WindowPtr &window, const RECT *rect, bool erase) {
    // A hidden window has nothing on the screen to paint; showing it invalidates it whole. An update region
    // kept here would signal QS_PAINT that no WM_PAINT can ever answer, and modal loops would spin on it.
    if (!is_visible_chain(window))
        return;
    RECT area = rect ? *rect : client_size(*window);
    RECT limit = client_size(*window);
    RECT clipped{std::max(area.left, limit.left), std::max(area.top, limit.top), std::min(area.right, limit.right),
                 std::min(area.bottom, limit.bottom)};
    if (clipped.left < clipped.right && clipped.top < clipped.bottom) {
        bool had = window->has_update();
        if (!window->update)
            window->update = cairo_region_create();
        auto r = to_cairo(clipped);
        cairo_region_union_rectangle(window->update, &r);
        if (erase)
            window->erase_pending = true;
        set_update(window, had);
    }
    // Children lying in the area are painted again too.
    for (HWND child_handle : window->children) {
        auto child = find_window_quiet(child_handle);
        if (!child || !(child->style & WS_VISIBLE))
            continue;
        RECT c = child->rect;
        if (c.left >= clipped.right || c.right <= clipped.left || c.top >= clipped.bottom || c.bottom <= clipped.top)
            continue;
        RECT inner = client_in_window(*child);
        RECT in_child{clipped.left - c.left - inner.left, clipped.top - c.top - inner.top,
                      clipped.right - c.left - inner.left, clipped.bottom - c.top - inner.top};
        draw_nonclient(child);
        invalidate(child, &in_child, erase);
    }
}

void validate_tree(const WindowPtr &window) {
    validate(window, nullptr);
    for (HWND child : window->children)
        if (auto c = find_window_quiet(child))
            validate_tree(c);
}

void validate(const WindowPtr &window, const RECT *rect) {
    bool had = window->has_update();
    if (!had)
        return;
    if (!rect) {
        cairo_region_destroy(window->update);
        window->update = nullptr;
        window->erase_pending = false;
    } else {
        auto r = to_cairo(*rect);
        cairo_region_subtract_rectangle(window->update, &r);
    }
    set_update(window, had);
}

WindowPtr next_window_to_paint(HWND filter) {
    for (auto &window : windows_of_thread(GetCurrentThreadId()))
        if (!window->is_child())
            if (auto found = first_in_tree(window, filter))
                return found;
    return nullptr;
}

void update_now(const WindowPtr &window) {
    if (window->has_update() && (window->style & WS_VISIBLE))
        call_window_proc(window, WM_PAINT, 0, 0);
    for (HWND child : std::vector<HWND>(window->children))
        if (auto c = find_window_quiet(child))
            update_now(c);
}

void present_thread_surfaces() {
    auto &backend = display::backend();
    for (auto &window : windows_of_thread(GetCurrentThreadId()))
        if (!window->is_child() && window->surface && window->surface->take_dirty() && (window->style & WS_VISIBLE))
            backend.present(window->surface_id, window->surface->image());
}

HDC window_dc(const WindowPtr &window, const cairo_region_t *region) {
    auto top = top_level_of(window);
    RECT client = client_in_surface(window);
    // Clip to every ancestor's client area as well.
    RECT clip = client;
    for (auto parent = window->is_child() ? find_window_quiet(window->parent) : nullptr; parent;
         parent = parent->is_child() ? find_window_quiet(parent->parent) : nullptr) {
        RECT pc = client_in_surface(parent);
        clip = {std::max(clip.left, pc.left), std::max(clip.top, pc.top), std::min(clip.right, pc.right),
                std::min(clip.bottom, pc.bottom)};
    }
    if (clip.right < clip.left)
        clip.right = clip.left;
    if (clip.bottom < clip.top)
        clip.bottom = clip.top;
    cairo_region_t *shifted = nullptr;
    if (region) {
        shifted = cairo_region_copy(region);
        cairo_region_translate(shifted, client.left, client.top);
    }
    HDC dc = gdi::create_surface_dc(top->surface, {client.left, client.top}, clip, shifted);
    if (shifted)
        cairo_region_destroy(shifted);
    return dc;
}

}  // namespace platform::user

using namespace platform::user;

extern "C" BOOL WINAPI InvalidateRect(HWND hWnd, const RECT *lpRect, BOOL bErase) {
    if (!hWnd) {
        for (auto &window : windows_of_thread(GetCurrentThreadId()))
            if (!window->is_child())
                invalidate(window, nullptr, bErase);
        return TRUE;
    }
    auto window = find_window(hWnd);
    if (!window)
        return FALSE;
    invalidate(window, lpRect, bErase);
    return TRUE;
}

extern "C" BOOL WINAPI ValidateRect(HWND hWnd, const RECT *lpRect) {
    auto window = find_window(hWnd);
    if (!window)
        return FALSE;
    validate(window, lpRect);
    return TRUE;
}

extern "C" BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL) {
    auto window = find_window(hWnd);
    if (!window)
        return FALSE;
    bool has = window->has_update();
    if (lpRect) {
        *lpRect = {0, 0, 0, 0};
        if (has) {
            cairo_rectangle_int_t extents;
            cairo_region_get_extents(window->update, &extents);
            *lpRect = {extents.x, extents.y, extents.x + extents.width, extents.y + extents.height};
        }
    }
    return has;
}

extern "C" BOOL WINAPI UpdateWindow(HWND hWnd) {
    auto window = find_window(hWnd);
    if (!window)
        return FALSE;
    update_now(window);
    return TRUE;
}

extern "C" HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    auto window = find_window(hWnd);
    if (!window || !lpPaint)
        return nullptr;
    cairo_region_t *region = window->has_update() ? cairo_region_copy(window->update) : cairo_region_create();
    bool erase = window->erase_pending;
    validate(window, nullptr);
    // A child's frame (a client edge, a border) comes after its parent's background, as WM_NCPAINT does.
    if (window->is_child())
        draw_nonclient(window);
    HDC dc = window_dc(window, region);
    cairo_rectangle_int_t extents;
    cairo_region_get_extents(region, &extents);
    cairo_region_destroy(region);
    *lpPaint = {};
    lpPaint->hdc = dc;
    lpPaint->rcPaint = {extents.x, extents.y, extents.x + extents.width, extents.y + extents.height};
    lpPaint->fErase = TRUE;  // no background drawn yet
    if (erase)
        lpPaint->fErase = call_window_proc(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
    return dc;
}

extern "C" BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT *lpPaint) {
    if (!lpPaint)
        return FALSE;
    platform::gdi::delete_dc(lpPaint->hdc);
    return TRUE;
}

extern "C" HDC WINAPI GetDC(HWND hWnd) {
    if (!hWnd) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto window = find_window(hWnd);
    if (!window)
        return nullptr;
    return window_dc(window, nullptr);
}

extern "C" int WINAPI ReleaseDC(HWND, HDC hDC) {
    return platform::gdi::delete_dc(hDC) ? 1 : 0;
}
