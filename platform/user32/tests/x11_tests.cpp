// The X11 backend under a virtual X server, with a real window manager (openbox) and without one, driven by
// real X input (xdotool) and by what a manager sends: each top-level window is an X window showing what its
// surface holds inside user32's frame and caption; the manager's sizes, show states, focus and close button
// reach the program as Windows tells them; owned windows stay above their owner. Without an X display the
// tests skip. Also: an open message box costs no processor time (on the headless screen, in a child).
#include "display/x11_backend.h"
#include "rc/resource_tables.h"
#include "testing/headless_display.h"
#include "window_manager.h"

#include <windows.h>

#include <gtest/gtest.h>

// After gtest, whose names Xlib's macros (None, Bool) would otherwise replace.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace ui = platform::testing::ui;
namespace res = platform::resources;

constexpr std::uint32_t grey = 0xC0C0C0;

struct Received {
    HWND hwnd;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};
std::vector<Received> received;

bool was_received(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    for (auto &r : received)
        if (r.hwnd == hwnd && r.message == message && r.wparam == wparam && r.lparam == lparam)
            return true;
    return false;
}

LRESULT CALLBACK painted_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_SIZE || message == WM_CHAR || message == WM_SETFOCUS || message == WM_CLOSE)
        received.push_back({hwnd, message, wparam, message == WM_SIZE || message == WM_CHAR ? lparam : 0});
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        HBRUSH brush = CreateSolidBrush(grey);
        FillRect(ps.hdc, &ps.rcPaint, brush);
        DeleteObject(brush);
        RECT client;
        GetClientRect(hwnd, &client);
        DrawTextA(ps.hdc, "  Frames sent          1234", -1, &client, DT_WORDBREAK);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

// A dialog that ends on Cancel, and one that, like an About box, ends only on its OK button.
INT_PTR CALLBACK dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_COMMAND) {
        received.push_back({dialog, message, LOWORD(wparam), 0});
        if (LOWORD(wparam) == IDCANCEL && GetDlgItem(dialog, IDCANCEL))
            EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

constexpr DWORD child = WS_CHILD | WS_VISIBLE;
const res::DialogControl cancel_controls[] = {{"BUTTON", "Cancel", IDCANCEL, child | BS_PUSHBUTTON, 0, 10, 10, 40, 14}};
const res::DialogControl ok_controls[] = {{"BUTTON", "OK", 141, child | BS_DEFPUSHBUTTON, 0, 10, 10, 40, 14}};
const res::Dialog cancellable{
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 0, 40, 40, 90, 40, "Cancellable", "", 0, "", "", cancel_controls};
const res::Dialog about_like{
    WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 60, 60, 90, 40, "AboutLike", "", 0, "", "", ok_controls};

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
    int width = std::min(cairo_image_surface_get_width(shown), window->surface->width() - 2 * frame.border);
    int height =
        std::min(cairo_image_surface_get_height(shown), window->surface->height() - 2 * frame.border - frame.caption);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            differing += pixel(shown, x, y) != pixel(drawn, x + frame.border, y + frame.border + frame.caption);
    // A window larger than its surface shows what user32 never drew.
    differing += cairo_image_surface_get_width(shown) != width || cairo_image_surface_get_height(shown) != height;
    cairo_surface_destroy(shown);
    return differing;
}

// The X server's pixel at a point of the window's client area; 0xFF000000 when unreadable.
std::uint32_t shown_pixel(HWND hwnd, POINT client) {
    auto window = platform::user::find_window_quiet(hwnd);
    cairo_surface_t *shown = platform::display::x11_window_contents(platform::display::backend(), window->surface_id);
    if (!shown)
        return 0xFF000000;
    std::uint32_t value = 0xFF000000;
    if (client.x < cairo_image_surface_get_width(shown) && client.y < cairo_image_surface_get_height(shown))
        value = reinterpret_cast<const std::uint32_t *>(cairo_image_surface_get_data(shown) +
                                                        client.y * cairo_image_surface_get_stride(shown))[client.x] &
                0xFFFFFF;
    cairo_surface_destroy(shown);
    return value;
}

Window x_window_of(HWND hwnd) {
    auto window = platform::user::find_window_quiet(hwnd);
    return window ? platform::display::x11_window_of(platform::display::backend(), window->surface_id) : 0;
}

