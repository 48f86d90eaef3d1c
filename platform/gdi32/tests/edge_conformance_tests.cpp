// Conformance tests of the 3D look: DrawEdge, DrawFocusRect, the system colours and icons, read back with
// GetPixel from a window's DC. Win32 and GoogleTest only, so they also run on Windows and Wine.
#include "conformance.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// A visible pop-up window nobody paints on but the test, and its DC filled white.
class Canvas : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.hInstance = GetModuleHandleA(NULL);
        window_class.lpszClassName = "EdgeCanvas";
        RegisterClassA(&window_class);
        window_ = CreateWindowExA(0, "EdgeCanvas", "", WS_POPUP | WS_VISIBLE, 0, 0, 120, 60, NULL, NULL,
                                  window_class.hInstance, NULL);
        ASSERT_NE(window_, (HWND)NULL);
        dc_ = GetDC(window_);
        Clear();
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

// Each edge's top and left sides in one colour and its bottom and right sides in another, the outer edge
// on the rectangle's border, the inner one a pixel inside; the bottom and right sides own the corners
// they share with the top and left ones. BF_FLAT and BF_MONO draw each edge in one colour.
TEST_F(Canvas, DrawEdgeColoursEachSideOfBothEdges) {
    const struct {
        UINT edge, flags;
        int outer_top_left, outer_bottom_right, inner_top_left, inner_bottom_right;
    } cases[] = {
        {EDGE_RAISED, BF_RECT, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_3DHILIGHT, COLOR_3DSHADOW},
        {EDGE_SUNKEN, BF_RECT, COLOR_3DSHADOW, COLOR_3DHILIGHT, COLOR_3DDKSHADOW, COLOR_3DLIGHT},
        {EDGE_ETCHED, BF_RECT, COLOR_3DSHADOW, COLOR_3DHILIGHT, COLOR_3DHILIGHT, COLOR_3DSHADOW},
        {EDGE_BUMP, BF_RECT, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_3DDKSHADOW, COLOR_3DLIGHT},
        {EDGE_SUNKEN, BF_RECT | BF_FLAT, COLOR_3DSHADOW, COLOR_3DSHADOW, COLOR_3DFACE, COLOR_3DFACE},
        {EDGE_RAISED, BF_RECT | BF_MONO, COLOR_WINDOWFRAME, COLOR_WINDOWFRAME, COLOR_WINDOW, COLOR_WINDOW},
    };
    for (const auto &c : cases) {
        Clear();
        RECT area = {10, 10, 40, 30};
        SetLastError(conformance::kSentinel);
        EXPECT_TRUE(DrawEdge(dc_, &area, c.edge, c.flags)) << c.edge << " " << c.flags;
        EXPECT_LAST_ERROR(conformance::kSentinel);
        const struct {
            int x, y, color;
        } probes[] = {
            {25, 10, c.outer_top_left},     {10, 20, c.outer_top_left},     {25, 29, c.outer_bottom_right},
            {39, 20, c.outer_bottom_right}, {39, 10, c.outer_bottom_right}, {10, 29, c.outer_bottom_right},
            {25, 11, c.inner_top_left},     {11, 20, c.inner_top_left},     {25, 28, c.inner_bottom_right},
            {38, 20, c.inner_bottom_right},
        };
        for (const auto &p : probes)
            EXPECT_EQ(At(p.x, p.y), GetSysColor(p.color)) << c.edge << " " << c.flags << " at " << p.x << "," << p.y;
        EXPECT_EQ(At(25, 20), kWhite) << "the middle is left alone";
        EXPECT_EQ(At(9, 9), kWhite) << "nothing outside";
    }
}

// BF_ADJUST leaves the rectangle inside the edges drawn, on the sides drawn; BF_MIDDLE fills that inside
// with the face colour; only the sides named are drawn.
TEST_F(Canvas, DrawEdgeAdjustsToTheSidesDrawnAndFillsTheMiddle) {
    const struct {
        UINT edge, flags;
        RECT after;
        COLORREF middle, left, right;
    } cases[] = {
        {EDGE_RAISED,
         BF_RECT | BF_ADJUST,
         {12, 12, 38, 28},
         kWhite,
         GetSysColor(COLOR_3DLIGHT),
         GetSysColor(COLOR_3DDKSHADOW)},
        {BDR_SUNKENOUTER,
         BF_RECT | BF_ADJUST,
         {11, 11, 39, 29},
         kWhite,
         GetSysColor(COLOR_3DSHADOW),
         GetSysColor(COLOR_3DHILIGHT)},
        {EDGE_SUNKEN, BF_TOPLEFT | BF_ADJUST, {12, 12, 40, 30}, kWhite, GetSysColor(COLOR_3DSHADOW), kWhite},
        {EDGE_SUNKEN,
         BF_RIGHT | BF_MIDDLE,
         {10, 10, 40, 30},
         GetSysColor(COLOR_3DFACE),
         GetSysColor(COLOR_3DFACE),
         GetSysColor(COLOR_3DHILIGHT)},
    };
    for (const auto &c : cases) {
        Clear();
        RECT area = {10, 10, 40, 30};
        EXPECT_TRUE(DrawEdge(dc_, &area, c.edge, c.flags));
        EXPECT_EQ(area.left * 1000 + area.top, c.after.left * 1000 + c.after.top) << c.edge << " " << c.flags;
        EXPECT_EQ(area.right * 1000 + area.bottom, c.after.right * 1000 + c.after.bottom) << c.edge << " " << c.flags;
        EXPECT_EQ(At(25, 20), c.middle) << c.edge << " " << c.flags;
        EXPECT_EQ(At(10, 20), c.left) << c.edge << " " << c.flags;
        EXPECT_EQ(At(39, 20), c.right) << c.edge << " " << c.flags;
    }
}

