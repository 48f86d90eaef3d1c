#include "headless_display.h"

#include "user32/menu.h"
#include "user32/scroll_bar_geometry.h"
#include "user32/window_manager.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>

namespace platform::testing::ui {
namespace {

using platform::user::find_window_quiet;

POINT middle(RECT r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The screen point of what `place` finds on a window's surface (its frame included); {-1, -1} without the
// window, or when `place` finds nothing there.
POINT on_screen(HWND hwnd, const std::function<std::optional<POINT>(const platform::user::WindowPtr &)> &place) {
    auto window = find_window_quiet(hwnd);
    std::optional<POINT> at = window ? place(window) : std::nullopt;
    if (!at)
        return {-1, -1};
    auto top = platform::user::top_level_of(window);
    return {top->rect.left + at->x, top->rect.top + at->y};
}

// The centre of the up or down arrow of a window's vertical scroll bar, on the screen.
POINT scroll_arrow_of(HWND hwnd, bool down) {
    return on_screen(hwnd, [down](const platform::user::WindowPtr &window) {
        auto parts = platform::user::vertical_parts(platform::user::window_vertical_bar(window), window->vertical);
        return middle(down ? parts.down_arrow : parts.up_arrow);
    });
}

// Takes and dispatches one waiting message; false when none waits or it is WM_QUIT, which is put back for
// the caller's own loop.
bool dispatch_next() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

}  // namespace

display::HeadlessBackend &headless() {
    static display::HeadlessBackend *instance = [] {
        // Tests run headless even where a display is set.
        if (!display::existing_backend())
            display::install_backend(std::make_unique<display::HeadlessBackend>());
        auto &current = display::backend();
        if (auto *already = dynamic_cast<display::HeadlessBackend *>(&current))
            return already;
        std::fprintf(stderr, "headless_display: the process uses the %s backend\n",
                     std::string(current.name()).c_str());
        std::abort();
    }();
    return *instance;
}

bool click(POINT screen) {
    return headless().click(screen);
}
bool double_click(POINT screen) {
    return headless().click(screen, true);
}
bool mouse_down(POINT screen) {
    return headless().mouse(display::InputType::button_down, screen);
}
bool mouse_move(POINT screen) {
    return headless().mouse(display::InputType::mouse_move, screen);
}
bool mouse_up(POINT screen) {
    return headless().mouse(display::InputType::button_up, screen);
}

bool double_click_client(HWND hwnd, POINT client) {
    ClientToScreen(hwnd, &client);
    return double_click(client);
}

POINT center_of(HWND hwnd) {
    RECT area;
    return GetWindowRect(hwnd, &area) ? middle(area) : POINT{-1, -1};
}

POINT close_box_of(HWND hwnd) {
    return on_screen(hwnd, [](const platform::user::WindowPtr &window) {
        auto frame = platform::user::frame_of(*window);
        int width = window->rect.right - window->rect.left, size = frame.caption - 4;
        return POINT{width - frame.border - 2 - size / 2, frame.border + 2 + size / 2};
    });
}

POINT caption_of(HWND hwnd) {
    return on_screen(hwnd, [](const platform::user::WindowPtr &window) {
        auto frame = platform::user::frame_of(*window);
        return POINT{frame.border + 2, frame.border + 2};  // left of the title
    });
}

POINT menu_bar_item_of(HWND hwnd, int index) {
    return on_screen(hwnd, [index](const platform::user::WindowPtr &window) -> std::optional<POINT> {
        auto layout = platform::user::menu_bar_layout(window);
        if (index < 0 || index >= static_cast<int>(layout.size()))
            return std::nullopt;
        return middle(layout[index].area);
    });
}

POINT scroll_up_arrow_of(HWND hwnd) {
    return scroll_arrow_of(hwnd, false);
}
POINT scroll_down_arrow_of(HWND hwnd) {
    return scroll_arrow_of(hwnd, true);
}

bool key(unsigned virtual_key, bool shift, bool control, bool alt) {
    return headless().key(virtual_key, shift, control, alt);
}
bool type(std::string_view text) {
    return headless().type_text(text);
}

bool request_close(HWND hwnd) {
    auto window = find_window_quiet(hwnd);
    return window && !window->is_child() && headless().close(window->surface_id);
}

COLORREF screen_pixel(POINT screen) {
    platform::user::present_thread_surfaces();
    std::uint32_t rgb = headless().screen_pixel(screen);
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

COLORREF client_pixel(HWND hwnd, POINT client) {
    ClientToScreen(hwnd, &client);
    return screen_pixel(client);
}

unsigned bell_count() {
    return headless().bell_count();
}

std::vector<std::string> window_text(HWND hwnd) {
    std::vector<std::string> lines;
    auto window = find_window_quiet(hwnd);
    if (!window || !window->surface)
        return lines;
    for (auto &run : window->surface->texts())
        lines.push_back(run.text);
    return lines;
}

std::vector<HWND> visible_windows() {
    std::vector<HWND> result;
    for (auto surface : headless().stacking_order())
        if (auto window = platform::user::window_of_surface(surface))
            result.push_back(window->handle);
    return result;
}

HWND find_window_titled(std::string_view title) {
    auto windows = visible_windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        auto window = find_window_quiet(*it);  // it may have gone since the list was taken
        if (window && headless().title(window->surface_id) == title)
            return *it;
    }
    return nullptr;
}

std::string screen_text() {
    platform::user::present_thread_surfaces();
    std::ostringstream out;
    for (HWND hwnd : visible_windows()) {
        auto window = find_window_quiet(hwnd);
        if (!window)
            continue;
        out << "[" << headless().title(window->surface_id) << "]\n";
        for (auto &line : window_text(hwnd))
            out << "  " << line << "\n";
    }
    return out.str();
}

bool pump_until(const std::function<bool()> &condition, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        bool any = false;
        while (dispatch_next()) {
            any = true;
            if (condition())
                return true;
        }
        if (!any)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

void pump_pending() {
    while (dispatch_next()) {
    }
}

}  // namespace platform::testing::ui
