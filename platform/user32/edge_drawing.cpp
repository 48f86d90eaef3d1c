// DrawEdge and DrawFocusRect: the 3D edges and the dotted focus frame every control of the NT 4 era is
// drawn with.
#include "gdi32/gdi_objects.h"

#include <winuser.h>

#include <algorithm>

namespace {

// The two colours of one edge: the top and left sides, then the bottom and right ones.
struct EdgeColors {
    int top_left = -1, bottom_right = -1;  // system colour indexes; -1 draws nothing
};

EdgeColors outer_colors(UINT edge, UINT flags) {
    if (!(edge & BDR_OUTER))
        return {};
    if (flags & BF_MONO)
        return {COLOR_WINDOWFRAME, COLOR_WINDOWFRAME};
    if (flags & BF_FLAT)
        return {COLOR_3DSHADOW, COLOR_3DSHADOW};
    switch (edge & BDR_OUTER) {
        case BDR_RAISEDOUTER:
            return {(flags & BF_SOFT) ? COLOR_3DHILIGHT : COLOR_3DLIGHT, COLOR_3DDKSHADOW};
        case BDR_SUNKENOUTER:
            return {(flags & BF_SOFT) ? COLOR_3DDKSHADOW : COLOR_3DSHADOW, COLOR_3DHILIGHT};
        default:
            return {};
    }
}

EdgeColors inner_colors(UINT edge, UINT flags) {
    if (!(edge & BDR_INNER))
        return {};
    if (flags & BF_MONO)
        return {COLOR_WINDOW, COLOR_WINDOW};
    if (flags & BF_FLAT)
        return {COLOR_3DFACE, COLOR_3DFACE};
    switch (edge & BDR_INNER) {
        case BDR_RAISEDINNER:
            return {(flags & BF_SOFT) ? COLOR_3DLIGHT : COLOR_3DHILIGHT, COLOR_3DSHADOW};
        case BDR_SUNKENINNER:
            return {(flags & BF_SOFT) ? COLOR_3DSHADOW : COLOR_3DDKSHADOW, COLOR_3DLIGHT};
        default:
            return {};
    }
}

void fill(HDC dc, int left, int top, int right, int bottom, int color_index) {
    RECT area{left, top, right, bottom};
    if (left < right && top < bottom)
        FillRect(dc, &area, GetSysColorBrush(color_index));
}

// One pixel wide, on the sides `flags` names; the bottom and right sides own the two corners they share
// with the top and left ones. The drawn sides move inwards by a pixel.
void draw_layer(HDC dc, RECT &area, const EdgeColors &colors, UINT flags) {
    if (colors.top_left < 0)
        return;
    if (flags & BF_TOP)
        fill(dc, area.left, area.top, area.right, area.top + 1, colors.top_left);
    if (flags & BF_LEFT)
        fill(dc, area.left, area.top, area.left + 1, area.bottom, colors.top_left);
    if (flags & BF_BOTTOM)
        fill(dc, area.left, area.bottom - 1, area.right, area.bottom, colors.bottom_right);
    if (flags & BF_RIGHT)
        fill(dc, area.right - 1, area.top, area.right, area.bottom, colors.bottom_right);
    area.left += (flags & BF_LEFT) ? 1 : 0;
    area.top += (flags & BF_TOP) ? 1 : 0;
    area.right -= (flags & BF_RIGHT) ? 1 : 0;
    area.bottom -= (flags & BF_BOTTOM) ? 1 : 0;
}

}  // namespace

extern "C" BOOL WINAPI DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags) {
    if (!platform::gdi::dc_of(hdc) || !qrc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT inside = *qrc;
    if (!(grfFlags & BF_DIAGONAL)) {  // diagonal edges are not drawn: nothing here asks for them
        draw_layer(hdc, inside, outer_colors(edge, grfFlags), grfFlags);
        draw_layer(hdc, inside, inner_colors(edge, grfFlags), grfFlags);
    }
    if (grfFlags & BF_MIDDLE)
        fill(hdc, inside.left, inside.top, inside.right, inside.bottom,
             (grfFlags & BF_MONO) ? COLOR_WINDOW : COLOR_3DFACE);
    if (grfFlags & BF_ADJUST)
        *qrc = inside;
    return TRUE;
}

// Inverts every other pixel of the rectangle's one-pixel frame, in a checkerboard fixed to the logical
// origin, so that drawing the same frame again restores what was there.
extern "C" BOOL WINAPI DrawFocusRect(HDC hDC, const RECT *lprc) {
    auto *dc = platform::gdi::dc_of(hDC);
    if (!dc || !lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const RECT &r = *lprc;
    if (r.right <= r.left || r.bottom <= r.top)
        return TRUE;
    // Only what the DC may touch is visited, so a huge rectangle costs no more than the window.
    int min_x = std::max<long>(r.left, dc->clip.left - dc->origin.x);
    int max_x = std::min<long>(r.right, dc->clip.right - dc->origin.x);
    int min_y = std::max<long>(r.top, dc->clip.top - dc->origin.y);
    int max_y = std::min<long>(r.bottom, dc->clip.bottom - dc->origin.y);
    cairo_t *cr = dc->cr;
    auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0 && x >= min_x && x < max_x && y >= min_y && y < max_y)
            cairo_rectangle(cr, x, y, 1, 1);
    };
    cairo_save(cr);
    cairo_new_path(cr);
    for (int x = std::max<int>(r.left, min_x); x < max_x; ++x) {
        dot(x, r.top);
        if (r.bottom - 1 > r.top)
            dot(x, r.bottom - 1);
    }
    for (int y = std::max<int>(r.top + 1, min_y); y < std::min<int>(r.bottom - 1, max_y); ++y) {
        dot(r.left, y);
        if (r.right - 1 > r.left)
            dot(r.right - 1, y);
    }
    // White minus the pixel is the pixel inverted, exactly, and is its own inverse.
    cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_fill(cr);
    cairo_restore(cr);
    dc->surface->mark_dirty();
    return TRUE;
}