// The focus frame inverts every other pixel of the rectangle's border and nothing else; drawn again, it
// is gone.
TEST_F(Canvas, DrawFocusRectIsADottedFrameThatASecondDrawRemoves) {
    RECT area = {10, 10, 30, 20};
    SetLastError(conformance::kSentinel);
    EXPECT_TRUE(DrawFocusRect(dc_, &area));
    EXPECT_LAST_ERROR(conformance::kSentinel);
    int dots = 0;
    for (int x = 10; x < 29; ++x) {
        for (int y : {10, 19}) {
            bool here = At(x, y) != kWhite, next = At(x + 1, y) != kWhite;
            EXPECT_NE(here, next) << x << "," << y << ": dots alternate";
            EXPECT_EQ(here ? At(x, y) : RGB(0, 0, 0), RGB(0, 0, 0)) << x << "," << y << ": a dot is white inverted";
            dots += here;
        }
    }
    for (int y = 10; y < 19; ++y)
        for (int x : {10, 29})
            EXPECT_NE(At(x, y) != kWhite, At(x, y + 1) != kWhite) << x << "," << y << ": dots alternate";
    EXPECT_GE(dots, 18);
    EXPECT_EQ(At(20, 15), kWhite);
    EXPECT_EQ(At(9, 10), kWhite);
    EXPECT_EQ(At(30, 10), kWhite);
    EXPECT_TRUE(DrawFocusRect(dc_, &area));
    for (int x = 9; x <= 30; ++x)
        for (int y = 9; y <= 20; ++y)
            ASSERT_EQ(At(x, y), kWhite) << x << "," << y << ": the second draw restores";
}

// The message box icons: a stop sign that is mostly red, a yellow warning, blue question and information.
TEST_F(Canvas, SystemIconsShowTheirColours) {
    const struct {
        LPCSTR id;
        int red, green, blue;  // 1: the channel is strong, 0: weak
    } cases[] = {{IDI_HAND, 1, 0, 0}, {IDI_EXCLAMATION, 1, 1, 0}, {IDI_QUESTION, 0, 0, 1}, {IDI_ASTERISK, 0, 0, 1}};
    for (const auto &c : cases) {
        Clear();
        HICON icon = LoadIconA(NULL, c.id);
        ASSERT_NE(icon, (HICON)NULL);
        EXPECT_TRUE(DrawIcon(dc_, 4, 4, icon));
        int matching = 0;
        for (int y = 4; y < 36; ++y)
            for (int x = 4; x < 36; ++x) {
                COLORREF p = At(x, y);
                matching += (GetRValue(p) >= 0xA0) == (c.red == 1) && (GetRValue(p) < 0x60) == (c.red == 0) &&
                            (GetGValue(p) >= 0xA0) == (c.green == 1) && (GetGValue(p) < 0x60) == (c.green == 0) &&
                            (GetBValue(p) >= 0xA0) == (c.blue == 1) && (GetBValue(p) < 0x60) == (c.blue == 0);
            }
        EXPECT_GE(matching, 12) << (ULONG_PTR)c.id;
    }
}

TEST(SystemColors, TheDefaultSchemeIsNt4s) {
#ifdef _WIN32
    GTEST_SKIP() << "on Windows the colour scheme is the user's";
#endif
    const struct {
        int index;
        COLORREF color;
    } cases[] = {
        {COLOR_3DHILIGHT, RGB(255, 255, 255)}, {COLOR_3DLIGHT, RGB(192, 192, 192)}, {COLOR_3DFACE, RGB(192, 192, 192)},
        {COLOR_3DSHADOW, RGB(128, 128, 128)},  {COLOR_3DDKSHADOW, RGB(0, 0, 0)},    {COLOR_WINDOW, RGB(255, 255, 255)},
        {COLOR_HIGHLIGHT, RGB(0, 0, 128)},     {COLOR_INFOBK, RGB(255, 255, 225)},  {COLOR_INFOBK + 1, RGB(0, 0, 0)}};
    for (const auto &c : cases)
        EXPECT_EQ(GetSysColor(c.index), c.color) << c.index;
    EXPECT_EQ(GetSysColorBrush(COLOR_INFOBK + 1), (HBRUSH)NULL);
}

}  // namespace
