// Filling and line drawing on a device context.
#include "gdi_objects.h"

#include <winuser.h>

#include <algorithm>

using namespace platform::gdi;

namespace {

// The part of a logical rectangle that the DC may touch, in surface coordinates.
RECT to_surface(const DeviceContext &dc, const RECT &logical) {
    RECT area{logical.left + dc.origin.x, logical.top + dc.origin.y, logical.right + dc.origin.x,
              logical.bottom + dc.origin.y};
    area.left = std::max(area.left, dc.clip.left);
    area.top = std::max(area.top, dc.clip.top);
    area.right = std::min(area.right, dc.clip.right);
    area.bottom = std::min(area.bottom, dc.clip.bottom);
    return area;
}

void fill(DeviceContext &dc, const RECT &rect, COLORREF color) {
    cairo_t *cr = dc.cr;
    set_source_color(cr, color);
    cairo_rectangle(cr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    cairo_fill(cr);
    RECT covered = to_surface(dc, rect);
    if (covered.left < covered.right && covered.top < covered.bottom)
        dc.surface->erase_text(covered);
    dc.surface->mark_dirty();
}

}  // namespace

extern "C" int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
    DeviceContext *dc = dc_of(hDC);
    COLORREF color;
    if (!dc || !lprc || !brush_color(hbr, color)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (lprc->right > lprc->left && lprc->bottom > lprc->top)
        fill(*dc, *lprc, color);
    return 1;
}

extern "C" BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    DeviceContext *dc = dc_of(hdc);
    if (!dc)
        return FALSE;
    COLORREF color;
    if (brush_color(static_cast<HBRUSH>(dc->brush), color))
        fill(*dc, RECT{left, top, right, bottom}, color);
    const Pen *pen = pen_of(dc->pen);
    if (pen && !pen->hollow) {
        set_source_color(dc->cr, pen->color);
        cairo_set_line_width(dc->cr, pen->width);
        cairo_rectangle(dc->cr, left + 0.5, top + 0.5, right - left - 1, bottom - top - 1);
        cairo_stroke(dc->cr);
    }
    dc->surface->mark_dirty();
    return TRUE;
}

extern "C" BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
    DeviceContext *dc = dc_of(hdc);
    if (!dc)
        return FALSE;
    if (lppt)
        *lppt = dc->position;
    dc->position = {x, y};
    return TRUE;
}

extern "C" BOOL WINAPI LineTo(HDC hdc, int x, int y) {
    DeviceContext *dc = dc_of(hdc);
    if (!dc)
        return FALSE;
    const Pen *pen = pen_of(dc->pen);
    if (pen && !pen->hollow) {
        set_source_color(dc->cr, pen->color);
        cairo_set_line_width(dc->cr, pen->width);
        // Pixel centres, and the end point itself is not drawn, as the published behaviour says.
        cairo_move_to(dc->cr, dc->position.x + 0.5, dc->position.y + 0.5);
        cairo_line_to(dc->cr, x + 0.5, y + 0.5);
        cairo_set_line_cap(dc->cr, CAIRO_LINE_CAP_BUTT);
        cairo_stroke(dc->cr);
        dc->surface->mark_dirty();
    }
    dc->position = {x, y};
    return TRUE;
}

extern "C" COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    DeviceContext *dc = dc_of(hdc);
    if (!dc)
        return CLR_INVALID;
    POINT at{x + dc->origin.x, y + dc->origin.y};
    if (at.x < dc->clip.left || at.x >= dc->clip.right || at.y < dc->clip.top || at.y >= dc->clip.bottom)
        return CLR_INVALID;
    cairo_surface_t *image = dc->surface->image();
    cairo_surface_flush(image);
    auto *row = cairo_image_surface_get_data(image) + at.y * cairo_image_surface_get_stride(image);
    std::uint32_t pixel = reinterpret_cast<const std::uint32_t *>(row)[at.x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}
