// The viewer's main window and a report display window on an X server show what the headless screen shows
// of the same state. The headless side comes from a separate run (tarvoke_headless_windows), since a
// process has one display backend; this process is the X11 one and reads its windows back from the server.
#include <gtest/gtest.h>

#include <windows.h>

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "testing/window_inspection.h"
#include "viewer_harness.h"
#include "window_states.h"

using namespace tarvoke::testing;
namespace fs = std::filesystem;

namespace {

// Both backends show the very surface that user32 and gdi32 draw into with cairo; the X backend copies it
// into a 24-bit TrueColor window unchanged (cairo's SOURCE operator, no scaling, no blending). So every
// pixel must arrive exactly: no tolerance, since a missing menu title or report line is only a few hundred
// pixels of a window of a quarter million, and any allowance would hide it.
constexpr int kChannelTolerance = 0;

struct Comparison {
    bool same_size = false;
    long differing = 0;  // pixels with a channel beyond the tolerance
    int worst = 0;       // the largest channel difference seen
    std::string describe() const {
        std::ostringstream out;
        if (!same_size)
            out << "sizes differ";
        else
            out << differing << " pixels differ, by up to " << worst << " levels";
        return out.str();
    }
    bool matches() const { return same_size && differing == 0; }
};

std::uint32_t PixelAt(cairo_surface_t *surface, int x, int y) {
    const unsigned char *row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    return reinterpret_cast<const std::uint32_t *>(row)[x] & 0xFFFFFF;
}

int LargestChannelDifference(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift : {0, 8, 16})
        worst =
            std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return worst;
}

// The X window shows the window's surface less the frame and caption user32 draws (the X server or its
// window manager draws its own); the headless screenshot is the whole surface.
Comparison Compare(cairo_surface_t *shown, cairo_surface_t *headless, const RECT &insets) {
    Comparison result;
    int width = cairo_image_surface_get_width(shown), height = cairo_image_surface_get_height(shown);
    result.same_size = width + insets.left + insets.right == cairo_image_surface_get_width(headless) &&
                       height + insets.top + insets.bottom == cairo_image_surface_get_height(headless);
    if (!result.same_size)
        return result;
    cairo_surface_flush(headless);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t a = PixelAt(shown, x, y), b = PixelAt(headless, x + insets.left, y + insets.top);
            int worst = LargestChannelDifference(a, b);
            result.worst = std::max(result.worst, worst);
            result.differing += worst > kChannelTolerance;
        }
    }
    return result;
}

RECT FrameInsets(HWND hwnd) {
    return platform::testing::frame_insets(hwnd);
}

// A point of the client area in the headless screenshot of the whole window.
POINT InScreenshot(HWND hwnd, POINT client) {
    RECT window;
    GetWindowRect(hwnd, &window);
    ClientToScreen(hwnd, &client);
    return {client.x - window.left, client.y - window.top};
}

// Ink, the dark pixels of text, in a window's client area on the headless screenshot.
int DarkPixelsInClient(HWND hwnd, cairo_surface_t *headless) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    int count = 0;
    for (int y = 0; y < rc.bottom; ++y) {
        for (int x = 0; x < rc.right; ++x) {
            POINT at = InScreenshot(hwnd, {x, y});
            count += (PixelAt(headless, at.x, at.y) & 0x808080) == 0;
        }
    }
    return count;
}

class X11Rendering : public ::testing::Test {
protected:
    void SetUp() override {
        const char *display = std::getenv("DISPLAY");
        if (!display || !*display)
            GTEST_SKIP() << "no X display; this test runs under xvfb-run (Debian package xvfb)";
        char pattern[] = "/tmp/tarvoke-x11-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        // A fresh prefix, so that no configured UI script or backend of the user's own gets in the way.
        fs::create_directories(dir_ / "prefix");
        setenv("PLATFORM_PREFIX", (dir_ / "prefix").c_str(), 1);
        std::string command = std::string("'") + HEADLESS_WINDOWS_TOOL + "' '" + dir_.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << "the headless run failed";
        setenv("PLATFORM_DISPLAY_BACKEND", "x11", 1);
        if (platform::testing::display_backend_name() != "x11")
            GTEST_SKIP() << "cannot open the X display " << display;
    }
    void TearDown() override {
        if (!dir_.empty() && !HasFailure())
            fs::remove_all(dir_);
        else if (!dir_.empty())
            std::fprintf(stderr, "screenshots kept in %s\n", dir_.c_str());
    }

    cairo_surface_t *LoadHeadless(const char *name) {
        cairo_surface_t *image = cairo_image_surface_create_from_png((dir_ / name).c_str());
        EXPECT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS) << name;
        return image;
    }

    // What the X server shows in hwnd, read back until it matches `headless` or the time limit passes;
    // a window owned by this thread is pumped meanwhile. The last reading is kept as NAME-x11.png.
    Comparison WaitForMatch(HWND hwnd, cairo_surface_t *headless, const std::string &name) {
        RECT insets = FrameInsets(hwnd);
        Comparison last;
        cairo_surface_t *shown = nullptr;
        wait_for([&] {
            PumpPendingMessages();
            if (shown)
                cairo_surface_destroy(shown);
            shown = platform::testing::x11_window_contents(hwnd);
            if (!shown)
                return false;
            last = Compare(shown, headless, insets);
            return last.matches();
        });
        if (shown) {
            cairo_surface_write_to_png(shown, (dir_ / (name + "-x11.png")).c_str());
            cairo_surface_destroy(shown);
        }
        return last;
    }

    fs::path dir_;
};

TEST_F(X11Rendering, MainAndDisplayWindowsShowWhatTheHeadlessScreenShows) {
    cairo_surface_t *main_png = LoadHeadless("main.png");
    cairo_surface_t *display_png = LoadHeadless("display.png");
    ShownWindows windows;

    HWND hwndMain = windows.main_window();
    ASSERT_NE(hwndMain, nullptr);
    RECT rc;
    GetClientRect(hwndMain, &rc);
    // The comparison means something only if the headless run drew the window: grey in the middle.
    POINT middle = InScreenshot(hwndMain, {rc.right / 2, rc.bottom / 2});
    EXPECT_EQ(PixelAt(main_png, middle.x, middle.y), 0xC0C0C0u);
    // Read while nothing covers it: an X window's covered parts read back as what covers them.
    Comparison main_window = WaitForMatch(hwndMain, main_png, "main");
    EXPECT_TRUE(main_window.matches()) << "main window: " << main_window.describe();

    HWND hwndDisplay = windows.open_display_window();
    ASSERT_NE(hwndDisplay, nullptr);
    EXPECT_GT(DarkPixelsInClient(hwndDisplay, display_png), 500) << "the headless run drew no report";
    Comparison display_window = WaitForMatch(hwndDisplay, display_png, "display");
    EXPECT_TRUE(display_window.matches()) << "display window: " << display_window.describe();

    cairo_surface_destroy(main_png);
    cairo_surface_destroy(display_png);
}

}  // namespace
