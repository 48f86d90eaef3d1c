// Writes what the headless screen shows of the viewer's main window and of a report display window, each
// a PNG of the whole window (frame and caption included), for the X11 test to compare with:
//   tarvoke_headless_windows DIR     writes DIR/main.png and DIR/display.png
// A process of its own, because a process has one display backend and the test's is X11.
#include <windows.h>

#include <cstdio>
#include <filesystem>

#include "testing/headless_display.h"
#include "viewer_harness.h"
#include "window_states.h"

namespace ui = platform::testing::ui;
using namespace tarvoke::testing;

namespace {

int Fail(const char *message) {
    std::fprintf(stderr, "tarvoke_headless_windows: %s\n", message);
    return 1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2)
        return Fail("usage: tarvoke_headless_windows DIR");
    std::filesystem::path dir = argv[1];
    ui::headless();  // even where a display is set

    ShownWindows windows;
    HWND hwndMain = windows.main_window();
    if (!hwndMain)
        return Fail("the main window did not appear");
    // The viewer's thread shows its window when it next waits; grey in the middle means it has.
    RECT rc;
    GetClientRect(hwndMain, &rc);
    if (!wait_for([&] { return ui::client_pixel(hwndMain, {rc.right / 2, rc.bottom / 2}) == 0xC0C0C0; }))
        return Fail("the main window's client area never showed grey");
    if (!ui::write_window_png(hwndMain, dir / "main.png"))
        return Fail("cannot write main.png");

    HWND hwndDisplay = windows.open_display_window();
    if (!hwndDisplay)
        return Fail("the display window did not show its report");
    if (!ui::write_window_png(hwndDisplay, dir / "display.png"))
        return Fail("cannot write display.png");
    return 0;
}