// Another X client: what a window manager or a pager sends to the program's windows, and what the server
// says of them.
class OtherClient {
public:
    OtherClient() : display_(XOpenDisplay(nullptr)) {}
    ~OtherClient() {
        if (display_)
            XCloseDisplay(display_);
    }
    Display *display() const { return display_; }
    Atom atom(const char *name) const { return XInternAtom(display_, name, False); }

    // The window's place in the stacking order of the root's children (its manager's frame, or itself).
    int stacking_index(Window window) const {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        for (;;) {
            if (!XQueryTree(display_, window, &root, &parent, &children, &count))
                return -1;
            if (children)
                XFree(children);
            if (parent == root)
                break;
            window = parent;
        }
        int index = -1;
        if (XQueryTree(display_, root, &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count; ++i)
                if (children[i] == window)
                    index = static_cast<int>(i);
            XFree(children);
        }
        return index;
    }

    // What a manager sends for its close button.
    void send_delete(Window window) const {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = atom("WM_PROTOCOLS");
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(atom("WM_DELETE_WINDOW"));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, window, False, NoEventMask, &event);
        XFlush(display_);
    }

    // What a pager asks of the manager to maximise a window.
    void ask_maximise(Window window) const {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = atom("_NET_WM_STATE");
        event.xclient.format = 32;
        event.xclient.data.l[0] = 1;  // add
        event.xclient.data.l[1] = static_cast<long>(atom("_NET_WM_STATE_MAXIMIZED_VERT"));
        event.xclient.data.l[2] = static_cast<long>(atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
        event.xclient.data.l[3] = 1;  // from an application
        XSendEvent(display_, DefaultRootWindow(display_), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
        XFlush(display_);
    }

    // The 32-bit items of a property of the window.
    std::vector<long> property(Window window, const char *name) const {
        Atom type;
        int format;
        unsigned long count, remaining;
        unsigned char *data = nullptr;
        std::vector<long> items;
        if (XGetWindowProperty(display_, window, atom(name), 0, 16, False, AnyPropertyType, &type, &format, &count,
                               &remaining, &data) == Success &&
            data && format == 32)
            items.assign(reinterpret_cast<long *>(data), reinterpret_cast<long *>(data) + count);
        if (data)
            XFree(data);
        return items;
    }

    // Waits until a window manager manages new windows: a probe window of this client is framed (reparented)
    // once mapped. A map made while the manager was still starting may go unnoticed, so the probe is mapped
    // again after each second without an answer, until `limit` passes.
    bool wait_for_manager(std::chrono::seconds limit) const {
        Window root = DefaultRootWindow(display_);
        Window probe = XCreateSimpleWindow(display_, root, 0, 0, 10, 10, 0, 0, 0);
        XSelectInput(display_, probe, StructureNotifyMask);
        auto deadline = std::chrono::steady_clock::now() + limit;
        bool framed = false;
        while (!framed && std::chrono::steady_clock::now() < deadline) {
            XUnmapWindow(display_, probe);
            XMapWindow(display_, probe);
            XFlush(display_);
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            while (!framed && (XPending(display_) || poll(&fd, 1, 1000) > 0)) {
                XEvent event;
                XNextEvent(display_, &event);
                framed = event.type == ReparentNotify && event.xreparent.parent != root;
            }
        }
        XDestroyWindow(display_, probe);
        XSync(display_, False);
        return framed;
    }

private:
    Display *display_;
};

bool xdotool(const std::string &arguments) {
    return std::system(("xdotool " + arguments + " >/dev/null").c_str()) == 0;
}

bool have_program(const char *name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Openbox with focus following the mouse, the policy under which keys must follow the manager's focus.
class Openbox {
public:
    explicit Openbox(const std::filesystem::path &folder) {
        std::filesystem::create_directories(folder);
        config_ = folder / "rc.xml";
        std::ofstream(config_) << "<?xml version=\"1.0\"?>\n<openbox_config xmlns=\"http://openbox.org/3.4/rc\">\n"
                                  "<focus><focusNew>yes</focusNew><followMouse>yes</followMouse>"
                                  "<focusDelay>0</focusDelay><raiseOnFocus>no</raiseOnFocus></focus>\n"
                                  "</openbox_config>\n";
        pid_ = fork();
        if (pid_ == 0) {
            execlp("openbox", "openbox", "--sm-disable", "--config-file", config_.c_str(), nullptr);
            _exit(127);
        }
    }
    ~Openbox() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        std::filesystem::remove_all(config_.parent_path());
    }

private:
    std::filesystem::path config_;
    pid_t pid_ = -1;
};

// Each test runs without a window manager (/0) and under openbox (/1).
class X11Desktop : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        setenv("PLATFORM_DISPLAY_BACKEND", "x11", 1);
        if (platform::display::backend().name() != "x11")
            GTEST_SKIP() << "no X display (the test runs under xvfb-run when it is installed)";
        if (!have_program("xdotool"))
            GTEST_SKIP() << "xdotool is not installed (scripts/install-deps installs it)";
        if (GetParam()) {
            if (!have_program("openbox"))
                GTEST_SKIP() << "openbox is not installed (scripts/install-deps installs it)";
            manager_ = std::make_unique<Openbox>(std::filesystem::temp_directory_path() /
                                                 ("x11_openbox_" + std::to_string(getpid())));
            ASSERT_TRUE(other_.wait_for_manager(std::chrono::seconds(20)));
        }
        WNDCLASSA wc{0, painted_proc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "X11Painted"};
        RegisterClassA(&wc);
        res::register_dialog(std::string_view("CANCELLABLE"), &cancellable);
        res::register_dialog(std::string_view("ABOUTLIKE"), &about_like);
        received.clear();
    }
    void TearDown() override {
        for (HWND hwnd : windows_)
            if (IsWindow(hwnd))
                DestroyWindow(hwnd);
        ui::pump_pending();
        manager_.reset();
    }
    HWND make(const char *title, DWORD style, RECT area, HWND owner = nullptr) {
        HWND hwnd = CreateWindowExA(0, "X11Painted", title, style | WS_VISIBLE, area.left, area.top,
                                    area.right - area.left, area.bottom - area.top, owner, nullptr, nullptr, nullptr);
        windows_.push_back(hwnd);
        return hwnd;
    }
    // Waits until the X server shows what the window drew. Read while nothing covers it, since an X
    // window's obscured parts read back as what covers them.
    static bool shows_its_surface(HWND hwnd) {
        return ui::pump_until([&] { return differing_pixels(hwnd) == 0; });
    }
    bool manager() const { return GetParam(); }

    OtherClient other_;
    std::unique_ptr<Openbox> manager_;
    std::vector<HWND> windows_;
};

