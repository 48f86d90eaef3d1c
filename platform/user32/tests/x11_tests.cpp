// The X11 backend under a virtual X server: each top-level window is an X window showing what the
// headless screen would show of it (the part inside user32's frame and caption).
#include "display/x11_backend.h"
#include "rc/resource_tables.h"
#include "window_manager.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace {

namespace res = platform::resources;

LRESULT CALLBACK grey_main_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        HBRUSH grey = CreateSolidBrush(0xC0C0C0);
        FillRect(ps.hdc, &ps.rcPaint, grey);
        DeleteObject(grey);
        EndPaint(hwnd, &ps);
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

INT_PTR CALLBACK report_proc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message != WM_PAINT)
        return FALSE;
    PAINTSTRUCT ps;
    BeginPaint(dialog, &ps);
    FillRect(ps.hdc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EndPaint(dialog, &ps);
    HDC dc = GetDC(dialog);
    RECT client;
    GetClientRect(dialog, &client);
    HFONT font = CreateFontA(10, 8, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS,
                             DEFAULT_QUALITY, FIXED_PITCH, "Courier");
    SelectObject(dc, font);
    DrawTextA(dc, "  Adapter status\r\n  Frames sent          1234\r\n", -1, &client, DT_WORDBREAK);
    DeleteObject(font);
    ReleaseDC(dialog, dc);
    return TRUE;
}

const res::MenuItem items[] = {{"E&xit", 150, 0, {}}};
const res::MenuItem bar[] = {{"&Options", 0, MF_POPUP, items}};
const res::Menu menu{bar};
const res::Dialog display_template{0x80E30000, 0, 70, 26, 193, 107, "", "", 0, "", "", {}};

// Counts the pixels where the X window and the surface (inside its frame) differ.
int differing_pixels(HWND hwnd) {
    auto window = platform::user::find_window_quiet(hwnd);
    cairo_surface_t *shown = platform::display::x11_window_contents(platform::display::backend(), window->surface_id);
    if (!shown)
        return -1;
    auto frame = platform::user::frame_of(*window);
    cairo_surface_t *drawn = window->surface->image();
    cairo_surface_flush(drawn);
    int width = cairo_image_surface_get_width(shown), height = cairo_image_surface_get_height(shown);
    int differing = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            auto pixel = [](cairo_surface_t *s, int px, int py) {
                auto *row = cairo_image_surface_get_data(s) + py * cairo_image_surface_get_stride(s);
                return reinterpret_cast<const std::uint32_t *>(row)[px] & 0xFFFFFF;
            };
            if (pixel(shown, x, y) != pixel(drawn, x + frame.border, y + frame.border + frame.caption))
                ++differing;
        }
    cairo_surface_destroy(shown);
    return differing;
}

void pump_for(int milliseconds) {
    DWORD end = GetTickCount() + milliseconds;
    while (GetTickCount() < end) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

TEST(X11Backend, WindowsShowWhatTheHeadlessScreenWouldShow) {
    setenv("PLATFORM_DISPLAY_BACKEND", "x11", 1);
    ASSERT_EQ(platform::display::backend().name(), "x11") << "needs an X display (run under xvfb-run)";
    res::register_menu(std::string_view("X11MENU"), &menu);
    res::register_dialog(std::string_view("X11DISPLAY"), &display_template);
    WNDCLASSA wc{};
    wc.lpfnWndProc = grey_main_proc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = "X11MENU";
    wc.lpszClassName = "X11Main";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND main = CreateWindowExA(0, "X11Main", "TarVoke - NetBios Statistics", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(main, SW_SHOWNORMAL);
    UpdateWindow(main);
    pump_for(300);
    // Read while nothing covers it: an X window's obscured parts read back as what covers them.
    EXPECT_EQ(differing_pixels(main), 0);
    HWND report = CreateDialogParamA(nullptr, "X11DISPLAY", main, report_proc, 0);
    ASSERT_NE(report, nullptr);
    SetWindowTextA(report, "LANA 00");
    ShowWindow(report, SW_SHOWNORMAL);
    pump_for(300);
    EXPECT_EQ(differing_pixels(report), 0);
    DestroyWindow(main);
}

}  // namespace
