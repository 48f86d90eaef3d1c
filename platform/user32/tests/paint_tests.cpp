// Painting: update regions, erasing with the class brush, lasting GetDC drawing, and no graphics object
// left behind by repeated painting. Checked on the headless screen's pixels.
#include "message_log.h"
#include "testing/headless_display.h"
#include "testing/resource_counts.h"

namespace {

namespace ui = platform::testing::ui;

int paints = 0;

LRESULT CALLBACK grey_painting_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (worth_logging(message))
        message_log().push_back({hwnd, message, wparam});
    if (message == WM_PAINT) {
        ++paints;
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        HBRUSH grey = CreateSolidBrush(0xC0C0C0);
        FillRect(ps.hdc, &ps.rcPaint, grey);
        DeleteObject(grey);
        EndPaint(hwnd, &ps);
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

class Painting : public ::testing::Test {
protected:
    HWND hwnd = nullptr;
    void SetUp() override {
        ui::headless();
        register_logging_class("PaintClass", 0, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)), 0,
                               grey_painting_proc);
        hwnd = CreateWindowExA(0, "PaintClass", "Paint", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 150, 320, 240, nullptr,
                               nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd, nullptr);
        paints = 0;
        message_log().clear();
    }
    void TearDown() override {
        DestroyWindow(hwnd);
        ui::pump_pending();
    }
};

TEST_F(Painting, UpdateWindowPaintsOnceAndTheScreenShowsIt) {
    EXPECT_TRUE(UpdateWindow(hwnd));
    EXPECT_EQ(paints, 1);
    EXPECT_TRUE(UpdateWindow(hwnd));  // nothing invalid any more
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(ui::client_pixel(hwnd, {10, 10}), 0xC0C0C0u);
    // The caption is drawn by the platform above the client area.
    EXPECT_EQ(ui::screen_pixel(ui::caption_of(hwnd)), RGB(0, 0, 128));
    ui::pump_pending();
    EXPECT_EQ(paints, 1);
}

TEST_F(Painting, InvalidateRectPaintsOnlyTheInvalidArea) {
    UpdateWindow(hwnd);
    HDC dc = GetDC(hwnd);
    RECT all{0, 0, 400, 400};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(hwnd, dc);
    RECT part{0, 0, 20, 20};
    EXPECT_TRUE(InvalidateRect(hwnd, &part, TRUE));
    RECT update;
    EXPECT_TRUE(GetUpdateRect(hwnd, &update, FALSE));
    EXPECT_EQ(update.right, 20);
    ui::pump_pending();
    EXPECT_EQ(paints, 2);
    EXPECT_EQ(ui::client_pixel(hwnd, {5, 5}), 0xC0C0C0u);
    EXPECT_EQ(ui::client_pixel(hwnd, {30, 30}), 0u);  // GetDC drawing lasts outside the repainted part
    EXPECT_FALSE(GetUpdateRect(hwnd, &update, FALSE));
}

TEST_F(Painting, BeginPaintErasesWithTheClassBrushAndValidates) {
    UpdateWindow(hwnd);
    message_log().clear();
    InvalidateRect(hwnd, nullptr, TRUE);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    ASSERT_NE(dc, nullptr);
    expect_sequence({{WM_ERASEBKGND, hwnd}}, "erase inside BeginPaint");
    EXPECT_FALSE(ps.fErase);                   // the background was erased
    EXPECT_EQ(GetPixel(dc, 3, 3), 0xFFFFFFu);  // the class's white brush
    EndPaint(hwnd, &ps);
    RECT update;
    EXPECT_FALSE(GetUpdateRect(hwnd, &update, FALSE));
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
}

TEST_F(Painting, AThousandPaintsHoldNoGraphicsObject) {
    UpdateWindow(hwnd);
    std::size_t objects = platform::testing::gdi_object_count();
    std::size_t dcs = platform::testing::device_context_count();
    for (int i = 0; i < 1000; ++i) {
        InvalidateRect(hwnd, nullptr, TRUE);
        UpdateWindow(hwnd);
    }
    EXPECT_EQ(paints, 1001);
    EXPECT_EQ(platform::testing::gdi_object_count(), objects);
    EXPECT_EQ(platform::testing::device_context_count(), dcs);
}

TEST_F(Painting, HiddenWindowsGetNoPaint) {
    ShowWindow(hwnd, SW_HIDE);
    InvalidateRect(hwnd, nullptr, TRUE);
    ui::pump_pending();
    EXPECT_EQ(paints, 0);
    ShowWindow(hwnd, SW_SHOW);
    ui::pump_pending();
    EXPECT_EQ(paints, 1);
}

}  // namespace
