// Conformance tests of drawing: objects and their selection, filling, fonts and DrawText's layout, on the DC
// of a window. Win32 and GoogleTest only, so they also run on Windows and Wine. Text is measured in the
// font's own metrics, since each system has its own faces.
#include "conformance.h"

#include <string>
#include <tuple>

namespace {

TEST(DrawingConformance, StockObjectsExistAndCannotBeDeletedAway) {
    const int stock[] = {WHITE_BRUSH, BLACK_PEN, SYSTEM_FONT, ANSI_FIXED_FONT};
    for (int index : stock) {
        HGDIOBJ object = GetStockObject(index);
        EXPECT_NE(object, (HGDIOBJ)NULL) << index;
        DeleteObject(object);  // deleting a stock object is allowed and does nothing
        EXPECT_EQ(GetStockObject(index), object) << index;
    }
}

// A visible window to draw on, and its DC.
class OnAWindow : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, NULL, NULL, NULL, NULL);
        ASSERT_NE(window_, (HWND)NULL);
        dc_ = GetDC(window_);
        ASSERT_NE(dc_, (HDC)NULL);
    }
    void TearDown() override {
        EXPECT_EQ(ReleaseDC(window_, dc_), 1);
        DestroyWindow(window_);
    }
    HWND window_ = NULL;
    HDC dc_ = NULL;
};

// SelectObject returns the object of the same kind it replaces (a DC starts with the white brush and the
// system font); a deleted object can be neither deleted again nor selected.
TEST_F(OnAWindow, SelectReturnsThePreviousObjectOfItsKindAndDeletedObjectsAreGone) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HFONT fixed = (HFONT)GetStockObject(ANSI_FIXED_FONT);
    ASSERT_NE(brush, (HBRUSH)NULL);
    EXPECT_EQ(SelectObject(dc_, brush), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc_, fixed), GetStockObject(SYSTEM_FONT));
    EXPECT_EQ(SelectObject(dc_, GetStockObject(WHITE_BRUSH)), (HGDIOBJ)brush);
    EXPECT_EQ(SelectObject(dc_, GetStockObject(SYSTEM_FONT)), (HGDIOBJ)fixed);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(SelectObject(dc_, brush), (HGDIOBJ)NULL);
    EXPECT_FALSE(DeleteObject(NULL));
}

// FillRect paints from the left and top edges up to, not including, the right and bottom ones.
TEST_F(OnAWindow, FillRectCoversTheRectangleWithoutItsRightAndBottomEdges) {
    RECT client, area = {5, 6, 10, 12};
    ASSERT_TRUE(GetClientRect(window_, &client));
    EXPECT_EQ(client.left | client.top, 0);
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 100);
    EXPECT_TRUE(FillRect(dc_, &client, (HBRUSH)GetStockObject(WHITE_BRUSH)));
    HBRUSH grey = CreateSolidBrush(RGB(128, 128, 128));
    EXPECT_TRUE(FillRect(dc_, &area, grey));
    const std::tuple<int, int, COLORREF> pixels[] = {{5, 6, RGB(128, 128, 128)},   {9, 11, RGB(128, 128, 128)},
                                                     {10, 11, RGB(255, 255, 255)}, {9, 12, RGB(255, 255, 255)},
                                                     {4, 6, RGB(255, 255, 255)},   {5, 5, RGB(255, 255, 255)}};
    for (auto [x, y, colour] : pixels)
        EXPECT_EQ(GetPixel(dc_, x, y), colour) << x << "," << y;
    DeleteObject(grey);
}

// The report font as the viewer makes it: a fixed pitch, so every character is as wide as the average.
HFONT ReportFont() {
    return CreateFontA(10, 8, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS,
                       DEFAULT_QUALITY, FIXED_PITCH, "Courier");
}

TEST_F(OnAWindow, CreateFontGivesAFixedPitchFontWhoseMetricsAddUp) {
    HFONT font = ReportFont();
    ASSERT_NE(font, (HFONT)NULL);
    HGDIOBJ previous = SelectObject(dc_, font);
    TEXTMETRICA metrics = {};
    ASSERT_TRUE(GetTextMetricsA(dc_, &metrics));
    EXPECT_EQ(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);  // the bit is set for variable pitch
    EXPECT_EQ(metrics.tmHeight, metrics.tmAscent + metrics.tmDescent);
    EXPECT_GT(metrics.tmAveCharWidth, 0);
    SIZE size = {};
    EXPECT_TRUE(GetTextExtentPoint32A(dc_, "iiii", 4, &size) && size.cx == 4 * metrics.tmAveCharWidth);
    SelectObject(dc_, previous);
    EXPECT_TRUE(DeleteObject(font));
}

// DT_CALCRECT lays the text out without drawing: it returns the height and sets the rectangle's right and
// bottom to the text's extent. In character cells and lines of the report font: the text, its length, the
// format, the rectangle's width (cells), and the size found (cells wide, lines high).
TEST_F(OnAWindow, DrawTextLaysOutLinesWordsAndPrefixes) {
    HFONT font = ReportFont();
    HGDIOBJ previous = SelectObject(dc_, font);
    TEXTMETRICA metrics = {};
    ASSERT_TRUE(GetTextMetricsA(dc_, &metrics));
    const int cell = metrics.tmAveCharWidth, line = metrics.tmHeight;
    // clang-format off
    const std::tuple<const char *, int, UINT, int, int, int> cases[] = {
        {"AAAA", -1, 0, 20, 4, 1},
        {"AAAA\r\nBB\r\n", -1, 0, 20, 4, 2},                       // a trailing line end adds no line
        {"a\nbb\rc\r\n\r\n", -1, 0, 20, 2, 4},                     // so do a lone "\n" and a lone "\r"
        {"AAAA\r\nBB", -1, DT_SINGLELINE, 20, -1, 1},  // line ends end no line (-1: widths that vary)
        {"AB\r\nCD", 2, 0, 20, 2, 1},                              // only the length given
        {"ONE TWO THREE", -1, DT_WORDBREAK, 6, 5, 3},              // words move to the next line
        {"ONE TWO THREE", -1, DT_WORDBREAK, 9, -1, 2},
        {"E&xit &&", -1, 0, 20, 6, 1},                             // "&" underlines, "&&" is one "&"
        {"E&xit", -1, DT_NOPREFIX, 20, 5, 1},
    };
    // clang-format on
    for (auto [text, length, format, width, cells, lines] : cases) {
        RECT area = {0, 0, width * cell, 1000};
        EXPECT_EQ(DrawTextA(dc_, text, length, &area, format | DT_CALCRECT), lines * line) << text;
        EXPECT_EQ(area.left | area.top, 0) << text;
        EXPECT_TRUE(cells < 0 || area.right == cells * cell) << text << ": " << area.right;
        EXPECT_EQ(area.bottom, lines * line) << text;
    }
    // Drawn, the same text inks the rectangle.
    RECT client;
    GetClientRect(window_, &client);
    FillRect(dc_, &client, (HBRUSH)GetStockObject(WHITE_BRUSH));
    RECT area = {0, 0, 20 * cell, 2 * line};
    EXPECT_EQ(DrawTextA(dc_, "MMMM", -1, &area, 0), line);
    bool ink = false;
    for (int x = 0; x < 4 * cell && !ink; ++x)
        for (int y = 0; y < line && !ink; ++y)
            ink = GetRValue(GetPixel(dc_, x, y)) < 128;
    EXPECT_TRUE(ink);
    SelectObject(dc_, previous);
    DeleteObject(font);
}

}  // namespace
