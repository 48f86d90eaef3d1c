// What a top-level window's style asks a window manager to offer, as the display backend takes it.
#include "window_manager.h"

namespace platform::user {

void update_surface_traits(const Window &window) {
    DWORD style = window.style;
    display::SurfaceTraits traits;
    traits.caption = (style & WS_CAPTION) == WS_CAPTION;
    traits.sizable = (style & WS_THICKFRAME) != 0;
    // Minimise and maximise boxes, like the close box, come with the system menu.
    traits.minimize_box = (style & WS_MINIMIZEBOX) && (style & WS_SYSMENU);
    traits.maximize_box = (style & WS_MAXIMIZEBOX) && (style & WS_SYSMENU);
    traits.close_box = (style & WS_SYSMENU) != 0;
    const std::string &class_name = window.window_class->name;
    traits.dialog = class_name == "#32770";     // dialog boxes and message boxes
    traits.unmanaged = class_name == "#32768";  // pop-up menus
    display::backend().set_traits(window.surface_id, traits);
}

}  // namespace platform::user
