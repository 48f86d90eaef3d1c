// The X11 backend under a virtual X server, without a window manager (/0) and under openbox (/1), driven by
// real X input (xdotool), by what a manager or a pager sends, and by another clipboard client (xclip). Without
// an X display the tests skip. Also: an open message box costs no processor time (on the headless screen, in a
// process of its own).
#include "dialog.h"
#include "display/x11_backend.h"
#include "rc/resource_tables.h"
#include "testing/headless_display.h"
#include "window_manager.h"

#include <windows.h>

#include <gtest/gtest.h>

// After gtest, whose names Xlib's macros (None, Bool) would otherwise replace.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

namespace {

namespace ui = platform::testing::ui;
constexpr COLORREF grey = 0xC0C0C0;

std::vector<MSG> received;  // WM_SIZE, WM_CHAR, WM_CLOSE and a dialog's WM_COMMAND, as (hwnd, message, w, l)
bool was_received(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return std::any_of(received.begin(), received.end(), [&](const MSG &m) {
        return m.hwnd == hwnd && m.message == message && m.wParam == wparam && m.lParam == lparam;
    });
}

LRESULT CALLBACK painted_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_SIZE || message == WM_CHAR || message == WM_CLOSE)
        received.push_back({hwnd, message, wparam, message == WM_CLOSE ? 0 : lparam, 0, {}});
    if (message != WM_PAINT)
        return DefWindowProcA(hwnd, message, wparam, lparam);
    PAINTSTRUCT ps;
    FillRect(BeginPaint(hwnd, &ps), &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    DrawTextA(ps.hdc, "  Frames sent          1234", -1, &ps.rcPaint, DT_WORDBREAK);
    EndPaint(hwnd, &ps);
    return 0;
}

// A dialog box ends on IDCANCEL only when it has a Cancel button (an About box has just OK).
INT_PTR CALLBACK dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_COMMAND)
        received.push_back({dialog, message, LOWORD(wparam), 0, 0, {}});
    if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL && GetDlgItem(dialog, IDCANCEL))
        EndDialog(dialog, IDCANCEL);
    return message == WM_INITDIALOG || message == WM_COMMAND;
}

// The pixels where the X window and the window's surface (inside user32's frame) differ; -1 when unreadable.
int differing_pixels(HWND hwnd) {
    auto window = platform::user::find_window_quiet(hwnd);
    cairo_surface_t *shown = platform::display::x11_window_contents(platform::display::backend(), window->surface_id);
    if (!shown)
        return -1;
    auto frame = platform::user::frame_of(*window);
    cairo_surface_t *drawn = window->surface->image();
    cairo_surface_flush(drawn);
    auto pixel = [](cairo_surface_t *s, int x, int y) {
        return reinterpret_cast<const std::uint32_t *>(cairo_image_surface_get_data(s) +
                                                       y * cairo_image_surface_get_stride(s))[x] &
               0xFFFFFF;
    };
    int width = cairo_image_surface_get_width(shown), height = cairo_image_surface_get_height(shown);
    // A window larger than its surface shows what user32 never drew.
    int differing = width != window->surface->width() - 2 * frame.border ||
                    height != window->surface->height() - 2 * frame.border - frame.caption;
    for (int y = 0; !differing && y < height; ++y)
        for (int x = 0; x < width; ++x)
            differing += pixel(shown, x, y) != pixel(drawn, x + frame.border, y + frame.border + frame.caption);
    cairo_surface_destroy(shown);
    return differing;
}

Window x_window_of(HWND hwnd) {
    auto window = platform::user::find_window_quiet(hwnd);
    return window ? platform::display::x11_window_of(platform::display::backend(), window->surface_id) : 0;
}

bool xdotool(const std::string &arguments) {
    return std::system(("xdotool " + arguments + " >/dev/null").c_str()) == 0;
}

