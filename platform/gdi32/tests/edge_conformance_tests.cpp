// Conformance tests of the 3D look: DrawEdge, DrawFocusRect, the system colours and icons, read back with
// GetPixel from a window's DC. Win32 and GoogleTest only, so they also run on Windows and Wine.
#include "conformance.h"

#include <algorithm>

namespace {

// A visible static control, which paints nothing while no message is dispatched, and its DC, cleared white.
struct Canvas : ::testing::Test {
    HWND window_ = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 120, 60, NULL, NULL, NULL, NULL);
    HDC dc_ = GetDC(window_);
    ~Canvas() override {
        ReleaseDC(window_, dc_);
        DestroyWindow(window_);
    }
    void Clear() {
        RECT all = {0, 0, 120, 60};
        FillRect(dc_, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
};

// On {10, 10, 40, 30}: the outer edge's top, bottom and top right corner (the bottom and right sides own
// the corners), the inner edge's top and bottom, the middle (-1: white), and what BF_ADJUST leaves (left,
// top, right). BF_FLAT and BF_MONO draw an edge in one colour; BF_MIDDLE fills the inside.
TEST_F(Canvas, DrawEdgeColoursBothEdgesAndAdjustsToThem) {
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
TEST_F(Canvas, DrawFocusRectIsADottedFrameThatASecondDrawRemoves) {
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
TEST_F(Canvas, SystemIconsShowTheirColours) {
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
