// Resources as the Linux build links them: the resource compiler turns a .rc script into a C++ file that
// defines these tables and registers them at start-up; user32 finds menus, dialogs and icons here by name
// or by integer id, as FindResource would.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <variant>

namespace platform::resources {

// A resource is named by an integer id or by a string (matched without regard to case).
using ResourceId = std::variant<std::uint16_t, std::string_view>;

struct MenuItem {
    std::string_view text;               // as written, with its '&' mnemonic marker and any "\t" accelerator text
    std::uint16_t id;                    // command id; 0 for a pop-up or a separator
    std::uint32_t flags;                 // MF_* flags: MF_POPUP, MF_SEPARATOR, MF_GRAYED, MF_CHECKED, ...
    std::span<const MenuItem> children;  // the pop-up's items
};

struct Menu {
    std::span<const MenuItem> items;  // the menu bar
};

struct DialogControl {
    std::string_view class_name;  // "BUTTON", "EDIT", "STATIC", "SCROLLBAR", ...
    std::string_view text;        // caption, or for an icon control the icon's resource name
    std::int32_t id;              // -1 for IDC_STATIC
    std::uint32_t style;          // full window style, WS_CHILD | WS_VISIBLE and the class defaults included
    std::uint32_t ex_style;
    std::int16_t x, y, cx, cy;  // dialog units
};

struct Dialog {
    std::uint32_t style;
    std::uint32_t ex_style;
    std::int16_t x, y, cx, cy;  // dialog units
    std::string_view caption;
    std::string_view font_face;  // empty when the script has no FONT statement
    std::uint16_t font_point_size;
    std::string_view menu;                    // empty when none
    std::string_view class_name;              // empty for the default dialog class
    std::span<const DialogControl> controls;  // in script order, which is the tab order
};

struct Icon {
    std::uint16_t width, height;
    std::span<const std::uint32_t> pixels;  // 0xAARRGGBB, row by row from the top
};

// Called by the generated tables' start-up code.
void register_menu(ResourceId name, const Menu *menu);
void register_dialog(ResourceId name, const Dialog *dialog);
void register_icon(ResourceId name, const Icon *icon);

// Null when the program links no such resource.
const Menu *find_menu(ResourceId name);
const Dialog *find_dialog(ResourceId name);
const Icon *find_icon(ResourceId name);

// The name a Win32 call passes (MAKEINTRESOURCE value or string) as a ResourceId.
inline ResourceId resource_id_from(const char *name) {
    auto value = reinterpret_cast<std::uintptr_t>(name);
    if ((value >> 16) == 0)
        return static_cast<std::uint16_t>(value);
    return std::string_view(name);
}

}  // namespace platform::resources