INSTANTIATE_TEST_SUITE_P(ManagerOrNot, X11Desktop, ::testing::Values(false, true));

TEST_P(X11Desktop, TopLevelWindowsShowTheirSurface) {
    HWND main = make("Main", WS_OVERLAPPEDWINDOW, {10, 10, 310, 210});
    EXPECT_TRUE(shows_its_surface(main));
    HWND owned = make("Owned", WS_POPUP | WS_CAPTION, {400, 10, 600, 110}, main);
    EXPECT_TRUE(shows_its_surface(owned));
}

// A new size from outside (a user's tool, the manager's maximise) reaches the program as WM_SIZE with the
// new client size and the show state, and the newly uncovered area is painted by the program.
TEST_P(X11Desktop, NewSizesFromOutsideAreToldAndPainted) {
    HWND main = make("Sized", WS_OVERLAPPEDWINDOW, {10, 10, 310, 210});
    ASSERT_TRUE(shows_its_surface(main));
    Window x = x_window_of(main);
    struct Change {
        bool needs_manager;
        std::string command;  // xdotool's, or empty for the manager's maximise
        WPARAM kind;
        int width, height;  // of the client area; 0: the screen's, less what the manager keeps
    };
    const Change changes[] = {
        {false, "windowsize --sync " + std::to_string(x) + " 420 300", SIZE_RESTORED, 420, 300},
        {false, "windowsize --sync " + std::to_string(x) + " 360 330", SIZE_RESTORED, 360, 330},
        {true, "", SIZE_MAXIMIZED, 0, 0},
    };
    for (const auto &change : changes) {
        if (change.needs_manager && !manager())
            continue;
        received.clear();
        if (change.command.empty())
            other_.ask_maximise(x);
        else
            ASSERT_TRUE(xdotool(change.command));
        RECT client{};
        EXPECT_TRUE(ui::pump_until([&] {
            GetClientRect(main, &client);
            return (change.width ? client.right == change.width && client.bottom == change.height
                                 : client.right > 700) &&
                   was_received(main, WM_SIZE, change.kind, MAKELPARAM(client.right, client.bottom));
        })) << change.command
            << ": the client area is " << client.right << " by " << client.bottom;
        EXPECT_EQ(IsZoomed(main), change.kind == SIZE_MAXIMIZED) << change.command;
        // The far corner was never drawn before: the program paints it grey, and the X window shows that.
        EXPECT_TRUE(ui::pump_until([&] {
            return shown_pixel(main, {client.right - 2, client.bottom - 2}) == grey;
        })) << change.command;
        EXPECT_TRUE(shows_its_surface(main)) << change.command;
    }
}

