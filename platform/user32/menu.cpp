// Menus loaded from resources, the menu bar's layout and HMENU handles.
#include "menu.h"

#include "gdi32/gdi_objects.h"

#include "rc/resource_tables.h"
#include "window_manager.h"

#include <wingdi.h>

#include <cctype>
#include <mutex>
#include <unordered_map>

namespace platform::user {
namespace {

struct MenuTable {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, std::unique_ptr<MenuData>> menus;
    std::uintptr_t next = 0x30000;
};

MenuTable &menu_table() {
    static auto *instance = new MenuTable;
    return *instance;
}

HMENU insert_menu(std::unique_ptr<MenuData> data) {
    auto &t = menu_table();
    std::lock_guard guard(t.lock);
    auto handle = t.next;
    t.next += 4;
    t.menus.emplace(handle, std::move(data));
    return reinterpret_cast<HMENU>(handle);
}

HMENU build_menu(std::span<const resources::MenuItem> items) {
    auto data = std::make_unique<MenuData>();
    for (auto &item : items) {
        MenuEntry entry;
        entry.text = std::string(item.text);
        entry.id = item.id;
        entry.flags = item.flags;
        if (item.flags & MF_POPUP)
            entry.popup = build_menu(item.children);
        data->items.push_back(std::move(entry));
    }
    return insert_menu(std::move(data));
}

}  // namespace

MenuData *menu_data(HMENU menu) {
    auto &t = menu_table();
    std::lock_guard guard(t.lock);
    auto found = t.menus.find(reinterpret_cast<std::uintptr_t>(menu));
    return found == t.menus.end() ? nullptr : found->second.get();
}

char mnemonic_of(const std::string &text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 1])));
    }
    return 0;
}

std::vector<MenuBarItem> menu_bar_layout(const WindowPtr &window) {
    std::vector<MenuBarItem> layout;
    MenuData *menu = menu_data(window->menu);
    Frame frame = frame_of(*window);
    if (!menu || !frame.menu)
        return layout;
    RECT client = client_in_surface(window);
    int x = client.left + 2;
    auto font = gdi::resolve_font(gdi::font_of(GetStockObject(DEFAULT_GUI_FONT))->request);  // the menu font
    for (auto &entry : menu->items) {
        std::string shown;
        for (std::size_t i = 0; i < entry.text.size(); ++i)
            if (entry.text[i] != '&' || (i + 1 < entry.text.size() && entry.text[i + 1] == '&' && ++i))
                shown.push_back(entry.text[i]);
        int width = 0;
        for (char c : shown)
            width += font->advance[static_cast<unsigned char>(c)];
        RECT area{x, client.top - frame.menu, x + width + 16, client.top - 1};
        layout.push_back({area, &entry});
        x = area.right;
    }
    return layout;
}

}  // namespace platform::user

using namespace platform::user;

extern "C" HMENU WINAPI LoadMenuA(HINSTANCE, LPCSTR lpMenuName) {
    const platform::resources::Menu *menu =
        lpMenuName ? platform::resources::find_menu(platform::resources::resource_id_from(lpMenuName)) : nullptr;
    if (!menu) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return build_menu(menu->items);
}

extern "C" BOOL WINAPI DestroyMenu(HMENU hMenu) {
    auto &t = menu_table();
    std::unique_ptr<MenuData> data;
    {
        std::lock_guard guard(t.lock);
        auto found = t.menus.find(reinterpret_cast<std::uintptr_t>(hMenu));
        if (found == t.menus.end()) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
        data = std::move(found->second);
        t.menus.erase(found);
    }
    for (auto &entry : data->items)
        if (entry.popup)
            DestroyMenu(entry.popup);
    return TRUE;
}

extern "C" HMENU WINAPI GetMenu(HWND hWnd) {
    auto window = find_window(hWnd);
    return window && !window->is_child() ? window->menu : nullptr;
}

extern "C" BOOL WINAPI SetMenu(HWND hWnd, HMENU hMenu) {
    auto window = find_window(hWnd);
    if (!window || window->is_child())
        return FALSE;
    window->menu = hMenu;
    draw_nonclient(window);
    invalidate(window, nullptr, true);
    return TRUE;
}

extern "C" BOOL WINAPI DrawMenuBar(HWND hWnd) {
    auto window = find_window(hWnd);
    if (!window)
        return FALSE;
    draw_nonclient(window);
    return TRUE;
}