// Each case runs without a manager and under openbox, which here focuses windows as the mouse enters them.
class X11Desktop : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        setenv("PLATFORM_DISPLAY_BACKEND", "x11", 1);
        if (platform::display::backend().name() != "x11")
            GTEST_SKIP() << "no X display (the test runs under xvfb-run when it is installed)";
        if (std::system("for tool in xdotool openbox xclip; do command -v $tool >/dev/null || exit 1; done"))
            GTEST_SKIP() << "xdotool, openbox or xclip is not installed (scripts/install-deps installs them)";
        other_ = XOpenDisplay(nullptr);
        WNDCLASSA wc{0, painted_proc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "X11Painted"};
        RegisterClassA(&wc);
        received.clear();
        if (!GetParam())
            return;
        std::ofstream(config_) << "<openbox_config xmlns=\"http://openbox.org/3.4/rc\"><focus><followMouse>yes"
                                  "</followMouse><focusDelay>0</focusDelay></focus><keyboard><keybind key=\"W-Up\">"
                                  "<action name=\"Maximize\"/></keybind></keyboard></openbox_config>\n";
        const char *argv[] = {"openbox", "--sm-disable", "--config-file", config_.c_str(), nullptr};
        ASSERT_EQ(posix_spawnp(&manager_, "openbox", nullptr, nullptr, const_cast<char **>(argv), environ), 0);
        ASSERT_TRUE(manager_frames_a_probe());
    }
    void TearDown() override {
        for (HWND hwnd : windows_)
            DestroyWindow(hwnd);
        ui::pump_pending();
        if (manager_ > 0 && kill(manager_, SIGTERM) == 0)
            waitpid(manager_, nullptr, 0);
        std::filesystem::remove(config_);
        if (other_)
            XCloseDisplay(other_);
    }
    // The manager manages new windows once it frames (reparents) a probe window. A map made while it was still
    // starting may go unnoticed, so the probe is mapped again after each second without an answer.
    bool manager_frames_a_probe() {
        Window root = DefaultRootWindow(other_), probe = XCreateSimpleWindow(other_, root, 0, 0, 9, 9, 0, 0, 0);
        XSelectInput(other_, probe, StructureNotifyMask);
        bool framed = false;
        for (int attempt = 0; attempt < 20 && !framed; ++attempt) {
            pollfd fd{ConnectionNumber(other_), POLLIN, 0};
            XUnmapWindow(other_, probe), XMapWindow(other_, probe), XFlush(other_);
            for (XEvent event; !framed && (XPending(other_) || poll(&fd, 1, 1000) > 0);)
                framed = (XNextEvent(other_, &event), event.type == ReparentNotify && event.xreparent.parent != root);
        }
        XDestroyWindow(other_, probe);
        return framed;
    }
    // What a manager sends for its close button.
    void send_delete(Window window) {
        XEvent event{};
        event.xclient = {ClientMessage, 0, False, other_, window, XInternAtom(other_, "WM_PROTOCOLS", False), 32, {}};
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(other_, "WM_DELETE_WINDOW", False));
        XSendEvent(other_, window, False, NoEventMask, &event);
        XFlush(other_);
    }
    // The window's place in the stacking order of the root's children (its manager's frame, or itself).
    int stacking_index(Window window) {
        Window root, parent = 0, *children = nullptr;
        unsigned count = 0;
        for (; XQueryTree(other_, window, &root, &parent, &children, &count) && parent != root; window = parent)
            XFree(children);
        XQueryTree(other_, root, &root, &parent, &children, &count);
        int index = static_cast<int>(std::find(children, children + count, window) - children);
        XFree(children);
        return index;
    }
    HWND make(const char *title, DWORD style, RECT area, HWND owner = nullptr) {
        windows_.push_back(CreateWindowExA(0, "X11Painted", title, style | WS_VISIBLE, area.left, area.top,
                                           area.right - area.left, area.bottom - area.top, owner, nullptr, nullptr,
                                           nullptr));
        EXPECT_TRUE(shows_its_surface(windows_.back())) << title;
        return windows_.back();
    }
    // Read while nothing covers it: an X window's obscured parts read back as what covers them.
    static bool shows_its_surface(HWND hwnd) {
        return ui::pump_until([&] { return differing_pixels(hwnd) == 0; });
    }

    Display *other_ = nullptr;  // the manager's or a pager's connection
    pid_t manager_ = 0;
    std::filesystem::path config_ = std::filesystem::temp_directory_path() / ("openbox." + std::to_string(getpid()));
    std::vector<HWND> windows_;
};

INSTANTIATE_TEST_SUITE_P(ManagerOrNot, X11Desktop, ::testing::Values(false, true));