// A click on the owner activates it and raises it, but what it owns stays above it.
TEST_P(X11Desktop, OwnedWindowsStayAboveTheirOwnerAfterAClickOnIt) {
    HWND main = make("Owner", WS_OVERLAPPEDWINDOW, {10, 10, 410, 310});
    ASSERT_TRUE(shows_its_surface(main));
    HWND owned = make("Report", WS_POPUP | WS_CAPTION | WS_VSCROLL, {250, 100, 500, 260}, main);
    ASSERT_TRUE(shows_its_surface(owned));
    ASSERT_TRUE(ui::pump_until([&] { return GetActiveWindow() == owned; }));
    ASSERT_TRUE(xdotool("mousemove --sync --window " + std::to_string(x_window_of(main)) + " 40 120 click 1"));
    EXPECT_TRUE(ui::pump_until([&] { return GetActiveWindow() == main; }));
    EXPECT_TRUE(ui::pump_until([&] {
        return other_.stacking_index(x_window_of(owned)) > other_.stacking_index(x_window_of(main));
    })) << "owner at "
        << other_.stacking_index(x_window_of(main)) << ", owned at " << other_.stacking_index(x_window_of(owned));
}

// Whoever moves the keyboard focus (the manager as the mouse goes, or another client), the program's active
// window and focus follow, and typed keys reach the window that has the focus.
TEST_P(X11Desktop, ActivationAndKeysFollowTheScreensFocus) {
    HWND main = make("Typed", WS_OVERLAPPEDWINDOW, {10, 10, 410, 310});
    ASSERT_TRUE(shows_its_surface(main));
    HWND owned = make("Side", WS_POPUP | WS_CAPTION, {450, 10, 650, 210}, main);
    ASSERT_TRUE(shows_its_surface(owned));
    for (HWND target : {main, owned, main}) {
        std::string window = std::to_string(x_window_of(target));
        // Under openbox the focus follows the mouse; without a manager another client gives it.
        // (The pointer leaves first: it may be over the target already, and only entering it moves the focus.)
        ASSERT_TRUE(xdotool(manager() ? "mousemove --sync 1010 760 mousemove --sync --window " + window + " 60 60"
                                      : "windowfocus --sync " + window));
        EXPECT_TRUE(ui::pump_until([&] { return GetActiveWindow() == target && GetFocus() == target; }))
            << (target == main ? "main" : "owned");
        received.clear();
        ASSERT_TRUE(xdotool("key --clearmodifiers q"));
        EXPECT_TRUE(ui::pump_until([&] { return was_received(target, WM_CHAR, 'q', 1); }))
            << (target == main ? "main" : "owned");
    }
}

// The manager's close button is WM_SYSCOMMAND SC_CLOSE: a plain window closes, a dialog is told IDCANCEL and
// its procedure decides. The close button is offered only to a window with a system menu, and dialogs say
// they are dialogs.
TEST_P(X11Desktop, TheCloseButtonDoesWhatTheProceduresSay) {
    struct Case {
        const char *name;
        bool offers_close, is_dialog, closes;
    };
    const Case cases[] = {
        {"plain", true, false, true},
        {"CANCELLABLE", true, true, true},
        {"ABOUTLIKE", false, true, false},
    };
    HWND main = make("Closing", WS_OVERLAPPEDWINDOW, {10, 10, 410, 310});
    ASSERT_TRUE(shows_its_surface(main));
    for (const auto &c : cases) {
        HWND hwnd = std::string(c.name) == "plain" ? make("Plain", WS_OVERLAPPEDWINDOW, {500, 10, 700, 200}, main)
                                                   : CreateDialogParamA(nullptr, c.name, main, dialog_proc, 0);
        windows_.push_back(hwnd);
        ASSERT_TRUE(shows_its_surface(hwnd)) << c.name;
        Window x = x_window_of(hwnd);
        auto motif = other_.property(x, "_MOTIF_WM_HINTS");
        ASSERT_EQ(motif.size(), 5u) << c.name;
        EXPECT_EQ((motif[1] & 32) != 0, c.offers_close) << c.name;  // the close function
        auto type = other_.property(x, "_NET_WM_WINDOW_TYPE");
        EXPECT_EQ(type, std::vector<long>{static_cast<long>(
                            other_.atom(c.is_dialog ? "_NET_WM_WINDOW_TYPE_DIALOG" : "_NET_WM_WINDOW_TYPE_NORMAL"))})
            << c.name;
        received.clear();
        other_.send_delete(x);
        EXPECT_TRUE(ui::pump_until([&] {
            return was_received(hwnd, c.is_dialog ? WM_COMMAND : WM_CLOSE, c.is_dialog ? IDCANCEL : 0, 0);
        })) << c.name;
        EXPECT_EQ(!IsWindow(hwnd) || !IsWindowVisible(hwnd), c.closes) << c.name;
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
    }
}

