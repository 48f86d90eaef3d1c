// Menu bar interaction with mouse and keyboard.
#include "user32/menu.h"
#include "user32/window_manager.h"

namespace platform::user {

void track_menu_bar(const WindowPtr &window, POINT screen, bool from_keyboard) {
    (void)window;
    (void)screen;
    (void)from_keyboard;
}

}  // namespace platform::user
