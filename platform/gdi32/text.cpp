// DrawTextA, TextOutA and text metrics. Glyphs are laid out on whole-pixel advances from the resolved
// font, so a fixed-pitch font puts every character in its cell.
#include "gdi_objects.h"
#include "text_layout.h"

#include <winuser.h>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace platform::gdi;

namespace {

const ResolvedFont &dc_font(const DeviceContext &dc) {
    // The resolver's cache keeps every resolved font for the life of the process.
    if (const Font *font = font_of(dc.font))
        return font->resolved ? *font->resolved : *resolve_font(font->request);
    return *resolve_font(font_of(GetStockObject(SYSTEM_FONT))->request);
}

// Draws one line with its top left corner at (x, y), logical coordinates; records what a user reads.
void draw_line(DeviceContext &dc, const ResolvedFont &font, const TextLine &line, int x, int y, int tab_width) {
    int width = text_width(font, line.text, tab_width);
    cairo_t *cr = dc.cr;
    if (dc.background_mode == OPAQUE && width > 0) {
        set_source_color(cr, dc.background_color);
        cairo_rectangle(cr, x, y, width, font.line_height());
        cairo_fill(cr);
    }
    std::vector<cairo_glyph_t> glyphs;
    glyphs.reserve(line.text.size());
    int pen = x;
    int underline_x = 0, underline_width = 0;
    for (std::size_t i = 0; i < line.text.size(); ++i) {
        auto byte = static_cast<unsigned char>(line.text[i]);
        int advance = (line.text[i] == '\t' && tab_width > 0) ? tab_width - (pen - x) % tab_width : font.advance[byte];
        if (static_cast<int>(i) == line.underline) {
            underline_x = pen;
            underline_width = advance;
        }
        if (line.text[i] != '\t' || tab_width == 0)
            glyphs.push_back({font.glyph[byte], static_cast<double>(pen), static_cast<double>(y + font.ascent)});
        pen += advance;
    }
    set_source_color(cr, dc.text_color);
    cairo_set_scaled_font(cr, font.scaled);
    cairo_show_glyphs(cr, glyphs.data(), static_cast<int>(glyphs.size()));
    if (underline_width > 0) {
        cairo_rectangle(cr, underline_x, y + font.ascent + 1, underline_width, 1);
        cairo_fill(cr);
    }
    RECT landed{x + dc.origin.x, y + dc.origin.y, x + width + dc.origin.x, y + font.line_height() + dc.origin.y};
    landed.left = std::max(landed.left, dc.clip.left);
    landed.top = std::max(landed.top, dc.clip.top);
    landed.right = std::min(landed.right, dc.clip.right);
    landed.bottom = std::min(landed.bottom, dc.clip.bottom);
    if (landed.left < landed.right && landed.top < landed.bottom && !line.text.empty())
        dc.surface->record_text(landed, line.text);
    dc.surface->mark_dirty();
}

}  // namespace

extern "C" int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format) {
    DeviceContext *dc = dc_of(hdc);
    if (!dc || !lprc || (!lpchText && cchText != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string_view text = cchText < 0 ? std::string_view(lpchText) : std::string_view(lpchText, cchText);
    const ResolvedFont &font = dc_font(*dc);
    int width = lprc->right - lprc->left;
    auto lines = layout_text(font, text, format, width);
    int tab_width = (format & DT_EXPANDTABS) ? 8 * font.average_width : 0;
    int line_height = font.line_height();
    int total_height = static_cast<int>(lines.size()) * line_height;

    if (format & DT_CALCRECT) {
        int widest = 0;
        for (auto &line : lines)
            widest = std::max(widest, text_width(font, line.text, tab_width));
        lprc->right = lprc->left + widest;
        lprc->bottom = lprc->top + total_height;
        return total_height;
    }

    int y = lprc->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            y = lprc->top + (lprc->bottom - lprc->top - line_height) / 2;
        else if (format & DT_BOTTOM)
            y = lprc->bottom - line_height;
    }
    cairo_save(dc->cr);
    if (!(format & DT_NOCLIP)) {
        cairo_rectangle(dc->cr, lprc->left, lprc->top, width, lprc->bottom - lprc->top);
        cairo_clip(dc->cr);
    }
    for (auto &line : lines) {
        if (!(format & DT_NOCLIP) && y >= lprc->bottom)
            break;  // what lies below the rectangle is cut off
        int x = lprc->left;
        int line_width = text_width(font, line.text, tab_width);
        if (format & DT_CENTER)
            x = lprc->left + (width - line_width) / 2;
        else if (format & DT_RIGHT)
            x = lprc->right - line_width;
        draw_line(*dc, font, line, x, y, tab_width);
        y += line_height;
    }
    cairo_restore(dc->cr);
    return total_height;
}

extern "C" BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
    DeviceContext *dc = dc_of(hdc);
    if (!dc || (!lpString && c > 0) || c < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    draw_line(*dc, dc_font(*dc), TextLine{std::string(lpString, c), -1}, x, y, 0);
    return TRUE;
}

extern "C" BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl) {
    DeviceContext *dc = dc_of(hdc);
    if (!dc || !psizl || c < 0 || (!lpString && c > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ResolvedFont &font = dc_font(*dc);
    psizl->cx = text_width(font, std::string_view(lpString, c));
    psizl->cy = font.line_height();
    return TRUE;
}

extern "C" BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA lptm) {
    DeviceContext *dc = dc_of(hdc);
    if (!dc || !lptm) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ResolvedFont &font = dc_font(*dc);
    std::memset(lptm, 0, sizeof *lptm);
    lptm->tmHeight = font.line_height();
    lptm->tmAscent = font.ascent;
    lptm->tmDescent = font.descent;
    lptm->tmAveCharWidth = font.average_width;
    lptm->tmMaxCharWidth = font.max_width;
    lptm->tmWeight = font.weight;
    lptm->tmDigitizedAspectX = 96;
    lptm->tmDigitizedAspectY = 96;
    lptm->tmFirstChar = 0x20;
    lptm->tmLastChar = 0xFF;
    lptm->tmDefaultChar = static_cast<char>(default_character);
    lptm->tmBreakChar = ' ';
    // The low bit set means variable pitch, as the published field has it.
    lptm->tmPitchAndFamily = static_cast<BYTE>(font.fixed_pitch ? FF_MODERN : (FF_SWISS | 1));
    lptm->tmCharSet = ANSI_CHARSET;
    return TRUE;
}
