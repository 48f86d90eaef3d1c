// Menus behind HMENU values, loaded from the program's resource tables.
#pragma once

#include "window.h"

#include <string>
#include <vector>

namespace platform::user {

struct MenuEntry {
    std::string text;  // with its '&' marker
    UINT id = 0;
    UINT flags = 0;
    HMENU popup = nullptr;
};

struct MenuData {
    std::vector<MenuEntry> items;
};

// Null for a handle that names no menu.
MenuData *menu_data(HMENU menu);

// The menu bar items of a top-level window, each with its rectangle in surface coordinates.
struct MenuBarItem {
    RECT area;
    const MenuEntry *entry;
};
std::vector<MenuBarItem> menu_bar_layout(const WindowPtr &window);

// The mnemonic character of a menu text ('&' followed by it), lower-cased; 0 when none.
char mnemonic_of(const std::string &text);

}  // namespace platform::user
