// Menu bar interaction: a pop-up opened from the bar by mouse or keyboard (Alt, F10, arrows, Enter,
// Escape, mnemonics); choosing an item posts WM_COMMAND with its id to the window.
#include "gdi32/gdi_objects.h"
#include "gdi32/text_layout.h"
#include "menu.h"
#include "thread_state.h"
#include "window_class.h"
#include "window_manager.h"

#include <algorithm>

namespace platform::user {

void process_sent_messages();
DWORD wait_for_queue(const std::vector<std::shared_ptr<kernel::WaitableObject>> &others, bool wait_all,
                     DWORD milliseconds, DWORD mask);

namespace {

constexpr int item_height = 20;
constexpr const char *popup_class = "#32768";

struct MenuSession {
    WindowPtr owner;
    std::vector<MenuBarItem> bar;
    int bar_index = 0;
    HWND popup = nullptr;
    MenuData *items = nullptr;
    int item = -1;
    bool done = false;
    UINT chosen = 0;
};

MenuSession *&current_session() {
    thread_local MenuSession *session = nullptr;
    return session;
}

const gdi::ResolvedFont &menu_font() {
    return *gdi::resolve_font(gdi::font_of(GetStockObject(DEFAULT_GUI_FONT))->request);
}

bool selectable(const MenuEntry &entry) {
    return !(entry.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED));
}

void draw_bar(MenuSession &session) {
    draw_nonclient(session.owner);
    auto top = session.owner;
    if (session.bar_index < 0 || session.bar_index >= static_cast<int>(session.bar.size()))
        return;
    // The chosen bar item shows pressed.
    RECT area = session.bar[session.bar_index].area;
    HDC dc = gdi::create_surface_dc(top->surface, {0, 0}, area);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT));
    FillRect(dc, &area, face);
    DeleteObject(face);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    DrawTextA(dc, session.bar[session.bar_index].entry->text.c_str(), -1, &area,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    gdi::delete_dc(dc);
}

LRESULT CALLBACK popup_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    MenuSession *session = current_session();
    if (message == WM_ERASEBKGND)
        return 1;
    if (message != WM_PAINT || !session || !session->items)
        return DefWindowProcA(hwnd, message, wparam, lparam);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    RECT client;
    GetClientRect(hwnd, &client);
    HBRUSH face = GetSysColorBrush(COLOR_MENU);
    FillRect(dc, &client, face);
    SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < static_cast<int>(session->items->items.size()); ++i) {
        const auto &entry = session->items->items[i];
        RECT row{0, i * item_height, client.right, (i + 1) * item_height};
        if (entry.flags & MF_SEPARATOR) {
            RECT line{2, row.top + item_height / 2, client.right - 2, row.top + item_height / 2 + 1};
            FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
            continue;
        }
        bool highlighted = i == session->item;
        if (highlighted)
            FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, !selectable(entry) ? GetSysColor(COLOR_GRAYTEXT)
                         : highlighted      ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                                            : GetSysColor(COLOR_MENUTEXT));
        RECT text{row.left + 16, row.top, row.right - 8, row.bottom};
        DrawTextA(dc, entry.text.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
    EndPaint(hwnd, &ps);
    return 0;
}

void close_popup(MenuSession &session) {
    if (session.popup)
        DestroyWindow(session.popup);
    session.popup = nullptr;
    session.items = nullptr;
    session.item = -1;
}

void open_popup(MenuSession &session, int bar_index, bool select_first) {
    close_popup(session);
    session.bar_index = bar_index;
    draw_bar(session);
    const MenuEntry *entry = session.bar[bar_index].entry;
    if (!entry->popup) {
        return;
    }
    session.items = menu_data(entry->popup);
    if (!session.items)
        return;
    SendMessageA(session.owner->handle, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(entry->popup), bar_index);
    int width = 0;
    for (auto &item : session.items->items)
        width = std::max(width, gdi::text_width(menu_font(), item.text));
    width += 48;
    int height = static_cast<int>(session.items->items.size()) * item_height;
    RECT area = session.bar[bar_index].area;
    int x = session.owner->rect.left + area.left, y = session.owner->rect.top + area.bottom + 1;
    // A raised frame as wide as a dialog's: two edge lines and a line of the menu's face.
    session.popup = CreateWindowExA(0, popup_class, "", WS_POPUP | WS_DLGFRAME, x, y, width + 6, height + 6,
                                    session.owner->handle, nullptr, nullptr, nullptr);
    if (select_first) {
        auto &items = session.items->items;
        for (int i = 0; i < static_cast<int>(items.size()); ++i)
            if (selectable(items[i])) {
                session.item = i;
                break;
            }
    }
    ShowWindow(session.popup, SW_SHOWNOACTIVATE);
    UpdateWindow(session.popup);
}

void move_item(MenuSession &session, int direction) {
    if (!session.items)
        return;
    int count = static_cast<int>(session.items->items.size());
    for (int step = 1; step <= count; ++step) {
        int index = ((session.item < 0 ? (direction > 0 ? -1 : 0) : session.item) + direction * step) % count;
        index = (index + count) % count;
        if (selectable(session.items->items[index])) {
            session.item = index;
            InvalidateRect(session.popup, nullptr, TRUE);
            UpdateWindow(session.popup);
            return;
        }
    }
}

void choose(MenuSession &session, int index) {
    if (!session.items || index < 0 || index >= static_cast<int>(session.items->items.size()))
        return;
    const MenuEntry &entry = session.items->items[index];
    if (!selectable(entry) || entry.popup)
        return;
    session.chosen = entry.id;
    session.done = true;
}