// A new size from outside (a user's tool, the manager's maximise key) reaches the program as WM_SIZE with the
// new client size and show state, and the newly uncovered area is painted by the program and shown.
TEST_P(X11Desktop, NewSizesFromOutsideAreToldAndPainted) {
    HWND main = make("Sized", WS_OVERLAPPEDWINDOW, {10, 10, 310, 210});
    const std::tuple<bool, int, int, WPARAM> changes[] = {
        {false, 420, 300, SIZE_RESTORED}, {false, 360, 330, SIZE_RESTORED}, {true, 0, 0, SIZE_MAXIMIZED}};
    for (auto [maximise, width, height, kind] : changes) {
        if (maximise && !GetParam())
            continue;  // nobody maximises without a manager
        received.clear();
        ASSERT_TRUE(xdotool(maximise ? "key super+Up"
                                     : "windowsize --sync " + std::to_string(x_window_of(main)) + " " +
                                           std::to_string(width) + " " + std::to_string(height)));
        RECT client{};
        EXPECT_TRUE(ui::pump_until([&] {
            GetClientRect(main, &client);
            return (width ? client.right == width && client.bottom == height : client.right > 700) &&
                   was_received(main, WM_SIZE, kind, MAKELPARAM(client.right, client.bottom));
        })) << width
            << ": the client area is " << client.right << " by " << client.bottom;
        EXPECT_EQ(IsZoomed(main), kind == SIZE_MAXIMIZED);
        HDC dc = GetDC(main);  // the far corner, never drawn before, is painted and shown
        EXPECT_TRUE(ui::pump_until([&] { return GetPixel(dc, client.right - 2, client.bottom - 2) == grey; }));
        ReleaseDC(main, dc);
        EXPECT_TRUE(shows_its_surface(main)) << width;
    }
}

// Whoever activates a window (the manager as the mouse enters it, or a click without a manager), the active
// window and focus follow, keys reach the window that has the focus, and an owned window stays above its owner.
TEST_P(X11Desktop, ActivationFocusAndKeysFollowTheScreenAndOwnedWindowsStayAbove) {
    HWND main = make("Typed", WS_OVERLAPPEDWINDOW, {10, 10, 410, 310});
    HWND owned = make("Report", WS_POPUP | WS_CAPTION | WS_VSCROLL, {250, 100, 500, 260}, main);
    Window focused = 0;  // the new window has the focus first (a manager gives it one too, in its own time)
    int revert = 0;
    ASSERT_TRUE(
        ui::pump_until([&] { return XGetInputFocus(other_, &focused, &revert), focused == x_window_of(owned); }));
    for (HWND target : {main, owned, main}) {
        // The pointer leaves first: it may be over the target already, and only entering it moves the focus.
        ASSERT_TRUE(xdotool("mousemove --sync 1010 760 mousemove --sync --window " +
                            std::to_string(x_window_of(target)) + (GetParam() ? " 30 60" : " 30 60 click 1")));
        EXPECT_TRUE(ui::pump_until([&] { return GetActiveWindow() == target && GetFocus() == target; }));
        EXPECT_TRUE(
            ui::pump_until([&] { return stacking_index(x_window_of(owned)) > stacking_index(x_window_of(main)); }));
        received.clear();
        ASSERT_TRUE(xdotool("key --clearmodifiers q"));
        EXPECT_TRUE(ui::pump_until([&] { return was_received(target, WM_CHAR, 'q', 1); }));
    }
}

