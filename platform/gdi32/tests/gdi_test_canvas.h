// An in-memory bitmap with a DC on it, for checking drawing pixel by pixel.
#pragma once

#include "gdi_objects.h"

#include <memory>

struct TestCanvas {
    std::shared_ptr<platform::display::Surface> surface;
    HDC dc;

    TestCanvas(int width, int height)
        : surface(std::make_shared<platform::display::Surface>(width, height)),
          dc(platform::gdi::create_surface_dc(surface, {0, 0}, {0, 0, width, height})) {}
    ~TestCanvas() { platform::gdi::delete_dc(dc); }

    COLORREF pixel(int x, int y) const { return GetPixel(dc, x, y); }
    // True when any pixel of the area is darker than mid-grey (text ink).
    bool has_ink(int left, int top, int right, int bottom) const {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                COLORREF c = pixel(x, y);
                if (c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128)
                    return true;
            }
        return false;
    }
};
