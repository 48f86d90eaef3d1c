// Conformance tests of drawing: objects and their selection, filling, fonts, DrawText's layout and the 3D look
// (DrawEdge, DrawFocusRect, the system colours and icons), read back with GetPixel from a window's DC. Win32 and
// GoogleTest only, so they also run on Windows and Wine. Text is measured in the font's own metrics, since each
// system has its own faces.
#include "conformance.h"

#include <algorithm>
#include <string>
#include <tuple>

namespace {

// A visible static control, which paints nothing while no message is dispatched, and its DC.
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
    void Clear() {
        RECT all = {0, 0, 200, 100};
        FillRect(dc_, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
    HWND window_ = NULL;
    HDC dc_ = NULL;
};

// SelectObject returns the object of the same kind it replaces (a DC starts with the white brush, the black
// pen and the system font); a deleted object can be neither deleted again nor selected. Deleting a stock
// object is allowed and does nothing: it stays what GetStockObject returns, and selectable.
TEST_F(OnAWindow, SelectReturnsThePreviousObjectOfItsKindAndOnlyStockObjectsOutliveDeletion) {
    for (int index : {WHITE_BRUSH, BLACK_PEN, SYSTEM_FONT, ANSI_FIXED_FONT})
        DeleteObject(GetStockObject(index));
    HGDIOBJ pen = GetStockObject(BLACK_PEN);
    EXPECT_NE(pen, (HGDIOBJ)NULL);
    EXPECT_EQ(SelectObject(dc_, pen), pen);
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

// DT_CALCRECT lays the text out without drawing: it returns the height and sets the rectangle's right and
// bottom to the text's extent. In character cells and lines of the report font: the text, its length, the
// format, the rectangle's width (cells), and the size found (cells wide, lines high).
TEST_F(OnAWindow, TheReportFontsMetricsAddUpAndDrawTextLaysOutLinesWordsAndPrefixes) {
    HFONT font = ReportFont();
    ASSERT_NE(font, (HFONT)NULL);
    HGDIOBJ previous = SelectObject(dc_, font);
    TEXTMETRICA metrics = {};
    ASSERT_TRUE(GetTextMetricsA(dc_, &metrics));
    EXPECT_EQ(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);  // the bit is set for variable pitch
    EXPECT_EQ(metrics.tmHeight, metrics.tmAscent + metrics.tmDescent);
    const int cell = metrics.tmAveCharWidth, line = metrics.tmHeight;
    ASSERT_GT(cell, 0);
    SIZE size = {};
    EXPECT_TRUE(GetTextExtentPoint32A(dc_, "iiii", 4, &size) && size.cx == 4 * cell);
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
    Clear();  // drawn, the same text inks the rectangle
    RECT area = {0, 0, 20 * cell, 2 * line};
    EXPECT_EQ(DrawTextA(dc_, "MMMM", -1, &area, 0), line);
    bool ink = false;
    for (int x = 0; x < 4 * cell && !ink; ++x)
        for (int y = 0; y < line && !ink; ++y)
            ink = GetRValue(At(x, y)) < 128;
    EXPECT_TRUE(ink);
    SelectObject(dc_, previous);
    EXPECT_TRUE(DeleteObject(font));
}

// On {10, 10, 40, 30}: the outer edge's top, bottom and top right corner (the bottom and right sides own
// the corners), the inner edge's top and bottom, the middle (-1: white), and what BF_ADJUST leaves (left,
// top, right). BF_FLAT and BF_MONO draw an edge in one colour; BF_MIDDLE fills the inside.
TEST_F(OnAWindow, DrawEdgeColoursBothEdgesAndAdjustsToThem) {
    const int L = COLOR_3DLIGHT, D = COLOR_3DDKSHADOW, H = COLOR_3DHILIGHT, S = COLOR_3DSHADOW, F = COLOR_3DFACE,
              K = COLOR_WINDOWFRAME, W = COLOR_WINDOW;
    const int cases[][11] = {{EDGE_RAISED, BF_RECT | BF_ADJUST, L, D, D, H, S, -1, 12, 12, 38},
                             {EDGE_SUNKEN, BF_RECT | BF_MIDDLE, S, H, H, D, L, F, 10, 10, 40},
                             {EDGE_ETCHED, BF_RECT | BF_ADJUST, S, H, H, H, S, -1, 12, 12, 38},
                             {EDGE_SUNKEN, BF_RECT | BF_FLAT, S, S, S, F, F, -1, 10, 10, 40},
                             {EDGE_BUMP, BF_RECT | BF_MONO, K, K, K, W, W, -1, 10, 10, 40},
                             {EDGE_SUNKEN, BF_BOTTOMRIGHT | BF_ADJUST, -1, H, H, -1, L, -1, 10, 10, 38}};
    const POINT probes[] = {{25, 10}, {25, 29}, {39, 10}, {25, 11}, {25, 28}, {25, 20}};
    for (const auto &c : cases) {
        Clear();
        RECT area = {10, 10, 40, 30};
        SetLastError(conformance::kSentinel);
        EXPECT_TRUE(DrawEdge(dc_, &area, c[0], c[1]));
        EXPECT_LAST_ERROR(conformance::kSentinel);
        EXPECT_EQ(area.left * 10000 + area.top * 100 + area.right, c[8] * 10000 + c[9] * 100 + c[10]) << c[0];
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(At(probes[i].x, probes[i].y), c[2 + i] < 0 ? RGB(255, 255, 255) : GetSysColor(c[2 + i]))
                << c[0] << " " << c[1] << " probe " << i;
    }
}

// The focus frame inverts every other pixel of the border (28 of 56) and nothing else; drawn again, it's gone.
TEST_F(OnAWindow, DrawFocusRectIsADottedFrameThatASecondDrawRemoves) {
    Clear();
    RECT area = {10, 10, 30, 20};
    auto black = [&](bool on_border) {
        int count = 0;
        for (int i = 0; i < 40 * 30; ++i) {
            int x = i % 40, y = i / 40;
            bool border = x >= 10 && x < 30 && y >= 10 && y < 20 && (x == 10 || x == 29 || y == 10 || y == 19);
            count += border == on_border && At(x, y) == RGB(0, 0, 0);
        }
        return count;
    };
    SetLastError(conformance::kSentinel);
    EXPECT_TRUE(DrawFocusRect(dc_, &area));
    EXPECT_LAST_ERROR(conformance::kSentinel);
    EXPECT_EQ(black(true) * 100 + black(false), 2800);
    EXPECT_TRUE(DrawFocusRect(dc_, &area));
    EXPECT_EQ(black(true), 0);
}

// The message box icons: a red stop sign, a yellow warning, a blue question and information mark: pixels
// whose channels where the hue has them are at least 30 above those where it has not.
TEST_F(OnAWindow, SystemIconsShowTheirColours) {
    const LPCSTR icons[] = {IDI_HAND, IDI_EXCLAMATION, IDI_QUESTION, IDI_ASTERISK};
    const COLORREF hues[] = {RGB(255, 0, 0), RGB(255, 255, 0), RGB(0, 0, 255), RGB(0, 0, 255)};
    for (int k = 0; k < 4; ++k) {
        Clear();
        EXPECT_TRUE(DrawIcon(dc_, 4, 4, LoadIconA(NULL, icons[k])));
        int matching = 0;
        for (int i = 0; i < 32 * 32; ++i) {
            int weakest_in = 255, strongest_out = 0, p = At(4 + i % 32, 4 + i / 32);
            for (int shift = 0, v; shift < 24; shift += 8)
                (v = p >> shift & 0xFF, hues[k] >> shift & 0xFF) ? weakest_in = std::min(weakest_in, v)
                                                                 : strongest_out = std::max(strongest_out, v);
            matching += weakest_in - strongest_out >= 0x30;
        }
        EXPECT_GE(matching, 12) << k;
    }
}

TEST(SystemColors, TheDefaultSchemeIsNt4s) {
#ifdef _WIN32
    GTEST_SKIP() << "on Windows the colour scheme is the user's";
#endif
    const COLORREF scheme[][2] = {{COLOR_3DLIGHT, 0xC0C0C0}, {COLOR_HIGHLIGHT, 0x800000}, {COLOR_INFOBK, 0xE1FFFF}};
    for (const auto &c : scheme)
        EXPECT_EQ(GetSysColor(c[0]), c[1]) << c[0];
    EXPECT_EQ(GetSysColor(COLOR_INFOBK + 1) + (ULONG_PTR)GetSysColorBrush(COLOR_INFOBK + 1), 0u);  // past NT 4's
}

}  // namespace
