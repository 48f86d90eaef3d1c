// System colours and metrics, beeps, stock icons and cursors.
#include "gdi32/gdi_objects.h"
#include "message_box_icons.h"
#include "rc/resource_tables.h"
#include "window_manager.h"

#include <winuser.h>

#include <cstring>
#include <mutex>
#include <vector>
#include <unordered_map>

namespace platform::user {
namespace {

// Icons: a resource's pixels behind an HICON. Stock icons and cursors have no pixels.
struct IconTable {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, const resources::Icon *> icons;
    std::uintptr_t next = 0x20000;
};

IconTable &icon_table() {
    static auto *instance = new IconTable;
    return *instance;
}

}  // namespace

const resources::Icon *icon_pixels(HICON icon) {
    auto &t = icon_table();
    std::lock_guard guard(t.lock);
    auto found = t.icons.find(reinterpret_cast<std::uintptr_t>(icon));
    return found == t.icons.end() ? nullptr : found->second;
}

}  // namespace platform::user

using namespace platform::user;

extern "C" DWORD WINAPI GetSysColor(int nIndex) {
    return platform::gdi::system_color(nIndex);
}

extern "C" HBRUSH WINAPI GetSysColorBrush(int nIndex) {
    if (!platform::gdi::is_system_color(nIndex))
        return nullptr;
    return reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(nIndex + 1));
}

extern "C" int WINAPI GetSystemMetrics(int nIndex) {
    RECT screen = platform::display::backend().screen_area();
    switch (nIndex) {
        case SM_CXSCREEN:
            return screen.right - screen.left;
        case SM_CYSCREEN:
            return screen.bottom - screen.top;
        case SM_CXVSCROLL:
        case SM_CYHSCROLL:
        case SM_CYVSCROLL:
        case SM_CXHSCROLL:
        case SM_CYVTHUMB:
        case SM_CXHTHUMB:
            return 16;
        case SM_CYCAPTION:
            return 18;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return 1;
        case SM_CXDLGFRAME:
        case SM_CYDLGFRAME:
            return 3;
        case SM_CXFRAME:
        case SM_CYFRAME:
            return 4;
        case SM_CXICON:
        case SM_CYICON:
            return 32;
        case SM_CYMENU:
            return 19;
        case SM_CXDOUBLECLK:
        case SM_CYDOUBLECLK:
            return 4;
        default:
            return 0;
    }
}

extern "C" BOOL WINAPI MessageBeep(UINT) {
    platform::display::backend().bell();
    return TRUE;
}

extern "C" HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    if (!hInstance) {
        // Stock icons: the integer id itself serves as the handle.
        auto id = reinterpret_cast<std::uintptr_t>(lpIconName);
        if (IS_INTRESOURCE(lpIconName) && id >= 32512 && id <= 32516)
            return reinterpret_cast<HICON>(id);
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const platform::resources::Icon *icon =
        lpIconName ? platform::resources::find_icon(platform::resources::resource_id_from(lpIconName)) : nullptr;
    if (!icon) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    auto &t = icon_table();
    std::lock_guard guard(t.lock);
    for (auto &[handle, pixels] : t.icons)
        if (pixels == icon)
            return reinterpret_cast<HICON>(handle);  // loading the same resource again gives the same icon
    auto handle = t.next;
    t.next += 4;
    t.icons.emplace(handle, icon);
    return reinterpret_cast<HICON>(handle);
}

extern "C" HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    auto id = reinterpret_cast<std::uintptr_t>(lpCursorName);
    if (!hInstance && IS_INTRESOURCE(lpCursorName) && id >= 32512 && id <= 32514)
        return reinterpret_cast<HCURSOR>(id);
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

extern "C" HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
    return hCursor;
}

extern "C" BOOL WINAPI DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
    auto *dc = platform::gdi::dc_of(hDC);
    if (dc && draw_system_icon(dc->cr, X, Y, reinterpret_cast<std::uintptr_t>(hIcon))) {
        dc->surface->mark_dirty();
        return TRUE;
    }
    const platform::resources::Icon *icon = icon_pixels(hIcon);
    if (!dc || !icon)
        return FALSE;
    // ARGB rows from the resource, drawn with their transparency.
    int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, icon->width);
    std::vector<unsigned char> data(static_cast<std::size_t>(stride) * icon->height);
    for (int y = 0; y < icon->height; ++y)
        for (int x = 0; x < icon->width; ++x) {
            std::size_t index = static_cast<std::size_t>(y) * icon->width + x;
            std::uint32_t argb = index < icon->pixels.size() ? icon->pixels[index] : 0;
            std::uint32_t alpha = argb >> 24;
            auto premultiply = [&](std::uint32_t c) { return (c * alpha + 127) / 255; };
            std::uint32_t value = (alpha << 24) | (premultiply((argb >> 16) & 0xFF) << 16) |
                                  (premultiply((argb >> 8) & 0xFF) << 8) | premultiply(argb & 0xFF);
            std::memcpy(data.data() + y * stride + x * 4, &value, 4);
        }
    auto *image =
        cairo_image_surface_create_for_data(data.data(), CAIRO_FORMAT_ARGB32, icon->width, icon->height, stride);
    cairo_set_source_surface(dc->cr, image, X, Y);
    cairo_paint(dc->cr);
    cairo_surface_destroy(image);
    dc->surface->mark_dirty();
    return TRUE;
}
