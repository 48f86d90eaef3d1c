// The X11 backend under a virtual X server: each top-level window is an X window showing what its surface
// holds inside user32's frame and caption. Without an X display the test skips.
#include "display/x11_backend.h"
#include "testing/headless_display.h"
#include "window_manager.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

LRESULT CALLBACK painted_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        HBRUSH grey = CreateSolidBrush(0xC0C0C0);
        FillRect(ps.hdc, &ps.rcPaint, grey);
        DeleteObject(grey);
        RECT client;
        GetClientRect(hwnd, &client);
        DrawTextA(ps.hdc, "  Frames sent          1234", -1, &client, DT_WORDBREAK);
        EndPaint(hwnd, &ps);
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

// The pixels where the X window and the window's surface (inside its frame) differ; -1 when unreadable.
int differing_pixels(HWND hwnd) {
    auto window = platform::user::find_window_quiet(hwnd);
    cairo_surface_t *shown = platform::display::x11_window_contents(platform::display::backend(), window->surface_id);
    if (!shown)
        return -1;
    auto frame = platform::user::frame_of(*window);
    cairo_surface_t *drawn = window->surface->image();
    cairo_surface_flush(drawn);
    auto pixel = [](cairo_surface_t *s, int x, int y) {
        auto *row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        return reinterpret_cast<const std::uint32_t *>(row)[x] & 0xFFFFFF;
    };
    int differing = 0;
    for (int y = 0; y < cairo_image_surface_get_height(shown); ++y)
        for (int x = 0; x < cairo_image_surface_get_width(shown); ++x)
            differing += pixel(shown, x, y) != pixel(drawn, x + frame.border, y + frame.border + frame.caption);
    cairo_surface_destroy(shown);
    return differing;
}

TEST(X11Backend, TopLevelWindowsShowTheirSurface) {
    setenv("PLATFORM_DISPLAY_BACKEND", "x11", 1);
    if (platform::display::backend().name() != "x11")
        GTEST_SKIP() << "no X display (the test runs under xvfb-run when it is installed)";
    WNDCLASSA wc{0, painted_proc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "X11Painted"};
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND main = CreateWindowExA(0, "X11Painted", "Main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(main, nullptr);
    // The X server shows a window some time after it is mapped: wait until it shows what was drawn. Read
    // while nothing covers it, since an X window's obscured parts read back as what covers them.
    EXPECT_TRUE(platform::testing::ui::pump_until([&] { return differing_pixels(main) == 0; }));
    HWND owned = CreateWindowExA(0, "X11Painted", "Owned", WS_POPUP | WS_CAPTION | WS_VISIBLE, 400, 10, 200, 100,
                                 main, nullptr, nullptr, nullptr);
    EXPECT_TRUE(platform::testing::ui::pump_until([&] { return differing_pixels(owned) == 0; }));
    DestroyWindow(main);
}

}  // namespace
