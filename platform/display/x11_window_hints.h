// What an X window tells a window manager about itself (ICCCM, EWMH and Motif properties), and what the
// manager says back about its state.
#pragma once

#include "backend.h"

#include <X11/Xlib.h>

namespace platform::display {

struct X11Atoms {
    Atom wm_protocols, wm_delete_window, wm_take_focus, wm_state;
    Atom net_wm_name, utf8_string, net_wm_icon;
    Atom net_wm_state, net_wm_state_maximized_vert, net_wm_state_maximized_horz, net_wm_state_hidden;
    Atom net_wm_window_type, net_wm_window_type_normal, net_wm_window_type_dialog, net_wm_window_type_popup_menu;
    Atom motif_wm_hints;

    explicit X11Atoms(Display *display);
};

// The protocols, focus model, window type and Motif hints of a window's style; call before it is mapped.
void set_window_traits(Display *display, Window window, const X11Atoms &atoms, const SurfaceTraits &traits);

// Where the window is and, for a window without a sizing frame, the one size the manager may give it.
void set_size_hints(Display *display, Window window, const SurfaceTraits &traits, const RECT &shown);

// The state the manager keeps in the window's _NET_WM_STATE and WM_STATE properties; properties another
// client wrote in an unexpected form count as absent.
ShowState read_show_state(Display *display, Window window, const X11Atoms &atoms);

}  // namespace platform::display
