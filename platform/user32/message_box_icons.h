// The system icons (IDI_APPLICATION, IDI_HAND, IDI_QUESTION, IDI_EXCLAMATION, IDI_ASTERISK), drawn with
// primitives in the style of the NT 4 era, and the icon control a message box shows them in.
#pragma once

#include "rc/resource_tables.h"

#include <windows.h>

#include <cairo.h>

#include <cstdint>

namespace platform::user {

// Draws the 32 by 32 system icon `id` (an IDI_ value) with its top left corner at (x, y); false for an id
// that names no system icon.
bool draw_system_icon(cairo_t *cr, int x, int y, std::uintptr_t id);

// The icon control of a message box of type `type` (its MB_ICON bits), in the box's top left corner.
resources::DialogControl message_box_icon_control(UINT type);

}  // namespace platform::user
