#include "x11_backend.h"

#include "x11_selections.h"

#include <cairo-xlib.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <winuser.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::display {
namespace {

struct XSurface {
    Window window = 0;
    RECT area{};                      // the whole surface on the screen
    RECT insets{};                    // frame and caption drawn by user32, left out here
    cairo_surface_t *last = nullptr;  // the last presented pixels, for exposures
};

class X11Backend : public Backend {
public:
    explicit X11Backend(Display *display) : display_(display) {
        delete_window_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        net_wm_icon_ = XInternAtom(display_, "_NET_WM_ICON", False);
        net_wm_name_ = XInternAtom(display_, "_NET_WM_NAME", False);
        utf8_ = XInternAtom(display_, "UTF8_STRING", False);
        selections_ = std::make_unique<X11Selections>(display_, lock_);
        if (pipe(wake_) != 0)
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
        std::lock_guard lock(lock_);
        XSurface s;
        s.area = area;
        RECT shown = shown_area(s);
        XSetWindowAttributes attributes{};
        attributes.background_pixel = WhitePixel(display_, DefaultScreen(display_));
        attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                                KeyReleaseMask | StructureNotifyMask;
        s.window = XCreateWindow(display_, DefaultRootWindow(display_), shown.left, shown.top,
                                 std::max(1L, static_cast<long>(shown.right - shown.left)),
                                 std::max(1L, static_cast<long>(shown.bottom - shown.top)), 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attributes);
        XSetWMProtocols(display_, s.window, &delete_window_, 1);
        if (auto found = surfaces_.find(owner); found != surfaces_.end())
            XSetTransientForHint(display_, s.window, found->second.window);
        XSizeHints hints{};
        hints.flags = PPosition | USPosition;
        hints.x = shown.left;
        hints.y = shown.top;
        XSetWMNormalHints(display_, s.window, &hints);
        SurfaceId id = next_id_++;
        surfaces_[id] = s;
        XFlush(display_);
        return id;
    }

    void destroy_surface(SurfaceId surface) override {
        std::lock_guard lock(lock_);
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
        std::lock_guard lock(lock_);
        if (auto *s = find(surface)) {
            if (visible)
                XMapRaised(display_, s->window);
            else
                XUnmapWindow(display_, s->window);
            XFlush(display_);
        }
    }

    void move_surface(SurfaceId surface, const RECT &area) override {
        std::lock_guard lock(lock_);
        if (auto *s = find(surface)) {
            s->area = area;
            apply_geometry(*s);
        }
    }

    void set_frame_insets(SurfaceId surface, const RECT &insets) override {
        std::lock_guard lock(lock_);
        if (auto *s = find(surface)) {
            s->insets = insets;
            apply_geometry(*s);
        }
    }

    void raise_surface(SurfaceId surface) override {
        std::lock_guard lock(lock_);
        if (auto *s = find(surface)) {
            XRaiseWindow(display_, s->window);
            XFlush(display_);
        }
    }

    void set_title(SurfaceId surface, std::string_view title) override {
        std::lock_guard lock(lock_);
        if (auto *s = find(surface)) {
            std::string text(title);
            XStoreName(display_, s->window, text.c_str());
            XChangeProperty(display_, s->window, net_wm_name_, utf8_, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(text.data()), static_cast<int>(text.size()));
            XFlush(display_);
        }
    }

    void set_icon(SurfaceId surface, int width, int height, const std::uint32_t *pixels) override {
        std::lock_guard lock(lock_);
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
        XChangeProperty(display_, s->window, net_wm_icon_, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(data.data()), static_cast<int>(data.size()));
        XFlush(display_);
    }

