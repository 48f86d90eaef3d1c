// Conformance tests of the 3D look: DrawEdge, DrawFocusRect, the system colours and icons, read back with
// GetPixel from a window's DC. Win32 and GoogleTest only, so they also run on Windows and Wine.
#include "conformance.h"

#include <string>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// A visible pop-up window nobody paints on but the test, and its DC, filled white by Clear().
class Canvas : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA window_class = {0,    DefWindowProcA, 0,    0,    GetModuleHandleA(NULL),
                                  NULL, NULL,           NULL, NULL, "EdgeCanvas"};
        RegisterClassA(&window_class);
        window_ = CreateWindowExA(0, "EdgeCanvas", "", WS_POPUP | WS_VISIBLE, 0, 0, 120, 60, NULL, NULL, NULL, NULL);
        ASSERT_NE(window_, (HWND)NULL);
        dc_ = GetDC(window_);
    }
    void TearDown() override {
        ReleaseDC(window_, dc_);
        DestroyWindow(window_);
        UnregisterClassA("EdgeCanvas", GetModuleHandleA(NULL));
    }
    void Clear() {
        RECT all = {0, 0, 120, 60};
        FillRect(dc_, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }

    HWND window_ = NULL;
    HDC dc_ = NULL;
};

std::string Text(const RECT &r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// Each edge's top and left sides in one colour, its bottom and right sides (which own the corners they share
// with those) in another; the outer edge on the border, the inner one a pixel inside. BF_FLAT and BF_MONO
// draw an edge in one colour; BF_ADJUST leaves the rectangle inside what was drawn; BF_MIDDLE fills it.
TEST_F(Canvas, DrawEdgeColoursEachSideOfBothEdgesAndAdjustsToThem) {
    const struct {
        UINT edge, flags;
        int outer_top_left, outer_bottom_right, inner_top_left, inner_bottom_right, middle;  // -1: white
        const char *adjusted;
    } cases[] = {
        {EDGE_RAISED, BF_RECT | BF_ADJUST, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_3DHILIGHT, COLOR_3DSHADOW, -1,
         "12,12,38,28"},
        {EDGE_SUNKEN, BF_RECT | BF_MIDDLE, COLOR_3DSHADOW, COLOR_3DHILIGHT, COLOR_3DDKSHADOW, COLOR_3DLIGHT,
         COLOR_3DFACE, "10,10,40,30"},
        {EDGE_ETCHED, BF_RECT, COLOR_3DSHADOW, COLOR_3DHILIGHT, COLOR_3DHILIGHT, COLOR_3DSHADOW, -1, "10,10,40,30"},
        {EDGE_BUMP, BF_RECT, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_3DDKSHADOW, COLOR_3DLIGHT, -1, "10,10,40,30"},
        {EDGE_SUNKEN, BF_RECT | BF_FLAT, COLOR_3DSHADOW, COLOR_3DSHADOW, COLOR_3DFACE, COLOR_3DFACE, -1, "10,10,40,30"},
        {EDGE_RAISED, BF_RECT | BF_MONO, COLOR_WINDOWFRAME, COLOR_WINDOWFRAME, COLOR_WINDOW, COLOR_WINDOW, -1,
         "10,10,40,30"},
        {BDR_SUNKENOUTER, BF_BOTTOMRIGHT | BF_ADJUST, -1, COLOR_3DHILIGHT, -1, -1, -1, "10,10,39,29"},
    };
    for (const auto &c : cases) {
        Clear();
        RECT area = {10, 10, 40, 30};
        SetLastError(conformance::kSentinel);
        EXPECT_TRUE(DrawEdge(dc_, &area, c.edge, c.flags)) << c.edge << " " << c.flags;
        EXPECT_LAST_ERROR(conformance::kSentinel);
        EXPECT_EQ(Text(area), c.adjusted) << c.edge << " " << c.flags;
        const struct {
            int x, y, color;
        } probes[] = {{25, 10, c.outer_top_left},
                      {10, 20, c.outer_top_left},
                      {25, 29, c.outer_bottom_right},
                      {39, 20, c.outer_bottom_right},
                      {39, 10, c.outer_bottom_right},
                      {10, 29, c.outer_bottom_right},
                      {25, 11, c.inner_top_left},
                      {11, 20, c.inner_top_left},
                      {25, 28, c.inner_bottom_right},
                      {38, 20, c.inner_bottom_right},
                      {25, 20, c.middle},
                      {9, 9, -1}};
        for (const auto &p : probes)
            EXPECT_EQ(At(p.x, p.y), p.color < 0 ? kWhite : GetSysColor(p.color))
                << c.edge << " " << c.flags << " at " << p.x << "," << p.y;
    }
}

// The focus frame inverts every other pixel of the rectangle's border and nothing else; drawn again, it is
// gone.
TEST_F(Canvas, DrawFocusRectIsADottedFrameThatASecondDrawRemoves) {
    Clear();
    RECT area = {10, 10, 30, 20};
    SetLastError(conformance::kSentinel);
    EXPECT_TRUE(DrawFocusRect(dc_, &area));
    EXPECT_LAST_ERROR(conformance::kSentinel);
    int dots = 0;
    for (int i = 0; i < 19; ++i) {  // neighbours along the top and bottom sides, and the left and right ones
        const POINT pairs[][2] = {{{10 + i, 10}, {11 + i, 10}},
                                  {{10 + i, 19}, {11 + i, 19}},
                                  {{10, 10 + i % 9}, {10, 11 + i % 9}},
                                  {{29, 10 + i % 9}, {29, 11 + i % 9}}};
        for (const auto &pair : pairs) {
            COLORREF here = At(pair[0].x, pair[0].y), next = At(pair[1].x, pair[1].y);
            EXPECT_NE(here == kWhite, next == kWhite) << pair[0].x << "," << pair[0].y << ": dots alternate";
            EXPECT_TRUE(here == kWhite || here == RGB(0, 0, 0)) << pair[0].x << "," << pair[0].y;
            dots += here != kWhite;
        }
    }
    EXPECT_GE(dots, 30);
    EXPECT_TRUE(DrawFocusRect(dc_, &area));
    for (int x = 9; x <= 30; ++x)
        for (int y = 9; y <= 20; ++y)
            ASSERT_EQ(At(x, y), kWhite) << x << "," << y << ": only the border changed, and back";
}

// The message box icons: a red stop sign, a yellow warning, a blue question and information mark.
TEST_F(Canvas, SystemIconsShowTheirColours) {
    const struct {
        LPCSTR id;
        bool red, green, blue;  // strong (at least a0) or weak (below 60)
    } cases[] = {{IDI_HAND, 1, 0, 0}, {IDI_EXCLAMATION, 1, 1, 0}, {IDI_QUESTION, 0, 0, 1}, {IDI_ASTERISK, 0, 0, 1}};
    for (const auto &c : cases) {
        Clear();
        EXPECT_TRUE(DrawIcon(dc_, 4, 4, LoadIconA(NULL, c.id)));
        auto strong = [](int v, bool want) { return want ? v >= 0xA0 : v < 0x60; };
        int matching = 0;
        for (int y = 4; y < 36; ++y)
            for (int x = 4; x < 36; ++x) {
                COLORREF p = At(x, y);
                matching +=
                    strong(GetRValue(p), c.red) && strong(GetGValue(p), c.green) && strong(GetBValue(p), c.blue);
            }
        EXPECT_GE(matching, 12) << (ULONG_PTR)c.id;
    }
}

TEST(SystemColors, TheDefaultSchemeIsNt4s) {
#ifdef _WIN32
    GTEST_SKIP() << "on Windows the colour scheme is the user's";
#endif
    const COLORREF scheme[][2] = {{COLOR_3DHILIGHT, 0xFFFFFF}, {COLOR_3DLIGHT, 0xC0C0C0}, {COLOR_3DFACE, 0xC0C0C0},
                                  {COLOR_3DSHADOW, 0x808080},  {COLOR_3DDKSHADOW, 0},     {COLOR_HIGHLIGHT, 0x800000},
                                  {COLOR_INFOBK, 0xE1FFFF},    {COLOR_INFOBK + 1, 0}};
    for (const auto &c : scheme)
        EXPECT_EQ(GetSysColor(c[0]), c[1]) << c[0];
    EXPECT_EQ(GetSysColorBrush(COLOR_INFOBK + 1), (HBRUSH)NULL);
}

}  // namespace
