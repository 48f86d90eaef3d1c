// The clipboard and the primary selection against other X clients under a virtual X server: xclip copies and
// pastes, xdotool types and clicks as a user would. Without a display, xclip or xdotool the test skips.
#include "display/x11_backend.h"
#include "window_manager.h"
#include "testing/headless_display.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using platform::testing::ui::pump_until;

bool have(const char *tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) == 0;
}

// What `xclip -o` prints for a selection and target, or "(refused)" when it fails.
std::string xclip_out(const std::string &selection, const std::string &target) {
    std::string out;
    FILE *pipe = popen(("xclip -o -selection " + selection + " -t " + target + " 2>/dev/null").c_str(), "r");
    char buffer[256];
    for (std::size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    return pipe && pclose(pipe) == 0 ? out : "(refused)";
}

// Another client takes the selection with `text` (xclip stays behind to serve it until it loses it).
void xclip_in(const std::string &selection, const std::string &text) {
    FILE *pipe = popen(("xclip -i -selection " + selection + " >/dev/null 2>&1").c_str(), "w");
    fwrite(text.data(), 1, text.size(), pipe);
    pclose(pipe);
}

std::string text_of(HWND edit) {
    char text[64] = "";
    GetWindowTextA(edit, text, sizeof text);
    return text;
}

TEST(X11Clipboard, CopiesAndPastesWithOtherClientsThroughClipboardAndPrimary) {
    setenv("PLATFORM_DISPLAY_BACKEND", "x11", 1);
    if (platform::display::backend().name() != "x11" || !have("xclip") || !have("xdotool"))
        GTEST_SKIP() << "needs an X display, xclip and xdotool (the test runs under xvfb-run when it is installed)";
    HWND main = CreateWindowExA(0, "STATIC", "Clipboard", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 300, 120, nullptr,
                                nullptr, nullptr, nullptr);
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 10, 10, 260, 24, main, nullptr,
                                nullptr, nullptr);
    ASSERT_TRUE(edit);
    SetFocus(edit);
    auto *window = platform::user::find_window_quiet(main).get();
    ASSERT_TRUE(pump_until([&] {  // the X server shows the window some time after it is mapped
        cairo_surface_t *shown =
            platform::display::x11_window_contents(platform::display::backend(), window->surface_id);
        return shown && (cairo_surface_destroy(shown), true);
    }));
    POINT at{130, 12};
    ClientToScreen(edit, &at);
    // Keys go to the window under the pointer (there is no window manager to give the focus), and the middle
    // button pastes where the pointer is.
    ASSERT_EQ(std::system(("xdotool mousemove --sync " + std::to_string(at.x) + " " + std::to_string(at.y)).c_str()),
              0);
    std::string xdotool = "xdotool ";

    // Pastes: another client's text, in UTF-8, arrives as Latin-1 on one line.
    const struct {
        const char *selection, *put, *action, *pasted;
    } pastes[] = {
        {"clipboard", "10.0.0.9", "key ctrl+v", "10.0.0.9"},
        {"clipboard", "NODE\xc3\xa9-7\nsecond line", "key shift+Insert", "NODE\xe9-7"},
        {"primary", "middle", "click 2", "middle"},
    };
    for (const auto &p : pastes) {
        SetWindowTextA(edit, "");
        xclip_in(p.selection, p.put);
        ASSERT_EQ(std::system((xdotool + p.action).c_str()), 0);
        EXPECT_TRUE(pump_until([&] { return text_of(edit) == p.pasted; })) << p.action << ": " << text_of(edit);
    }
    OpenClipboard(nullptr);  // the whole of another client's text, its lines ending in CR LF
    HANDLE data = GetClipboardData(CF_TEXT);
    EXPECT_STREQ(data ? static_cast<const char *>(GlobalLock(data)) : "", "NODE\xe9-7\r\nsecond line");
    CloseClipboard();

    // Copies: the selected text (all, or Shift+End from the start) for other clients in each target offered.
    const struct {
        const char *selection, *action;
    } copies[] = {{"clipboard", "key ctrl+c"}, {"clipboard", "key ctrl+Insert"}, {"primary", "key shift+End"}};
    for (const auto &c : copies) {
        std::string latin1 = std::string("Kn\xfc") + c.action, utf8 = std::string("Kn\xc3\xbc") + c.action;
        SetWindowTextA(edit, latin1.c_str());
        SendMessageA(edit, EM_SETSEL, 0, std::string(c.selection) == "primary" ? 0 : -1);
        ASSERT_EQ(std::system((xdotool + c.action).c_str()), 0);
        // Once the key has been taken, xclip reads what it selected.
        EXPECT_TRUE(pump_until([&] { return xclip_out(c.selection, "UTF8_STRING") == utf8; })) << c.action;
        EXPECT_EQ(xclip_out(c.selection, "STRING"), latin1) << c.action;
        EXPECT_EQ(xclip_out(c.selection, "TARGETS"), "TARGETS\nTIMESTAMP\nUTF8_STRING\nSTRING\n") << c.action;
        EXPECT_EQ(xclip_out(c.selection, "image/png"), "(refused)") << c.action;
    }
    DestroyWindow(main);
}

}  // namespace
