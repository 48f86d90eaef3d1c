// Registers the control classes.
#include "controls.h"
#include "window_class.h"

namespace platform::user {

void notify_parent(HWND control, UINT code) {
    auto window = find_window_quiet(control);
    if (!window || !window->is_child())
        return;
    SendMessageA(window->parent, WM_COMMAND, MAKEWPARAM(window->id, code), reinterpret_cast<LPARAM>(control));
}

void fill_solid(HDC dc, const RECT &area, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
}

void register_menu_class();

void register_control_classes() {
    register_menu_class();
    struct Entry {
        const char *name;
        WNDPROC proc;
        UINT style;
    };
    for (const Entry &entry : {Entry{"Static", static_proc, 0}, Entry{"Button", button_proc, CS_DBLCLKS},
                               Entry{"Edit", edit_proc, CS_DBLCLKS}, Entry{"ScrollBar", scroll_bar_proc, CS_DBLCLKS}}) {
        WNDCLASSA wc{};
        wc.style = entry.style;
        wc.lpfnWndProc = entry.proc;
        wc.lpszClassName = entry.name;
        register_system_class(wc);
    }
}

}  // namespace platform::user
