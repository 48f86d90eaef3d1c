#include "x11_keys.h"

#include <X11/keysym.h>

#include <windows.h>

namespace platform::display {

unsigned virtual_key_of(KeySym sym) {
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

}  // namespace platform::display