int bar_item_at(const MenuSession &session, POINT at) {
    for (int i = 0; i < static_cast<int>(session.bar.size()); ++i) {
        const RECT &r = session.bar[i].area;
        if (at.x >= r.left && at.x < r.right && at.y >= r.top && at.y < r.bottom)
            return i;
    }
    return -1;
}

void handle_mouse(MenuSession &session, const display::InputEvent &event) {
    auto target = window_of_surface(event.surface);
    bool press = event.type == display::InputType::button_down || event.type == display::InputType::double_click;
    bool release = event.type == display::InputType::button_up;
    if (target && target->handle == session.popup) {
        int index = (event.point.y - frame_of(*target).border) / item_height;
        if (session.items && index >= 0 && index < static_cast<int>(session.items->items.size()) &&
            session.item != index) {
            session.item = index;
            InvalidateRect(session.popup, nullptr, TRUE);
            UpdateWindow(session.popup);
        }
        if (release)
            choose(session, index);
        return;
    }
    if (target == session.owner) {
        int index = bar_item_at(session, event.point);
        if (index >= 0 && press) {
            if (index == session.bar_index && session.popup)
                session.done = true;  // a second click on the open item closes the menu
            else
                open_popup(session, index, false);
            return;
        }
        if (index >= 0)
            return;
    }
    if (press)
        session.done = true;  // a click elsewhere ends the menu and goes nowhere
}

void handle_key(MenuSession &session, const display::InputEvent &event) {
    // A letter pressed while Alt is still held picks by mnemonic as the letter alone does.
    if (event.type == display::InputType::key_down && event.alt && event.virtual_key >= 'A' &&
        event.virtual_key <= 'Z') {
        display::InputEvent letter = event;
        letter.type = display::InputType::character;
        letter.character = static_cast<char>(event.virtual_key);
        handle_key(session, letter);
        return;
    }
    if (event.type == display::InputType::character) {
        char typed = static_cast<char>(std::tolower(static_cast<unsigned char>(event.character)));
        if (session.items) {
            for (int i = 0; i < static_cast<int>(session.items->items.size()); ++i)
                if (mnemonic_of(session.items->items[i].text) == typed) {
                    choose(session, i);
                    return;
                }
            return;
        }
        for (int i = 0; i < static_cast<int>(session.bar.size()); ++i)
            if (mnemonic_of(session.bar[i].entry->text) == typed) {
                open_popup(session, i, true);
                return;
            }
        return;
    }
    if (event.type != display::InputType::key_down)
        return;
    int count = static_cast<int>(session.bar.size());
    switch (event.virtual_key) {
        case VK_ESCAPE:
            if (session.popup)
                close_popup(session), draw_bar(session);
            else
                session.done = true;
            break;
        case VK_MENU:
        case VK_F10:
            session.done = true;
            break;
        case VK_DOWN:
            if (!session.popup)
                open_popup(session, session.bar_index, true);
            else
                move_item(session, 1);
            break;
        case VK_UP:
            move_item(session, -1);
            break;
        case VK_LEFT:
        case VK_RIGHT: {
            int next = (session.bar_index + (event.virtual_key == VK_RIGHT ? 1 : count - 1)) % count;
            if (session.popup)
                open_popup(session, next, true);
            else {
                session.bar_index = next;
                draw_bar(session);
            }
            break;
        }
        case VK_RETURN:
            if (!session.popup)
                open_popup(session, session.bar_index, true);
            else
                choose(session, session.item);
            break;
        default:
            break;
    }
}

}  // namespace

void register_menu_class() {
    WNDCLASSA wc{};
    wc.style = CS_SAVEBITS;
    wc.lpfnWndProc = popup_proc;
    wc.lpszClassName = popup_class;
    register_system_class(wc);
}

void track_menu_bar(const WindowPtr &window, POINT screen, bool from_keyboard) {
    if (current_session() || !window->menu || window->is_child())
        return;
    MenuSession session;
    session.owner = window;
    session.bar = menu_bar_layout(window);
    if (session.bar.empty())
        return;
    current_session() = &session;
    HWND hwnd = window->handle;
    SendMessageA(hwnd, WM_ENTERMENULOOP, FALSE, 0);
    SendMessageA(hwnd, WM_INITMENU, reinterpret_cast<WPARAM>(window->menu), 0);
    if (from_keyboard) {
        draw_bar(session);
    } else {
        int index = bar_item_at(session, POINT{screen.x - window->rect.left, screen.y - window->rect.top});
        open_popup(session, index < 0 ? 0 : index, false);
    }
    auto queue = current_queue();
    while (!session.done && IsWindow(hwnd)) {
        process_sent_messages();
        display::InputEvent event;
        if (!queue->take_input(event)) {
            // Paint what needs it (the pop-up, say) and wait for more input.
            if (auto paint = next_window_to_paint(nullptr))
                update_now(paint);
            wait_for_queue({}, false, INFINITE, QS_INPUT | QS_PAINT);
            continue;
        }
        if (apply_manager_event(event)) {
            // Windows ends a menu when its program loses the keyboard to another.
            session.done = session.done || event.type == display::InputType::deactivated;
            continue;
        }
        if (event.type == display::InputType::key_down || event.type == display::InputType::key_up ||
            event.type == display::InputType::character)
            handle_key(session, event);
        else if (event.type != display::InputType::close)
            handle_mouse(session, event);
    }
    close_popup(session);
    current_session() = nullptr;
    if (IsWindow(hwnd)) {
        draw_nonclient(window);
        SendMessageA(hwnd, WM_EXITMENULOOP, FALSE, 0);
        if (session.chosen)
            PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(session.chosen, 0), 0);
    }
}

}  // namespace platform::user
