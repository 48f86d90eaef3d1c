// The parts of a vertical scroll bar: two arrows, the track and the thumb, from the bar's rectangle.
#pragma once

#include "window.h"

namespace platform::user {

struct ScrollBarParts {
    RECT up_arrow, down_arrow, track, thumb;
};

ScrollBarParts vertical_parts(const RECT &bar, const ScrollBar &state);

// What a point on the bar hits: SB_LINEUP, SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN or SB_THUMBTRACK; -1 off it.
int vertical_part_at(const RECT &bar, const ScrollBar &state, POINT point);

// The position a thumb dragged to `y` stands for.
int vertical_position_at(const RECT &bar, const ScrollBar &state, int y);

void draw_vertical_scroll_bar(HDC dc, const RECT &bar, const ScrollBar &state, bool enabled);

// The vertical bar of a window with WS_VSCROLL, in its top-level surface's coordinates.
RECT window_vertical_bar(const WindowPtr &window);

}  // namespace platform::user
