#include "input_translation.h"

#include "thread_state.h"
#include "window_manager.h"

#include <mutex>

namespace platform::user {
namespace {

bool inside(const RECT &r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// The deepest visible child under a point given in the top-level surface's coordinates.
WindowPtr window_at(const WindowPtr &window, POINT at) {
    RECT client = client_in_surface(window);
    if (!inside(client, at))
        return window;
    for (auto it = window->children.rbegin(); it != window->children.rend(); ++it) {
        auto child = find_window_quiet(*it);
        if (child && (child->style & WS_VISIBLE) && inside(surface_rect(child), at))
            return window_at(child, at);
    }
    return window;
}

bool enabled_chain(const WindowPtr &window) {
    for (WindowPtr w = window; w; w = w->is_child() ? find_window_quiet(w->parent) : nullptr)
        if (!is_enabled(*w))
            return false;
    return true;
}

MSG make(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, POINT screen = {}) {
    MSG msg{};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wparam;
    msg.lParam = lparam;
    msg.time = GetTickCount();
    msg.pt = screen;
    return msg;
}

void translate_mouse(const WindowPtr &top, const display::InputEvent &event, std::deque<MSG> &out) {
    POINT screen{top->rect.left + event.point.x, top->rect.top + event.point.y};
    auto &state = thread_state();
    WindowPtr target = state.capture ? find_window_quiet(state.capture) : nullptr;
    if (!target) {
        target = window_at(top, event.point);
        if (!enabled_chain(target))
            return;  // a disabled window (an owner under a modal dialog) takes no input
    }
    bool press = event.type == display::InputType::button_down || event.type == display::InputType::double_click ||
                 event.type == display::InputType::middle_down;
    if (press && state.active != top->handle)
        activate(top);
    else if (press)
        display::backend().raise_surface(top->surface_id);  // a manager may have raised it over what it owns
    LRESULT hit = state.capture ? HTCLIENT : hit_test(target, screen);
    if (hit == HTCLIENT) {
        POINT origin = client_origin_on_screen(target);
        LPARAM at = MAKELPARAM(screen.x - origin.x, screen.y - origin.y);
        UINT message = WM_MOUSEMOVE;
        WPARAM keys = (state.shift_down ? MK_SHIFT : 0) | (state.control_down ? MK_CONTROL : 0);
        switch (event.type) {
            case display::InputType::middle_down:
                message = WM_MBUTTONDOWN;
                keys |= MK_MBUTTON;
                break;
            case display::InputType::middle_up:
                message = WM_MBUTTONUP;
                break;
            case display::InputType::button_down:
                message = WM_LBUTTONDOWN;
                keys |= MK_LBUTTON;
                break;
            case display::InputType::button_up:
                message = WM_LBUTTONUP;
                break;
            case display::InputType::double_click:
                message = (target->window_class->style & CS_DBLCLKS) ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
                keys |= MK_LBUTTON;
                break;
            default:
                break;
        }
        out.push_back(make(target->handle, message, keys, at, screen));
        return;
    }
    UINT message = WM_NCMOUSEMOVE;
    switch (event.type) {
        case display::InputType::button_down:
            message = WM_NCLBUTTONDOWN;
            break;
        case display::InputType::button_up:
            message = WM_NCLBUTTONUP;
            break;
        case display::InputType::double_click:
            message = WM_NCLBUTTONDBLCLK;
            break;
        default:
            break;
    }
    out.push_back(make(target->handle, message, static_cast<WPARAM>(hit), MAKELPARAM(screen.x, screen.y), screen));
}

}  // namespace

void translate_input(const display::InputEvent &event, std::deque<MSG> &out) {
    if (apply_manager_event(event))
        return;
    auto top = window_of_surface(event.surface);
    if (!top || top->destroyed || top->thread_id != GetCurrentThreadId())
        return;
    auto &state = thread_state();
    switch (event.type) {
        case display::InputType::close:
            // The manager's close button, whatever the style: the window's procedure decides what closing means.
            if (is_enabled(*top))
                out.push_back(make(top->handle, WM_SYSCOMMAND, SC_CLOSE, 0));
            return;
        case display::InputType::key_down:
        case display::InputType::key_up: {
            bool down = event.type == display::InputType::key_down;
            if (event.virtual_key == VK_SHIFT)
                state.shift_down = down;
            else if (event.virtual_key == VK_CONTROL)
                state.control_down = down;
            else if (down) {
                state.shift_down = event.shift;
                state.control_down = event.control;
                state.alt_down = event.alt;
            }
            // Keys reach a window of this program only while it has the keyboard focus on the screen.
            if (!state.active && is_enabled(*top))
                activate(top);
            HWND target = state.focus ? state.focus : state.active;
            auto window = find_window_quiet(target);
            if (!window || top_level_of(window)->thread_id != GetCurrentThreadId())
                return;
            // Keys pressed with Alt (and without Ctrl) are system keys, as Alt and F10 themselves are.
            bool with_alt = event.alt && !event.control;
            bool system = event.virtual_key == VK_MENU || event.virtual_key == VK_F10 || with_alt;
            UINT message = system ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
            LPARAM flags = 1 | (down ? 0 : static_cast<LPARAM>(0xC0000000u)) | (with_alt ? (1L << 29) : 0);
            out.push_back(make(target, message, event.virtual_key, flags));
            if (!down && event.virtual_key != VK_SHIFT && event.virtual_key != VK_CONTROL)
                state.shift_down = state.control_down = state.alt_down = false;
            return;
        }
        case display::InputType::character: {
            HWND target = state.focus ? state.focus : state.active;
            if (target)
                out.push_back(make(target, WM_CHAR, static_cast<unsigned char>(event.character), 1));
            return;
        }
        default:
            translate_mouse(top, event, out);
            return;
    }
}

void connect_backend_input() {
    static std::once_flag once;
    std::call_once(once, [] {
        display::backend().set_input_sink([](const display::InputEvent &event) {
            if (auto window = window_of_surface(event.surface))
                window->queue->post_input(event);
        });
    });
}

}  // namespace platform::user
