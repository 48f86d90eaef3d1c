// The graphics objects behind HGDIOBJ and HDC values: brushes, pens, fonts and device contexts, in one
// table. Objects a program creates are counted, so a test can show that repeated drawing keeps none.
#pragma once

#include "display/surface.h"
#include "font_resolver.h"

#include <wingdi.h>

#include <cairo.h>

#include <memory>
#include <variant>

namespace platform::gdi {

struct Brush {
    COLORREF color = 0;
    bool hollow = false;
};

struct Pen {
    COLORREF color = 0;
    int width = 1;
    bool hollow = false;
};

struct Font {
    FontRequest request;
    std::shared_ptr<const ResolvedFont> resolved;
};

struct DeviceContext {
    std::shared_ptr<display::Surface> surface;
    POINT origin{};                         // where logical (0, 0) lies on the surface
    RECT clip{};                            // surface coordinates
    cairo_region_t *clip_region = nullptr;  // optional further clip, surface coordinates
    cairo_t *cr = nullptr;
    HGDIOBJ brush = nullptr, pen = nullptr, font = nullptr;
    COLORREF text_color = RGB(0, 0, 0);
    COLORREF background_color = RGB(255, 255, 255);
    int background_mode = OPAQUE;
    POINT position{};
    ~DeviceContext();
};

using GdiObject = std::variant<Brush, Pen, Font>;

// Look-ups: null (with ERROR_INVALID_HANDLE set) when the handle names no object of that kind.
const Brush *brush_of(HGDIOBJ handle);
const Pen *pen_of(HGDIOBJ handle);
const Font *font_of(HGDIOBJ handle);
DeviceContext *dc_of(HDC handle);

// A DC drawing on `surface`, logical (0, 0) at `origin`, clipped to `clip` and, when given, to `region`
// (both surface coordinates; the region is copied).
HDC create_surface_dc(std::shared_ptr<display::Surface> surface, POINT origin, const RECT &clip,
                      const cairo_region_t *region = nullptr);
bool delete_dc(HDC handle);

// Objects a program created and has not deleted (stock objects excluded), and open device contexts.
std::size_t live_object_count();
std::size_t live_dc_count();

// The colour a brush paints with; false for a hollow brush or no brush. System-colour brushes
// ((HBRUSH)(COLOR_x + 1)) are accepted as Windows accepts them.
bool brush_color(HBRUSH brush, COLORREF &color);

// The system colours user32 and gdi32 paint with: the NT 4 default scheme. An index outside it reads as black
// and is_system_color says false.
COLORREF system_color(int index);
bool is_system_color(int index);

void set_source_color(cairo_t *cr, COLORREF color);

}  // namespace platform::gdi
