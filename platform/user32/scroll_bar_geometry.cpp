#include "scroll_bar_geometry.h"

#include <wingdi.h>

#include <algorithm>

namespace platform::user {
namespace {

bool inside(const RECT &r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

void fill(HDC dc, const RECT &r, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void raised_box(HDC dc, const RECT &r) {
    fill(dc, r, RGB(192, 192, 192));
    fill(dc, RECT{r.left, r.top, r.right, r.top + 1}, RGB(255, 255, 255));
    fill(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, RGB(255, 255, 255));
    fill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, RGB(64, 64, 64));
    fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, RGB(64, 64, 64));
}

void arrow(HDC dc, const RECT &r, bool up, bool enabled) {
    raised_box(dc, r);
    int cx = (r.left + r.right) / 2;
    int size = std::max(1, std::min(r.right - r.left, r.bottom - r.top) / 4);
    int top = (r.top + r.bottom) / 2 - size / 2;
    COLORREF color = enabled ? RGB(0, 0, 0) : RGB(128, 128, 128);
    for (int row = 0; row < size; ++row) {
        int half = up ? row : size - 1 - row;
        fill(dc, RECT{cx - half, top + row, cx + half + 1, top + row + 1}, color);
    }
}

}  // namespace

ScrollBarParts vertical_parts(const RECT &bar, const ScrollBar &state) {
    int height = bar.bottom - bar.top;
    int arrow = std::min(16, height / 2);
    ScrollBarParts parts;
    parts.up_arrow = {bar.left, bar.top, bar.right, bar.top + arrow};
    parts.down_arrow = {bar.left, bar.bottom - arrow, bar.right, bar.bottom};
    parts.track = {bar.left, bar.top + arrow, bar.right, bar.bottom - arrow};
    int track = parts.track.bottom - parts.track.top;
    int thumb = std::min(16, track);
    int range = state.max - state.min;
    int offset =
        range > 0 ? static_cast<int>(static_cast<long long>(state.pos - state.min) * (track - thumb) / range) : 0;
    offset = std::clamp(offset, 0, std::max(0, track - thumb));
    parts.thumb = {bar.left, parts.track.top + offset, bar.right, parts.track.top + offset + thumb};
    if (range <= 0 || track < 8)
        parts.thumb = {bar.left, parts.track.top, bar.left, parts.track.top};  // no thumb to drag
    return parts;
}

int vertical_part_at(const RECT &bar, const ScrollBar &state, POINT point) {
    if (!inside(bar, point))
        return -1;
    auto parts = vertical_parts(bar, state);
    if (inside(parts.up_arrow, point))
        return SB_LINEUP;
    if (inside(parts.down_arrow, point))
        return SB_LINEDOWN;
    if (inside(parts.thumb, point))
        return SB_THUMBTRACK;
    if (point.y < parts.thumb.top)
        return SB_PAGEUP;
    return SB_PAGEDOWN;
}

int vertical_position_at(const RECT &bar, const ScrollBar &state, int y) {
    auto parts = vertical_parts(bar, state);
    int thumb = parts.thumb.bottom - parts.thumb.top;
    int span = (parts.track.bottom - parts.track.top) - thumb;
    if (span <= 0)
        return state.min;
    int offset = std::clamp(y - parts.track.top - thumb / 2, 0, span);
    return state.min + static_cast<int>(static_cast<long long>(offset) * (state.max - state.min) / span);
}

void draw_vertical_scroll_bar(HDC dc, const RECT &bar, const ScrollBar &state, bool enabled) {
    auto parts = vertical_parts(bar, state);
    fill(dc, parts.track, RGB(224, 224, 224));
    arrow(dc, parts.up_arrow, true, enabled);
    arrow(dc, parts.down_arrow, false, enabled);
    if (parts.thumb.bottom > parts.thumb.top && parts.thumb.right > parts.thumb.left)
        raised_box(dc, parts.thumb);
}

RECT window_vertical_bar(const WindowPtr &window) {
    RECT outer = surface_rect(window);
    RECT client = client_in_window(*window);
    return {outer.left + client.right, outer.top + client.top, outer.left + client.right + frame_of(*window).vscroll,
            outer.top + client.bottom};
}

}  // namespace platform::user
