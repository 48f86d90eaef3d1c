// Graphics objects, filling, clipping, fonts, DrawTextA and its line layout, checked on the pixels of an
// in-memory bitmap.
#include "gdi_objects.h"

#include <winuser.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

namespace {

namespace gdi = platform::gdi;
constexpr COLORREF white = 0xFFFFFF, grey = 0xC0C0C0;

// An in-memory bitmap with a DC on it, whose client area starts at `origin` and is clipped to `clip`.
struct Canvas {
    std::shared_ptr<platform::display::Surface> surface;
    HDC dc;
    Canvas(int width, int height, POINT origin = {0, 0}, RECT clip = {})
        : surface(std::make_shared<platform::display::Surface>(width, height)),
          dc(gdi::create_surface_dc(surface, origin, clip.right ? clip : RECT{0, 0, width, height})) {}
    ~Canvas() { gdi::delete_dc(dc); }
    // True when any pixel of the area is darker than mid-grey (text ink).
    bool has_ink(RECT area) const {
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x) {
                COLORREF c = GetPixel(dc, x, y);
                if (c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128)
                    return true;
            }
        return false;
    }
};

HFONT report_font() {
    return CreateFontA(10, 8, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS,
                       DEFAULT_QUALITY, FIXED_PITCH, "Courier");
}

// Created objects count until deleted; a deleted one is refused with its error (stock objects and
// selection: drawing_conformance_tests.cpp).
TEST(GdiObjects, CreatedObjectsCountUntilDeletedAndAreThenRefused) {
    std::size_t before = gdi::live_object_count();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(gdi::live_object_count(), before + 1);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_EQ(gdi::live_object_count(), before);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Each fill on a 30 by 30 white bitmap whose client area starts at `origin`, clipped to `clip`: the pixel
// `inside` (client coordinates) takes the brush's colour when the fill succeeds; `outside` stays white (the
// edges of a filled rectangle: drawing_conformance_tests.cpp).
TEST(FillRect, FillsExactlyTheRectangleWithinTheClip) {
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    // clang-format off
    const std::tuple<HBRUSH, POINT, RECT, RECT, int, POINT, POINT, COLORREF> cases[] = {
        {reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), {0, 0}, {}, {0, 0, 8, 8}, 1, {3, 3}, {8, 8}, grey},
        {static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)), {0, 0}, {}, {0, 0, 8, 8}, 0, {20, 20}, {3, 3}, white},
        {black, {10, 10}, {10, 10, 20, 20}, {-100, -100, 100, 100}, 1, {9, 9}, {10, 10}, 0},  // stays in the clip
    };
    // clang-format on
    for (auto [brush, origin, clip, area, result, inside, outside, colour] : cases) {
        Canvas canvas(30, 30, origin, clip);
        EXPECT_EQ(FillRect(canvas.dc, &area, brush), result);
        EXPECT_EQ(GetPixel(canvas.dc, inside.x, inside.y), result ? colour : white);
        HDC whole = gdi::create_surface_dc(canvas.surface, {0, 0}, {0, 0, 30, 30});
        EXPECT_EQ(GetPixel(whole, outside.x + origin.x, outside.y + origin.y), white);
        gdi::delete_dc(whole);
    }
}

// Text in the 8 by 10 report font over a grey page: each line is a row of ten pixels, each character a
// column of eight; the opaque background covers exactly the text's cells. Each case: the text, its length,
// the rectangle, the format, the height returned, an area with ink, one without, a pixel of a text cell's
// background and one of the page. A word longer than the line breaks between characters; "&" underlines the
// next character and "&&" is one "&", unless DT_NOPREFIX (line ends: drawing_conformance_tests.cpp).
TEST(DrawText, BreaksWrapsAndClipsLines) {
    // clang-format off
    const std::tuple<const char *, int, RECT, UINT, int, RECT, RECT, POINT, POINT> cases[] = {
        {"ONE TWO THREE", -1, {0, 0, 80, 100}, DT_WORDBREAK, 20, {0, 10, 40, 20}, {56, 0, 200, 10}, {39, 19}, {45, 15}},
        {"XXXX\r\nXXXX\r\nXXXX", -1, {0, 0, 100, 25}, DT_WORDBREAK, 30, {0, 20, 32, 25}, {0, 25, 100, 100}, {31, 24},
         {5, 27}},
        {"ABCDEFGHIJ KL", -1, {0, 0, 32, 100}, DT_WORDBREAK, 40, {0, 30, 16, 40}, {32, 0, 200, 40}, {31, 9}, {33, 5}},
        {"E&xit &&", -1, {0, 0, 100, 100}, 0, 10, {8, 9, 16, 10}, {56, 0, 100, 10}, {35, 5}, {57, 5}},
        {"E&xit", -1, {0, 0, 100, 100}, DT_NOPREFIX, 10, {32, 0, 40, 10}, {40, 0, 100, 10}, {15, 9}, {41, 5}},
    };
    // clang-format on
    HFONT font = report_font();
    for (auto [text, length, area, format, height, ink, clean, cell, page] : cases) {
        Canvas canvas(200, 100);
        SelectObject(canvas.dc, font);
        RECT all{0, 0, 200, 100};
        FillRect(canvas.dc, &all, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
        EXPECT_EQ(DrawTextA(canvas.dc, text, length, &area, format), height) << text;
        EXPECT_TRUE(canvas.has_ink(ink)) << text;
        EXPECT_FALSE(canvas.has_ink(clean)) << text;
        EXPECT_EQ(GetPixel(canvas.dc, cell.x, cell.y), white) << text;
        EXPECT_EQ(GetPixel(canvas.dc, page.x, page.y), grey) << text;
    }
    DeleteObject(font);
}

// In the 8 by 10 report font every byte takes one cell, one without a glyph (a control or C1 byte, a tab
// without DT_EXPANDTABS) too: it draws the default character, so nothing of an older line shows after it.
TEST(FixedPitchText, EveryByteTakesOneCellAndTheUnprintableOnesShowTheDefaultCharacter) {
    const std::tuple<std::string, int> cases[] = {
        {"\x01\x02__MSBROWSE__\x02", 14}, {std::string("A\0B", 3), 1}, {"\x7f\x81\x9d", 1}, {"A\tB", 1}};
    HFONT font = report_font();
    for (auto &[text, unprintable] : cases) {
        int length = static_cast<int>(text.size());
        Canvas canvas(200, 20);
        SelectObject(canvas.dc, font);
        RECT all{0, 0, 200, 20};
        FillRect(canvas.dc, &all, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
        SIZE size{};
        GetTextExtentPoint32A(canvas.dc, text.data(), length, &size);
        TextOutA(canvas.dc, 0, 0, text.data(), length);
        EXPECT_EQ(size.cx, 8 * length) << length;
        EXPECT_TRUE(canvas.has_ink({unprintable * 8, 0, unprintable * 8 + 8, 10})) << length;
        // The opaque background covers every cell and stops after the last.
        EXPECT_EQ(GetPixel(canvas.dc, 8 * length - 1, 9) * 2 + GetPixel(canvas.dc, 8 * length, 5), white * 2 + grey);
    }
    DeleteObject(font);
}

}  // namespace
