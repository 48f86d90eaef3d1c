// Fonts and DrawTextA: cell sizes, line breaking, word breaking and clipping, checked on pixels.
#include "gdi_test_canvas.h"
#include "text_layout.h"

#include <winuser.h>

#include <gtest/gtest.h>

#include <string>

namespace {

HFONT report_font() {
    return CreateFontA(10, 8, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS,
                       DEFAULT_QUALITY, FIXED_PITCH, "Courier");
}

struct ReportCanvas : TestCanvas {
    HFONT font = report_font();
    ReportCanvas(int width, int height) : TestCanvas(width, height) { SelectObject(dc, font); }
    ~ReportCanvas() { DeleteObject(font); }
    // Text is drawn over grey so that the opaque background shows.
    void grey_background() {
        RECT all{0, 0, 400, 400};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    }
};

TEST(Fonts, CourierResolvesToAFixedFaceWithTheRequestedCell) {
    ReportCanvas canvas(10, 10);
    TEXTMETRICA metrics;
    ASSERT_TRUE(GetTextMetricsA(canvas.dc, &metrics));
    EXPECT_EQ(metrics.tmHeight, 10);
    EXPECT_EQ(metrics.tmAscent + metrics.tmDescent, 10);
    EXPECT_EQ(metrics.tmAveCharWidth, 8);
    EXPECT_EQ(metrics.tmMaxCharWidth, 8);
    EXPECT_EQ(metrics.tmPitchAndFamily & 1, 0);  // clear bit: fixed pitch
    SIZE size;
    ASSERT_TRUE(GetTextExtentPoint32A(canvas.dc, "Wi.l!", 5, &size));
    EXPECT_EQ(size.cx, 40);
    EXPECT_EQ(size.cy, 10);
}

TEST(Fonts, TheSystemFontIsProportional) {
    TestCanvas canvas(10, 10);
    TEXTMETRICA metrics;
    ASSERT_TRUE(GetTextMetricsA(canvas.dc, &metrics));
    EXPECT_EQ(metrics.tmHeight, 16);
    EXPECT_EQ(metrics.tmPitchAndFamily & 1, 1);
    SIZE wide, narrow;
    GetTextExtentPoint32A(canvas.dc, "WWWW", 4, &wide);
    GetTextExtentPoint32A(canvas.dc, "iiii", 4, &narrow);
    EXPECT_GT(wide.cx, narrow.cx);
}

TEST(DrawText, BreaksLinesAtLineEndsAndReturnsTheHeight) {
    ReportCanvas canvas(200, 100);
    canvas.grey_background();
    RECT area{0, 0, 200, 100};
    EXPECT_EQ(DrawTextA(canvas.dc, "AAAA\r\nBB\r\n", -1, &area, DT_WORDBREAK), 20);
    // Line 1 at y 0..9 and four cells wide; line 2 at y 10..19 and two cells wide.
    EXPECT_TRUE(canvas.has_ink(0, 0, 32, 10));
    EXPECT_TRUE(canvas.has_ink(0, 10, 16, 20));
    EXPECT_FALSE(canvas.has_ink(16, 10, 40, 20));
    // The opaque background covers exactly the text cells; the rest keeps the grey.
    EXPECT_EQ(canvas.pixel(31, 9), 0xFFFFFFu);
    EXPECT_EQ(canvas.pixel(32, 5), 0xC0C0C0u);
    EXPECT_EQ(canvas.pixel(17, 15), 0xC0C0C0u);
    EXPECT_EQ(canvas.pixel(5, 25), 0xC0C0C0u);  // no third line
}

TEST(DrawText, WordBreakWrapsBetweenWordsWithinTheRectangle) {
    ReportCanvas canvas(200, 100);
    canvas.grey_background();
    RECT area{0, 0, 80, 100};  // ten cells
    EXPECT_EQ(DrawTextA(canvas.dc, "ONE TWO THREE", -1, &area, DT_WORDBREAK), 20);
    EXPECT_TRUE(canvas.has_ink(0, 0, 56, 10));  // "ONE TWO"
    EXPECT_FALSE(canvas.has_ink(56, 0, 200, 10));
    EXPECT_TRUE(canvas.has_ink(0, 10, 40, 20));  // "THREE" on the next line
    EXPECT_FALSE(canvas.has_ink(40, 10, 200, 20));

    // Without DT_WORDBREAK the line is kept whole and clipped at the right edge.
    canvas.grey_background();
    EXPECT_EQ(DrawTextA(canvas.dc, "ONE TWO THREE", -1, &area, 0), 10);
    EXPECT_FALSE(canvas.has_ink(80, 0, 200, 10));
    EXPECT_EQ(canvas.pixel(85, 5), 0xC0C0C0u);
    EXPECT_FALSE(canvas.has_ink(0, 10, 200, 20));
}

TEST(DrawText, ClipsWhatLiesBelowTheRectangle) {
    ReportCanvas canvas(100, 100);
    canvas.grey_background();
    RECT area{0, 0, 100, 25};  // two and a half lines
    DrawTextA(canvas.dc, "XXXX\r\nXXXX\r\nXXXX\r\nXXXX", -1, &area, DT_WORDBREAK);
    EXPECT_TRUE(canvas.has_ink(0, 20, 32, 25));
    EXPECT_FALSE(canvas.has_ink(0, 25, 100, 100));
    EXPECT_EQ(canvas.pixel(5, 27), 0xC0C0C0u);  // the third line's background stops at the edge too
}

TEST(DrawText, CountedLengthStopsEarlyAndBadArgumentsFail) {
    ReportCanvas canvas(100, 30);
    canvas.grey_background();
    RECT area{0, 0, 100, 30};
    EXPECT_EQ(DrawTextA(canvas.dc, "AB\r\nCD", 2, &area, 0), 10);
    EXPECT_FALSE(canvas.has_ink(0, 10, 100, 30));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(DrawTextA(reinterpret_cast<HDC>(0x1234), "A", -1, &area, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(DrawTextA(canvas.dc, "A", -1, nullptr, 0), 0);
}

TEST(DrawText, RecordsTheTextAUserWouldRead) {
    ReportCanvas canvas(100, 40);
    RECT area{0, 0, 100, 40};
    DrawTextA(canvas.dc, "first\r\nsecond", -1, &area, DT_WORDBREAK);
    auto texts = canvas.surface->texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "first");
    EXPECT_EQ(texts[0].area.top, 0);
    EXPECT_EQ(texts[1].text, "second");
    EXPECT_EQ(texts[1].area.top, 10);
    // Drawing over a line replaces it; a fill over it hides it.
    RECT second{0, 10, 100, 20};
    DrawTextA(canvas.dc, "third", -1, &second, 0);
    RECT first{0, 0, 100, 10};
    FillRect(canvas.dc, &first, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    texts = canvas.surface->texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "third");
}

TEST(TextLayout, PrefixesWordsAndLongWords) {
    HFONT font = report_font();
    auto resolved = platform::gdi::resolve_font(platform::gdi::font_of(font)->request);
    DeleteObject(font);
    auto lines = platform::gdi::layout_text(*resolved, "E&xit", 0, 100);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "Exit");
    EXPECT_EQ(lines[0].underline, 1);
    EXPECT_EQ(platform::gdi::layout_text(*resolved, "a&&b", 0, 100)[0].text, "a&b");
    EXPECT_EQ(platform::gdi::layout_text(*resolved, "a&b", DT_NOPREFIX, 100)[0].text, "a&b");

    // A word longer than the line is broken between characters; nothing is lost.
    lines = platform::gdi::layout_text(*resolved, "ABCDEFGHIJ KL", DT_WORDBREAK, 32);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, "ABCD");
    EXPECT_EQ(lines[1].text, "EFGH");
    EXPECT_EQ(lines[2].text, "IJ");
    EXPECT_EQ(lines[3].text, "KL");

    // Lone "\n" and "\r" break too; a trailing line end adds no empty line.
    EXPECT_EQ(platform::gdi::layout_text(*resolved, "a\nb\rc\r\n", 0, 100).size(), 3u);
    EXPECT_EQ(platform::gdi::layout_text(*resolved, "\r\n\r\n", 0, 100).size(), 2u);
}

}  // namespace
