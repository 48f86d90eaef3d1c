#include "x11_backend.h"

#include "latin1.h"
#include "x11_keys.h"
#include "x11_selections.h"
#include "x11_window_hints.h"

#include <cairo-xlib.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <winuser.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <optional>
#include <utility>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::display {
namespace {

bool same_rect(const RECT &a, const RECT &b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

struct XSurface {
    Window window = 0;
    SurfaceId owner = 0;
    RECT area{};    // the whole surface on the screen
    RECT insets{};  // frame and caption drawn by user32, left out here
    SurfaceTraits traits;
    cairo_surface_t *last = nullptr;  // the last presented pixels, for exposures
    bool mapped = false;              // MapNotify seen, UnmapNotify not since
    bool focus_when_mapped = false;   // focus_surface came before the window showed
    ShowState state = ShowState::normal;
};

class X11Backend : public Backend {
    // The lock of a call from a program's thread. Its round trips (and Xlib's own reads while it writes) may
    // leave events in Xlib's queue, where the reader's poll() cannot see them: wake the reader when they do.
    struct Locked {
        explicit Locked(X11Backend *owner) : backend(owner), guard(owner->lock_) {}
        ~Locked() { backend->wake_reader_for_queued_events(); }
        X11Backend *backend;
        std::lock_guard<std::mutex> guard;
    };

public:
    explicit X11Backend(Display *display) : display_(display), atoms_(display) {
        selections_ = std::make_unique<X11Selections>(display_, lock_);
        if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
            wake_[0] = wake_[1] = -1;
        reader_ = std::thread([this] { read_events(); });
    }

    ~X11Backend() override {
        stopping_ = true;
        if (wake_[1] >= 0 && write(wake_[1], "x", 1) < 0) {
        }
        if (reader_.joinable())
            reader_.join();
        for (auto &[id, s] : surfaces_)
            if (s.last)
                cairo_surface_destroy(s.last);
        XCloseDisplay(display_);
    }

    std::string_view name() const override { return "x11"; }

    SurfaceId create_surface(SurfaceId owner, const RECT &area) override {
        Locked lock(this);
        XSurface s;
        s.area = area;
        RECT shown = shown_area(s);
        XSetWindowAttributes attributes{};
        attributes.background_pixel = WhitePixel(display_, DefaultScreen(display_));
        attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                                KeyReleaseMask | StructureNotifyMask | FocusChangeMask | PropertyChangeMask;
        s.window = XCreateWindow(display_, DefaultRootWindow(display_), shown.left, shown.top,
                                 std::max(1L, static_cast<long>(shown.right - shown.left)),
                                 std::max(1L, static_cast<long>(shown.bottom - shown.top)), 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attributes);
        if (auto found = surfaces_.find(owner); found != surfaces_.end()) {
            s.owner = owner;
            XSetTransientForHint(display_, s.window, found->second.window);
        }
        set_window_traits(display_, s.window, atoms_, s.traits);
        set_size_hints(display_, s.window, s.traits, shown);
        SurfaceId id = next_id_++;
        surfaces_[id] = s;
        XFlush(display_);
        return id;
    }

    void set_traits(SurfaceId surface, const SurfaceTraits &traits) override {
        Locked lock(this);
        if (auto *s = find(surface)) {
            s->traits = traits;
            set_window_traits(display_, s->window, atoms_, traits);
            set_size_hints(display_, s->window, traits, shown_area(*s));
            XFlush(display_);
        }
    }

    void destroy_surface(SurfaceId surface) override {
        Locked lock(this);
        auto found = surfaces_.find(surface);
        if (found == surfaces_.end())
            return;
        XDestroyWindow(display_, found->second.window);
        if (found->second.last)
            cairo_surface_destroy(found->second.last);
        surfaces_.erase(found);
        XFlush(display_);
    }

    void show_surface(SurfaceId surface, bool visible) override {
        Locked lock(this);
        if (auto *s = find(surface)) {
            if (visible)
                XMapRaised(display_, s->window);
            else
                XUnmapWindow(display_, s->window);
            XFlush(display_);
        }
    }

    void move_surface(SurfaceId surface, const RECT &area) override {
        Locked lock(this);
        if (auto *s = find(surface)) {
            s->area = area;
            apply_geometry(*s);
        }
    }

    void set_frame_insets(SurfaceId surface, const RECT &insets) override {
        Locked lock(this);
        if (auto *s = find(surface)) {
            s->insets = insets;
            apply_geometry(*s);
        }
    }

    void raise_surface(SurfaceId surface) override {
        Locked lock(this);
        // A window manager keeps transient windows above their owner itself; without one (or with one that
        // does not) the owned windows go up after their owner, so that they are never covered by it.
        raise_with_owned(surface, 0);
        XFlush(display_);
    }

    void focus_surface(SurfaceId surface) override {
        Locked lock(this);
        auto *s = find(surface);
        if (!s || s->traits.unmanaged)
            return;
        s->focus_when_mapped = !s->mapped;
        if (s->mapped && focused_ != surface)
            set_focus(*s);
    }

    SurfaceId focused_surface() override {
        Locked lock(this);
        return focused_;
    }

    void set_title(SurfaceId surface, std::string_view title) override {
        Locked lock(this);
        if (auto *s = find(surface)) {
            // WM_NAME is a STRING, which X defines as Latin-1 like the program's own bytes; _NET_WM_NAME is UTF-8.
            std::string text(title);
            std::string utf8 = latin1_to_utf8(title);
            XStoreName(display_, s->window, text.c_str());
            XChangeProperty(display_, s->window, atoms_.net_wm_name, atoms_.utf8_string, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(utf8.data()), static_cast<int>(utf8.size()));
            XFlush(display_);
        }
    }

    void set_icon(SurfaceId surface, int width, int height, const std::uint32_t *pixels) override {
        Locked lock(this);
        auto *s = find(surface);
        if (!s || width <= 0 || height <= 0 || !pixels)
            return;
        // _NET_WM_ICON is width, height, then ARGB pixels, each in a long.
        std::vector<unsigned long> data;
        data.reserve(2 + static_cast<std::size_t>(width) * height);
        data.push_back(static_cast<unsigned long>(width));
        data.push_back(static_cast<unsigned long>(height));
        for (int i = 0; i < width * height; ++i)
            data.push_back(pixels[i]);
        XChangeProperty(display_, s->window, atoms_.net_wm_icon, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(data.data()), static_cast<int>(data.size()));
        XFlush(display_);
    }

    void present(SurfaceId surface, cairo_surface_t *pixels) override {
        Locked lock(this);
        auto *s = find(surface);
        if (!s)
            return;
        cairo_surface_flush(pixels);
        int width = cairo_image_surface_get_width(pixels), height = cairo_image_surface_get_height(pixels);
        if (s->last)
            cairo_surface_destroy(s->last);
        s->last = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        cairo_t *copy = cairo_create(s->last);
        cairo_set_source_surface(copy, pixels, 0, 0);
        cairo_paint(copy);
        cairo_destroy(copy);
        paint(*s);
    }

    void bell() override {
        Locked lock(this);
        XBell(display_, 0);
        XFlush(display_);
    }

    RECT screen_area() const override {
        Screen *screen = DefaultScreenOfDisplay(display_);
        return {0, 0, WidthOfScreen(screen), HeightOfScreen(screen)};
    }

    bool shows_own_frame() const override { return false; }

    bool has_selections() const override { return true; }
    void own_selection(Selection which, std::string_view text) override { selections_->own(which, text); }
    std::optional<std::string> read_selection(Selection which) override { return selections_->read(which); }

    cairo_surface_t *contents(SurfaceId surface) {
        Locked lock(this);
        auto *s = find(surface);
        if (!s)
            return nullptr;
        // The round trips below read the events that came before their replies into Xlib's queue.
        struct WakeReader {
            X11Backend *backend;
            ~WakeReader() { backend->wake_reader_for_queued_events(); }
        } wake{this};
        XSync(display_, False);
        XWindowAttributes attributes;
        // Reading a window that is not on the screen is a protocol error, which ends the process.
        if (!XGetWindowAttributes(display_, s->window, &attributes) || attributes.map_state != IsViewable)
            return nullptr;
        XImage *image = XGetImage(display_, s->window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
        if (!image)
            return nullptr;
        auto *out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, attributes.width, attributes.height);
        auto *data = cairo_image_surface_get_data(out);
        int stride = cairo_image_surface_get_stride(out);
        for (int y = 0; y < attributes.height; ++y)
            for (int x = 0; x < attributes.width; ++x)
                reinterpret_cast<std::uint32_t *>(data + y * stride)[x] =
                    static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF;
        cairo_surface_mark_dirty(out);
        XDestroyImage(image);
        return out;
    }

    unsigned long window_of(SurfaceId surface) {
        Locked lock(this);
        auto *s = find(surface);
        return s ? s->window : 0;
    }

private:
    XSurface *find(SurfaceId surface) {
        auto found = surfaces_.find(surface);
        return found == surfaces_.end() ? nullptr : &found->second;
    }

    static RECT shown_area(const XSurface &s) {
        return {s.area.left + s.insets.left, s.area.top + s.insets.top, s.area.right - s.insets.right,
                s.area.bottom - s.insets.bottom};
    }

    void apply_geometry(XSurface &s) {
        RECT shown = shown_area(s);
        set_size_hints(display_, s.window, s.traits, shown);
        last_geometry_request_ = NextRequest(display_);
        XMoveResizeWindow(display_, s.window, shown.left, shown.top,
                          std::max(1L, static_cast<long>(shown.right - shown.left)),
                          std::max(1L, static_cast<long>(shown.bottom - shown.top)));
        XFlush(display_);
    }

    // Call with lock_ held.
    void paint(XSurface &s) {
        if (!s.last)
            return;
        RECT shown = shown_area(s);
        int width = shown.right - shown.left, height = shown.bottom - shown.top;
        cairo_surface_t *target =
            cairo_xlib_surface_create(display_, s.window, DefaultVisual(display_, DefaultScreen(display_)),
                                      std::max(1, width), std::max(1, height));
        cairo_t *cr = cairo_create(target);
        cairo_set_source_surface(cr, s.last, -s.insets.left, -s.insets.top);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(target);
        cairo_surface_destroy(target);
        XFlush(display_);
    }

    // Raises a surface and, above it, what it owns, in creation order; `depth` stops an ownership cycle.
    void raise_with_owned(SurfaceId surface, int depth) {
        auto *s = find(surface);
        if (!s || depth > 16)
            return;
        XRaiseWindow(display_, s->window);
        for (auto &[id, other] : surfaces_)
            if (other.owner == surface && other.mapped)
                raise_with_owned(id, depth + 1);
    }

    void set_focus(XSurface &s) {
        s.focus_when_mapped = false;
        for (auto &[id, candidate] : surfaces_)
            if (&candidate == &s)
                focused_ = id;  // as asked; the server's next focus event says whether it held
        XSetInputFocus(display_, s.window, RevertToParent, CurrentTime);
        XFlush(display_);
    }

    // Round trips made on other threads may leave events in Xlib's queue, where poll() cannot see them.
    void wake_reader_for_queued_events() {
        if (XQLength(display_) > 0 && wake_[1] >= 0 && write(wake_[1], "x", 1) < 0) {
        }
    }

    // The surface's whole area from its X window's place on the screen; null when the window is gone.
    std::optional<RECT> area_on_screen(const XSurface &s, int width, int height) {
        int x = 0, y = 0;
        Window child;
        if (!XTranslateCoordinates(display_, s.window, DefaultRootWindow(display_), 0, 0, &x, &y, &child))
            return std::nullopt;
        return RECT{x - s.insets.left, y - s.insets.top, x + width + s.insets.right, y + height + s.insets.bottom};
    }

    // Focus events come late and in bursts (the manager's, ours, another client's), so each one only says
    // "look again": the server's focus now decides which surface is activated, or that the last one lost the
    // keyboard to a window of another program. False when that changes nothing user32 knows.
    bool focus_moved(InputEvent &input) {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display_, &focus, &revert);
        SurfaceId now = 0;
        for (auto &[id, candidate] : surfaces_)
            if (candidate.window == focus)
                now = id;
        SurfaceId before = std::exchange(focused_, now);
        if (now == before)
            return false;
        input.surface = now ? now : before;
        input.type = now ? InputType::activated : InputType::deactivated;
        return true;
    }

    static bool is_focus_change(const XFocusChangeEvent &focus) {
        // Grabs (a manager's key binding, say) and the pointer's own focus without a manager move nothing.
        return (focus.mode == NotifyNormal || focus.mode == NotifyWhileGrabbed) && focus.detail != NotifyPointer &&
               focus.detail != NotifyPointerRoot && focus.detail != NotifyDetailNone;
    }

    // What an X event on a surface means to user32; false when it means nothing. Call with lock_ held.
    bool translate(XEvent &event, XSurface &s, InputEvent &input) {
        switch (event.type) {
            case Expose:
                if (event.xexpose.count == 0)
                    paint(s);
                return false;
            case MapNotify:
                s.mapped = true;
                if (s.focus_when_mapped)
                    set_focus(s);
                return false;
            case UnmapNotify:
                s.mapped = false;
                return false;
            case ConfigureNotify: {
                // Our own moves come back too; only a change user32 does not know of yet is news. One that the
                // server made before our latest move is overtaken by it.
                if (event.xany.serial < last_geometry_request_)
                    return false;
                auto area = area_on_screen(s, event.xconfigure.width, event.xconfigure.height);
                if (!area || same_rect(*area, s.area))
                    return false;
                s.area = *area;
                input.type = InputType::moved;
                input.area = *area;
                return true;
            }
            case PropertyNotify: {
                if (event.xproperty.atom != atoms_.net_wm_state && event.xproperty.atom != atoms_.wm_state)
                    return false;
                ShowState state = read_show_state(display_, s.window, atoms_);
                if (state == s.state)
                    return false;
                s.state = state;
                input.type = InputType::show_state;
                input.state = state;
                return true;
            }
            case FocusIn:
            case FocusOut:
                return is_focus_change(event.xfocus) && focus_moved(input);
            case ClientMessage: {
                if (event.xclient.message_type != atoms_.wm_protocols || event.xclient.format != 32)
                    return false;
                auto protocol = static_cast<Atom>(event.xclient.data.l[0]);
                if (protocol == atoms_.wm_take_focus) {
                    // The manager offers the focus; taking it brings FocusIn, which says the rest.
                    if (s.mapped)
                        XSetInputFocus(display_, s.window, RevertToParent, static_cast<Time>(event.xclient.data.l[1]));
                    return false;
                }
                if (protocol != atoms_.wm_delete_window)
                    return false;
                input.type = InputType::close;
                return true;
            }
            case ButtonPress:
            case ButtonRelease:
                if (event.xbutton.button == Button2) {
                    input.point = {event.xbutton.x + s.insets.left, event.xbutton.y + s.insets.top};
                    input.type = event.type == ButtonPress ? InputType::middle_down : InputType::middle_up;
                    return true;
                }
                if (event.xbutton.button != Button1)
                    return false;
                input.point = {event.xbutton.x + s.insets.left, event.xbutton.y + s.insets.top};
                input.type = event.type == ButtonRelease ? InputType::button_up : InputType::button_down;
                if (event.type == ButtonPress) {
                    bool again = event.xbutton.time - last_press_ < 400 && input.surface == last_surface_ &&
                                 std::abs(input.point.x - last_point_.x) < 4 &&
                                 std::abs(input.point.y - last_point_.y) < 4;
                    if (again)
                        input.type = InputType::double_click;
                    last_press_ = again ? 0 : event.xbutton.time;
                    last_surface_ = input.surface;
                    last_point_ = input.point;
                }
                return true;
            case MotionNotify:
                input.point = {event.xmotion.x + s.insets.left, event.xmotion.y + s.insets.top};
                return true;
            case KeyPress:
            case KeyRelease: {
                char text[8] = {};
                KeySym sym = 0;
                int count = XLookupString(&event.xkey, text, sizeof text, &sym, nullptr);
                input.shift = (event.xkey.state & ShiftMask) != 0;
                input.control = (event.xkey.state & ControlMask) != 0;
                input.alt = (event.xkey.state & Mod1Mask) != 0;
                input.virtual_key = virtual_key_of(sym);
                if (!input.virtual_key && sym >= XK_a && sym <= XK_z)
                    input.virtual_key = static_cast<unsigned>('A' + (sym - XK_a));
                if (!input.virtual_key && sym >= XK_A && sym <= XK_Z)
                    input.virtual_key = static_cast<unsigned>('A' + (sym - XK_A));
                // With Ctrl or Alt a letter is a key (a shortcut or a mnemonic), not a character typed.
                bool printable = count == 1 && static_cast<unsigned char>(text[0]) >= 0x20 && text[0] != 0x7F &&
                                 !input.control && !input.alt;
                if (event.type == KeyPress && printable && input.virtual_key != VK_SPACE) {
                    input.type = InputType::character;
                    input.character = text[0];
                    return true;
                }
                if (!input.virtual_key)
                    return false;
                input.type = event.type == KeyPress ? InputType::key_down : InputType::key_up;
                return true;
            }
            default:
                return false;
        }
    }

    void handle(XEvent &event) {
        InputEvent input{InputType::mouse_move};
        {
            std::lock_guard lock(lock_);
            XSurface *s = nullptr;
            for (auto &[id, candidate] : surfaces_)
                if (candidate.window == event.xany.window) {
                    s = &candidate;
                    input.surface = id;
                }
            if (selections_->handle(event) || !s || !translate(event, *s, input))
                return;
        }
        deliver(input);
    }

    void read_events() {
        int connection = ConnectionNumber(display_);
        while (!stopping_) {
            for (;;) {
                XEvent event;
                {
                    std::lock_guard lock(lock_);
                    if (!XPending(display_))
                        break;
                    XNextEvent(display_, &event);
                }
                handle(event);
            }
            pollfd fds[2] = {{connection, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            // Without a wake pipe the reader looks for the end now and then; with one it sleeps until woken.
            poll(fds, wake_[0] >= 0 ? 2 : 1, wake_[0] >= 0 ? -1 : 250);
            char drained[64];
            if (wake_[0] >= 0 && (fds[1].revents & POLLIN) && read(wake_[0], drained, sizeof drained) < 0) {
            }
        }
    }

    Display *display_;
    X11Atoms atoms_;
    std::mutex lock_;  // every Xlib call is made under it
    std::map<SurfaceId, XSurface> surfaces_;
    SurfaceId next_id_ = 1;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::unique_ptr<X11Selections> selections_;
    std::thread reader_;
    SurfaceId focused_ = 0;                    // the surface with the server's keyboard focus when we last looked
    unsigned long last_geometry_request_ = 0;  // the serial of our latest move or resize
    Time last_press_ = 0;
    SurfaceId last_surface_ = 0;
    POINT last_point_{};
};

// Xlib's default reaction to a lost server connection is exit() from whichever thread noticed, usually the
// event reader; the exit would then run the backend's destructor on that very thread and tear down a
// display that is gone. The program has nothing left to show, so it ends at once with a clear message.
int connection_lost(Display *) {
    static const char message[] = "display: the connection to the X server was lost\n";
    if (write(STDERR_FILENO, message, sizeof message - 1) < 0) {
    }
    _exit(1);
}

// Xlib's default reaction to an error reply is exit(). The errors that come here are races with the server
// or another client: focus given to a window the manager has just unmapped, a window gone before a request
// about it arrived. The request did nothing; the program goes on, and says so unless that is expected.
int request_failed(Display *display, XErrorEvent *error) {
    // The core protocol's request codes (Xproto.h's names clash with the Win32 types).
    constexpr unsigned char configure_window = 12, set_input_focus = 42;
    bool expected = (error->error_code == BadMatch || error->error_code == BadWindow) &&
                    (error->request_code == set_input_focus || error->request_code == configure_window);
    if (!expected) {
        char text[128] = {};
        XGetErrorText(display, error->error_code, text, sizeof text);
        std::fprintf(stderr, "display: X request %d failed: %s\n", error->request_code, text);
    }
    return 0;
}

}  // namespace

std::unique_ptr<Backend> open_x11_backend() {
    XSetIOErrorHandler(connection_lost);
    XSetErrorHandler(request_failed);
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    return std::make_unique<X11Backend>(display);
}

cairo_surface_t *x11_window_contents(Backend &backend, SurfaceId surface) {
    auto *x11 = dynamic_cast<X11Backend *>(&backend);
    return x11 ? x11->contents(surface) : nullptr;
}

unsigned long x11_window_of(Backend &backend, SurfaceId surface) {
    auto *x11 = dynamic_cast<X11Backend *>(&backend);
    return x11 ? x11->window_of(surface) : 0;
}

}  // namespace platform::display
