#include "x11_window_hints.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <vector>

namespace platform::display {
namespace {

// _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status, each in a long.
constexpr long motif_functions_present = 1, motif_decorations_present = 2;
constexpr long motif_function_resize = 2, motif_function_move = 4, motif_function_minimize = 8,
               motif_function_maximize = 16, motif_function_close = 32;
constexpr long motif_decor_border = 2, motif_decor_resize_handle = 4, motif_decor_title = 8, motif_decor_menu = 16,
               motif_decor_minimize = 32, motif_decor_maximize = 64;
constexpr long iconic_state = 3;  // WM_STATE's first field

Atom intern(Display *display, const char *name) {
    return XInternAtom(display, name, False);
}

// The 32-bit items of a property of the expected type; empty when it is absent or of another form.
std::vector<unsigned long> read_longs(Display *display, Window window, Atom property, Atom type) {
    Atom actual_type = None;
    int actual_format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char *data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(display, window, property, 0, 64, False, type, &actual_type, &actual_format, &count,
                           &remaining, &data) == Success &&
        actual_type == type && actual_format == 32 && data) {
        auto *longs = reinterpret_cast<unsigned long *>(data);
        items.assign(longs, longs + count);
    }
    if (data)
        XFree(data);
    return items;
}

}  // namespace

X11Atoms::X11Atoms(Display *display)
    : wm_protocols(intern(display, "WM_PROTOCOLS")),
      wm_delete_window(intern(display, "WM_DELETE_WINDOW")),
      wm_take_focus(intern(display, "WM_TAKE_FOCUS")),
      wm_state(intern(display, "WM_STATE")),
      net_wm_name(intern(display, "_NET_WM_NAME")),
      utf8_string(intern(display, "UTF8_STRING")),
      net_wm_icon(intern(display, "_NET_WM_ICON")),
      net_wm_state(intern(display, "_NET_WM_STATE")),
      net_wm_state_maximized_vert(intern(display, "_NET_WM_STATE_MAXIMIZED_VERT")),
      net_wm_state_maximized_horz(intern(display, "_NET_WM_STATE_MAXIMIZED_HORZ")),
      net_wm_state_hidden(intern(display, "_NET_WM_STATE_HIDDEN")),
      net_wm_window_type(intern(display, "_NET_WM_WINDOW_TYPE")),
      net_wm_window_type_normal(intern(display, "_NET_WM_WINDOW_TYPE_NORMAL")),
      net_wm_window_type_dialog(intern(display, "_NET_WM_WINDOW_TYPE_DIALOG")),
      net_wm_window_type_popup_menu(intern(display, "_NET_WM_WINDOW_TYPE_POPUP_MENU")),
      motif_wm_hints(intern(display, "_MOTIF_WM_HINTS")) {}

void set_window_traits(Display *display, Window window, const X11Atoms &atoms, const SurfaceTraits &traits) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = traits.unmanaged ? True : False;
    XChangeWindowAttributes(display, window, CWOverrideRedirect, &attributes);

    Atom protocols[] = {atoms.wm_delete_window, atoms.wm_take_focus};
    XSetWMProtocols(display, window, protocols, 2);
    // The manager gives the focus (input hint) and also says so with WM_TAKE_FOCUS, so that a window that
    // takes no input (an owner under a modal box) can pass it to the window that does.
    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = True;
    hints.initial_state = NormalState;
    XSetWMHints(display, window, &hints);

    Atom type = traits.unmanaged ? atoms.net_wm_window_type_popup_menu
                : traits.dialog  ? atoms.net_wm_window_type_dialog
                                 : atoms.net_wm_window_type_normal;
    XChangeProperty(display, window, atoms.net_wm_window_type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&type), 1);

    long functions = motif_function_move;
    long decorations = motif_decor_border;
    if (traits.sizable)
        functions |= motif_function_resize, decorations |= motif_decor_resize_handle;
    if (traits.caption)
        decorations |= motif_decor_title;
    if (traits.close_box)
        functions |= motif_function_close, decorations |= motif_decor_menu;
    if (traits.minimize_box)
        functions |= motif_function_minimize, decorations |= motif_decor_minimize;
    if (traits.maximize_box)
        functions |= motif_function_maximize, decorations |= motif_decor_maximize;
    long motif[5] = {motif_functions_present | motif_decorations_present, functions, decorations, 0, 0};
    XChangeProperty(display, window, atoms.motif_wm_hints, atoms.motif_wm_hints, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(motif), 5);
}

void set_size_hints(Display *display, Window window, const SurfaceTraits &traits, const RECT &shown) {
    XSizeHints hints{};
    hints.flags = PPosition | USPosition;
    hints.x = shown.left;
    hints.y = shown.top;
    if (!traits.sizable) {
        hints.flags |= PMinSize | PMaxSize;
        hints.min_width = hints.max_width = std::max(1L, static_cast<long>(shown.right - shown.left));
        hints.min_height = hints.max_height = std::max(1L, static_cast<long>(shown.bottom - shown.top));
    }
    XSetWMNormalHints(display, window, &hints);
}

ShowState read_show_state(Display *display, Window window, const X11Atoms &atoms) {
    auto states = read_longs(display, window, atoms.net_wm_state, XA_ATOM);
    auto has = [&](Atom atom) { return std::find(states.begin(), states.end(), atom) != states.end(); };
    auto wm_state = read_longs(display, window, atoms.wm_state, atoms.wm_state);
    if (has(atoms.net_wm_state_hidden) || (!wm_state.empty() && wm_state[0] == iconic_state))
        return ShowState::minimized;
    if (has(atoms.net_wm_state_maximized_vert) && has(atoms.net_wm_state_maximized_horz))
        return ShowState::maximized;
    return ShowState::normal;
}

}  // namespace platform::display