// The message box of a hidden dialog's WM_INITDIALOG, as a program shows "no adapter" before its dialog
// appears: the child process shows it, says so on the report pipe, and ends it when told on the order pipe.
const res::DialogControl hidden_controls[] = {{"STATIC", "Number", 501, child | SS_LEFT, 0, 2, 6, 51, 8},
                                              {"BUTTON", "OK", IDOK, child | BS_PUSHBUTTON, 0, 10, 22, 40, 14}};
const res::Dialog hidden_dialog{
    WS_POPUP | WS_CAPTION | DS_MODALFRAME, 0, 65, 24, 112, 40, "Hidden", "", 0, "", "", hidden_controls};
int report_fd = -1;

LRESULT CALLBACK box_owner_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    // The box disables its owner once it is up; from then on its modal loop runs.
    if (message == WM_ENABLE && !wparam && write(report_fd, "o", 1) != 1)
        ADD_FAILURE() << "cannot report";
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

INT_PTR CALLBACK hidden_dialog_proc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG)
        return FALSE;
    EXPECT_EQ(MessageBoxA(GetWindow(dialog, GW_OWNER), "Nothing is available", "Box", MB_OK), IDOK);
    EndDialog(dialog, 1);
    return TRUE;
}

TEST(ModalLoopChild, DISABLED_ShowsABoxUntilTold) {
    const char *fds = std::getenv("MODAL_CHILD_FDS");
    ASSERT_NE(fds, nullptr);
    int order_fd = -1;
    ASSERT_EQ(std::sscanf(fds, "%d %d", &report_fd, &order_fd), 2);
    ui::headless();
    res::register_dialog(std::string_view("HIDDEN"), &hidden_dialog);
    WNDCLASSA wc{0, box_owner_proc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "BoxOwner"};
    RegisterClassA(&wc);
    HWND owner = CreateWindowExA(0, "BoxOwner", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                                 nullptr, nullptr, nullptr);
    std::thread closer([order_fd] {
        char order;
        if (read(order_fd, &order, 1) == 1)
            ui::request_close(ui::find_window_titled("Box"));  // what the box's close button does
    });
    EXPECT_EQ(DialogBoxParamA(nullptr, "HIDDEN", owner, hidden_dialog_proc, 0), 1);
    closer.join();
    DestroyWindow(owner);
}

double cpu_seconds(pid_t pid) {
    clockid_t clock;
    timespec now{};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &now) != 0)
        return -1;
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TEST(ModalLoops, AnOpenMessageBoxCostsNoProcessorTime) {
    int report[2], order[2];
    ASSERT_EQ(pipe(report), 0);
    ASSERT_EQ(pipe(order), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        close(order[1]);
        std::string fds = std::to_string(report[1]) + " " + std::to_string(order[0]);
        setenv("MODAL_CHILD_FDS", fds.c_str(), 1);
        setenv("PLATFORM_DISPLAY_BACKEND", "headless", 1);
        execl("/proc/self/exe", "x11_tests", "--gtest_filter=ModalLoopChild.*", "--gtest_also_run_disabled_tests",
              nullptr);
        _exit(127);
    }
    close(report[1]);
    close(order[0]);
    char said = 0;
    ASSERT_EQ(read(report[0], &said, 1), 1) << "the child ended before its box showed";
    // The box stays open for five seconds of wall time; what counts is the processor time it took meanwhile.
    double before = cpu_seconds(pid);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    double after = cpu_seconds(pid);
    ASSERT_EQ(write(order[1], "c", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    close(report[0]);
    close(order[1]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the box did not close as told";
    ASSERT_GE(before, 0);
    EXPECT_LT(after - before, 0.050) << "seconds of processor time while the box was open";
}

}  // namespace
