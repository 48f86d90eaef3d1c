#include "font_resolver.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace platform::gdi {
namespace {

// Faces that programs name for a fixed-pitch font.
bool names_fixed_face(std::string face) {
    std::transform(face.begin(), face.end(), face.begin(), ::tolower);
    return face == "courier" || face == "courier new" || face == "fixedsys" || face == "terminal" ||
           face == "lucida console";
}

// The faces of the era that programs name, drawn in fonts-liberation's faces of the same widths, so that
// every machine with the package draws them alike.
std::string family_for(const FontRequest &request, bool want_fixed) {
    std::string face = request.face;
    std::transform(face.begin(), face.end(), face.begin(), ::tolower);
    if (face == "courier" || face == "courier new")
        return "Liberation Mono";
    if (face == "ms sans serif" || face == "ms shell dlg" || face == "arial" || face == "helv" || face == "system")
        return "Liberation Sans";
    if (request.face.empty())
        return want_fixed ? "monospace" : "sans-serif";
    return request.face;
}

FcPattern *match_pattern(const FontRequest &request, bool want_fixed) {
    FcPattern *pattern = FcPatternCreate();
    std::string family = family_for(request, want_fixed);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.c_str()));
    if (want_fixed)
        FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    FcPatternAddInteger(pattern, FC_WEIGHT, request.weight >= FW_BOLD ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern *matched = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    return matched;
}

bool is_monospace(FcPattern *matched) {
    int spacing = FC_PROPORTIONAL;
    return FcPatternGetInteger(matched, FC_SPACING, 0, &spacing) == FcResultMatch && spacing >= FC_MONO;
}

cairo_scaled_font_t *scaled_font(cairo_font_face_t *face, double x_scale, double y_scale) {
    cairo_matrix_t font_matrix, identity;
    cairo_matrix_init_scale(&font_matrix, x_scale, y_scale);
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t *options = cairo_font_options_create();
    // Whole-pixel glyphs without grey edges, as the screen fonts of the NT 4 era were drawn.
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
    auto *scaled = cairo_scaled_font_create(face, &font_matrix, &identity, options);
    cairo_font_options_destroy(options);
    return scaled;
}

std::shared_ptr<ResolvedFont> build_font(const FontRequest &request) {
    bool want_fixed = (request.pitch_and_family & 3) == FIXED_PITCH || names_fixed_face(request.face);
    FcPattern *matched = match_pattern(request, want_fixed);
    if (matched && want_fixed && !is_monospace(matched)) {
        FcPatternDestroy(matched);
        FontRequest generic = request;
        generic.face = "monospace";
        matched = match_pattern(generic, true);
    }
    auto font = std::make_shared<ResolvedFont>();
    cairo_font_face_t *face = nullptr;
    if (matched) {
        FcChar8 *family = nullptr;
        if (FcPatternGetString(matched, FC_FAMILY, 0, &family) == FcResultMatch)
            font->family = reinterpret_cast<const char *>(family);
        font->fixed_pitch = is_monospace(matched);
        face = cairo_ft_font_face_create_for_pattern(matched);
        FcPatternDestroy(matched);
    } else {
        face = cairo_toy_font_face_create(want_fixed ? "monospace" : "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                                          CAIRO_FONT_WEIGHT_NORMAL);
    }

    // Measure at a reference size, then scale each axis so the cell is what was asked for: the height is
    // the line height (ascent + descent), the width the advance of an average character.
    constexpr double reference = 100.0;
    cairo_scaled_font_t *probe = scaled_font(face, reference, reference);
    cairo_font_extents_t extents;
    cairo_scaled_font_extents(probe, &extents);
    cairo_text_extents_t x_extents;
    cairo_scaled_font_text_extents(probe, "x", &x_extents);
    cairo_scaled_font_destroy(probe);
    double cell_per_em = (extents.ascent + extents.descent) / reference;
    double average_per_em = (font->fixed_pitch ? x_extents.x_advance : x_extents.x_advance * 1.1) / reference;

    int height = request.height == 0 ? 16 : request.height;
    double y_scale = height > 0 ? height / cell_per_em : -height;
    double x_scale = request.width > 0 ? request.width / average_per_em : y_scale;
    font->scaled = scaled_font(face, x_scale, y_scale);
    cairo_font_face_destroy(face);

    cairo_scaled_font_extents(font->scaled, &extents);
    int cell = height > 0 ? height : static_cast<int>(std::lround(extents.ascent + extents.descent));
    font->ascent = std::clamp(static_cast<int>(std::lround(extents.ascent)), 1, cell);
    font->descent = cell - font->ascent;
    font->weight = request.weight == 0 ? FW_NORMAL : request.weight;

    for (int byte = 0; byte < 256; ++byte) {
        // Latin-1 byte as UTF-8.
        char utf8[3] = {};
        if (byte < 0x80) {
            utf8[0] = static_cast<char>(byte);
        } else {
            utf8[0] = static_cast<char>(0xC0 | (byte >> 6));
            utf8[1] = static_cast<char>(0x80 | (byte & 0x3F));
        }
        cairo_glyph_t *glyphs = nullptr;
        int count = 0;
        if (byte >= 0x20 &&
            cairo_scaled_font_text_to_glyphs(font->scaled, 0, 0, utf8, -1, &glyphs, &count, nullptr, nullptr,
                                             nullptr) == CAIRO_STATUS_SUCCESS &&
            count == 1) {
            font->glyph[byte] = glyphs[0].index;
            cairo_text_extents_t glyph_extents;
            cairo_scaled_font_glyph_extents(font->scaled, glyphs, 1, &glyph_extents);
            font->advance[byte] = static_cast<int>(std::lround(glyph_extents.x_advance));
        }
        cairo_glyph_free(glyphs);
    }
    // A byte the font has no glyph for (control bytes among them) draws the default character, as GDI
    // does, so that no byte of a string takes no room.
    for (int byte = 0; byte < 256; ++byte)
        if (font->glyph[byte] == 0) {
            font->glyph[byte] = font->glyph[default_character];
            font->advance[byte] = font->advance[default_character];
        }
    if (font->fixed_pitch) {
        // Every byte of a fixed-pitch font takes the same cell, whatever the hinting rounded.
        int cell_width = request.width > 0 ? request.width : font->advance['x'];
        font->advance.fill(cell_width);
    }
    font->average_width = font->advance['x'];
    font->max_width = *std::max_element(font->advance.begin(), font->advance.end());
    return font;
}

}  // namespace

ResolvedFont::~ResolvedFont() {
    if (scaled)
        cairo_scaled_font_destroy(scaled);
}

std::shared_ptr<const ResolvedFont> resolve_font(const FontRequest &request) {
    static std::mutex lock;
    static auto *cache = new std::map<FontRequest, std::shared_ptr<const ResolvedFont>>;
    std::lock_guard guard(lock);
    auto &entry = (*cache)[request];
    if (!entry)
        entry = build_font(request);
    return entry;
}

}  // namespace platform::gdi
