// Turns a font request into a cairo font through fontconfig, scaled to the cell the request asks for.
// Resolution is cached: the same request made again costs a map lookup.
#pragma once

#include <windows.h>

#include <cairo.h>

#include <array>
#include <memory>
#include <string>

namespace platform::gdi {

struct FontRequest {
    int height = 0;  // > 0: cell height; < 0: character (em) height; 0: the default
    int width = 0;   // average character width; 0: in proportion to the height
    int weight = FW_NORMAL;
    bool italic = false;
    int pitch_and_family = DEFAULT_PITCH;
    std::string face;

    auto operator<=>(const FontRequest &) const = default;
};

// What a byte without a glyph draws (GetTextMetrics' tmDefaultChar).
inline constexpr unsigned char default_character = '?';

struct ResolvedFont {
    cairo_scaled_font_t *scaled = nullptr;
    std::string family;
    int ascent = 0, descent = 0;  // in whole pixels; ascent + descent is the line height
    int average_width = 0, max_width = 0;
    bool fixed_pitch = false;
    int weight = FW_NORMAL;
    std::array<int, 256> advance{};          // per byte, whole pixels
    std::array<unsigned long, 256> glyph{};  // per byte (read as Latin-1); never 0

    int line_height() const { return ascent + descent; }
    ~ResolvedFont();
};

// Never null: a request fontconfig cannot satisfy falls back to its default face.
std::shared_ptr<const ResolvedFont> resolve_font(const FontRequest &request);

}  // namespace platform::gdi