    void present(SurfaceId surface, cairo_surface_t *pixels) override {
        std::lock_guard lock(lock_);
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
        std::lock_guard lock(lock_);
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
        std::lock_guard lock(lock_);
        auto *s = find(surface);
        if (!s)
            return nullptr;
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

    static unsigned virtual_key(KeySym sym) {
        switch (sym) {
            case XK_Return:
            case XK_KP_Enter:
                return VK_RETURN;
            case XK_Escape:
                return VK_ESCAPE;
            case XK_Tab:
            case XK_ISO_Left_Tab:
                return VK_TAB;
            case XK_BackSpace:
                return VK_BACK;
            case XK_Delete:
                return VK_DELETE;
            case XK_Left:
                return VK_LEFT;
            case XK_Right:
                return VK_RIGHT;
            case XK_Up:
                return VK_UP;
            case XK_Down:
                return VK_DOWN;
            case XK_Home:
                return VK_HOME;
            case XK_End:
                return VK_END;
            case XK_Prior:
                return VK_PRIOR;
            case XK_Next:
                return VK_NEXT;
            case XK_F4:
                return VK_F4;
            case XK_F10:
                return VK_F10;
            case XK_Alt_L:
            case XK_Alt_R:
                return VK_MENU;
            case XK_Shift_L:
            case XK_Shift_R:
                return VK_SHIFT;
            case XK_space:
                return VK_SPACE;
            case XK_Insert:
            case XK_KP_Insert:
                return VK_INSERT;
            case XK_Control_L:
            case XK_Control_R:
                return VK_CONTROL;
            default:
                return 0;
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
            if (selections_->handle(event) || !s)
                return;
            switch (event.type) {
                case Expose:
                    if (event.xexpose.count == 0)
                        paint(*s);
                    return;
                case ConfigureNotify:
                    return;
                case ClientMessage:
                    if (static_cast<Atom>(event.xclient.data.l[0]) != delete_window_)
                        return;
                    input.type = InputType::close;
                    break;
                case ButtonPress:
                case ButtonRelease:
                    if (event.xbutton.button == Button2) {
                        input.point = {event.xbutton.x + s->insets.left, event.xbutton.y + s->insets.top};
                        input.type = event.type == ButtonPress ? InputType::middle_down : InputType::middle_up;
                        break;
                    }
                    if (event.xbutton.button != Button1)
                        return;
                    input.point = {event.xbutton.x + s->insets.left, event.xbutton.y + s->insets.top};
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
                    break;
                case MotionNotify:
                    input.point = {event.xmotion.x + s->insets.left, event.xmotion.y + s->insets.top};
                    break;
                case KeyPress:
                case KeyRelease: {
                    char text[8] = {};
                    KeySym sym = 0;
                    int count = XLookupString(&event.xkey, text, sizeof text, &sym, nullptr);
                    input.shift = (event.xkey.state & ShiftMask) != 0;
                    input.control = (event.xkey.state & ControlMask) != 0;
                    input.alt = (event.xkey.state & Mod1Mask) != 0;
                    input.virtual_key = virtual_key(sym);
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
                    } else if (input.virtual_key) {
                        input.type = event.type == KeyPress ? InputType::key_down : InputType::key_up;
                    } else {
                        return;
                    }
                    break;
                }
                default:
                    return;
            }
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
            poll(fds, wake_[0] >= 0 ? 2 : 1, 250);
        }
    }

    Display *display_;
    Atom delete_window_, net_wm_icon_, net_wm_name_, utf8_;
    std::mutex lock_;  // every Xlib call is made under it
    std::map<SurfaceId, XSurface> surfaces_;
    SurfaceId next_id_ = 1;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::unique_ptr<X11Selections> selections_;
    std::thread reader_;
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

}  // namespace

std::unique_ptr<Backend> open_x11_backend() {
    XSetIOErrorHandler(connection_lost);
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    return std::make_unique<X11Backend>(display);
}

cairo_surface_t *x11_window_contents(Backend &backend, SurfaceId surface) {
    auto *x11 = dynamic_cast<X11Backend *>(&backend);
    return x11 ? x11->contents(surface) : nullptr;
}

}  // namespace platform::display