// The manager's close button is WM_SYSCOMMAND SC_CLOSE: a plain window closes, a dialog is told IDCANCEL and
// its procedure decides. Only a window with a system menu offers the close function (_MOTIF_WM_HINTS).
TEST_P(X11Desktop, TheCloseButtonDoesWhatTheProceduresSay) {
    HWND main = make("Closing", WS_OVERLAPPEDWINDOW, {10, 10, 410, 310});
    const std::tuple<const char *, DWORD, bool> cases[] = {
        {nullptr, WS_OVERLAPPEDWINDOW, true}, {"Cancel", WS_SYSMENU, true}, {"OK", 0, false}};
    for (auto [button, style, closes] : cases) {
        platform::resources::DialogControl item{
            "BUTTON", button ? button : "", button && *button == 'C' ? 2 : 1, WS_CHILD | WS_VISIBLE, 0, 10, 10, 40, 14};
        platform::resources::Dialog tmpl{};
        tmpl.style = static_cast<std::uint32_t>(WS_POPUP | WS_CAPTION | WS_VISIBLE | style);
        tmpl.cx = 90, tmpl.cy = 40, tmpl.caption = "Box", tmpl.controls = {&item, 1};
        HWND hwnd = button ? platform::user::create_dialog(nullptr, tmpl, main, dialog_proc, 0, false)
                           : make("Plain", style, {500, 10, 700, 200}, main);
        ASSERT_TRUE(shows_its_surface(hwnd));
        Atom type;
        int format;
        unsigned long count, left;
        unsigned char *motif = nullptr;
        XGetWindowProperty(other_, x_window_of(hwnd), XInternAtom(other_, "_MOTIF_WM_HINTS", False), 0, 5, False,
                           AnyPropertyType, &type, &format, &count, &left, &motif);
        EXPECT_EQ(motif && count == 5 && (reinterpret_cast<long *>(motif)[1] & 32), (style & WS_SYSMENU) != 0);
        XFree(motif);
        XSizeHints size{};  // without a sizing frame the manager is given one size to keep
        long supplied = 0;
        XGetWMNormalHints(other_, x_window_of(hwnd), &size, &supplied);
        EXPECT_EQ((size.flags & PMaxSize) && size.max_width == size.min_width, !(style & WS_THICKFRAME));
        received.clear();
        send_delete(x_window_of(hwnd));
        EXPECT_TRUE(ui::pump_until([&] {
            return was_received(hwnd, button ? WM_COMMAND : WM_CLOSE, button ? IDCANCEL : 0, 0);
        })) << (button ? button : "plain");
        EXPECT_EQ(!IsWindow(hwnd) || !IsWindowVisible(hwnd), closes) << (button ? button : "plain");
        DestroyWindow(hwnd);
    }
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

// An edit control pastes another client's clipboard and primary selection and copies to them, with keys and
// the middle button pressed as a user does: keys reach the focused edit, the middle button pastes under it.
// The selections are the X server's, not the manager's: this case runs without one.
class X11Clipboard : public X11Desktop {};
INSTANTIATE_TEST_SUITE_P(ManagerOrNot, X11Clipboard, ::testing::Values(false));
TEST_P(X11Clipboard, EditsCopyAndPasteWithOtherClientsThroughClipboardAndPrimary) {
    HWND main = make("Clipboard", WS_OVERLAPPEDWINDOW, {20, 20, 320, 140});
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 10, 10, 260, 24, main, nullptr,
                                nullptr, nullptr);
    ASSERT_TRUE(edit);
    SetFocus(edit);  // keys go to the window under the pointer, and the middle button pastes where it is
    ASSERT_TRUE(xdotool("mousemove --sync --window " + std::to_string(x_window_of(main)) + " 140 22"));

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
        ASSERT_TRUE(xdotool(p.action));
        EXPECT_TRUE(ui::pump_until([&] { return text_of(edit) == p.pasted; })) << p.action << ": " << text_of(edit);
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
        ASSERT_TRUE(xdotool(c.action));
        // Once the key has been taken, xclip reads what it selected.
        EXPECT_TRUE(ui::pump_until([&] { return xclip_out(c.selection, "UTF8_STRING") == utf8; })) << c.action;
        EXPECT_EQ(xclip_out(c.selection, "STRING"), latin1) << c.action;
        EXPECT_EQ(xclip_out(c.selection, "TARGETS"), "TARGETS\nTIMESTAMP\nUTF8_STRING\nSTRING\n") << c.action;
        EXPECT_EQ(xclip_out(c.selection, "image/png"), "(refused)") << c.action;
    }
}

HANDLE box_up = nullptr;
LRESULT CALLBACK box_owner_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_ENABLE && !wparam)
        SetEvent(box_up);
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

// A hidden window with a visible child (as a dialog is while its WM_INITDIALOG runs) owns a message box on a
// thread of its own; the box's owner is disabled once the box is up. The box stays open for five seconds of
// wall time, while this thread sleeps: what counts is the processor time the process takes meanwhile.
TEST(ModalLoops, AnOpenMessageBoxCostsNoProcessorTime) {
    if (auto *current = platform::display::existing_backend(); current && current->name() != "headless")
        GTEST_SKIP() << "the process draws on X already (ctest runs this test in a process of its own)";
    ui::headless();
    box_up = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    int answer = 0;
    std::thread box([&answer] {
        WNDCLASSA wc{0, box_owner_proc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "BoxOwner"};
        RegisterClassA(&wc);
        HWND owner = CreateWindowExA(0, "BoxOwner", "Owner", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr, nullptr,
                                     nullptr, nullptr);
        CreateWindowExA(0, "STATIC", "Number", WS_CHILD | WS_VISIBLE, 2, 6, 51, 8, owner, nullptr, nullptr, nullptr);
        answer = MessageBoxA(owner, "Nothing is available", "Box", MB_OK);
    });
    WaitForSingleObject(box_up, INFINITE);
    timespec before{}, after{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
    EXPECT_TRUE(ui::request_close(ui::find_window_titled("Box")));
    box.join();
    EXPECT_EQ(answer, IDOK) << "the box did not close as told";
    EXPECT_LT((after.tv_sec - before.tv_sec) * 1000 + (after.tv_nsec - before.tv_nsec) / 1000000, 50)
        << "milliseconds of processor time while the box was open";
}

}  // namespace
