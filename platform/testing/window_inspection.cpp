#include "window_inspection.h"

#include "display/backend.h"
#include "display/x11_backend.h"
#include "user32/window_manager.h"

namespace platform::testing {

std::vector<std::string> drawn_texts(HWND hwnd) {
    std::vector<std::string> texts;
    auto window = user::find_window_quiet(hwnd);
    if (window && window->surface)
        for (const auto &run : window->surface->texts())
            texts.push_back(run.text);
    return texts;
}

bool shows_text(HWND hwnd, std::string_view text) {
    for (const auto &drawn : drawn_texts(hwnd))
        if (drawn.find(text) != std::string::npos)
            return true;
    return false;
}

RECT frame_insets(HWND hwnd) {
    auto window = user::find_window_quiet(hwnd);
    if (!window)
        return {};
    auto frame = user::frame_of(*window);
    return {frame.border, frame.border + frame.caption, frame.border, frame.border};
}

std::string display_backend_name() {
    return std::string(display::backend().name());
}

cairo_surface_t *x11_window_contents(HWND hwnd) {
    auto window = user::find_window_quiet(hwnd);
    if (!window)
        return nullptr;
    return display::x11_window_contents(display::backend(), window->surface_id);
}

}  // namespace platform::testing
