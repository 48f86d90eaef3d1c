// MessageBoxA: a modal dialog built from a template made on the spot.
#include "gdi32/gdi_objects.h"
#include "gdi32/text_layout.h"
#include "dialog.h"
#include "message_box_icons.h"
#include "window_manager.h"

#include <algorithm>
#include <string>
#include <vector>

namespace platform::user {
namespace {

struct Button {
    int id;
    const char *text;
};

std::vector<Button> buttons_for(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
        case MB_ABORTRETRYIGNORE:
            return {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}};
        case MB_YESNOCANCEL:
            return {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};
        case MB_YESNO:
            return {{IDYES, "&Yes"}, {IDNO, "&No"}};
        case MB_RETRYCANCEL:
            return {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}};
        default:
            return {{IDOK, "OK"}};
    }
}

const char *icon_text(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            return "X";
        case MB_ICONQUESTION:
            return "?";
        case MB_ICONEXCLAMATION:
            return "!";
        case MB_ICONASTERISK:
            return "i";
        default:
            return nullptr;
    }
}

struct BoxState {
    std::vector<Button> buttons;
    int default_index = 0;
};

INT_PTR CALLBACK message_box_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto *box = reinterpret_cast<BoxState *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            box = reinterpret_cast<BoxState *>(lparam);
            SetWindowLongPtrA(dialog, DWLP_USER, lparam);
            HWND default_button = GetDlgItem(dialog, box->buttons[box->default_index].id);
            SendMessageA(dialog, DM_SETDEFID, box->buttons[box->default_index].id, 0);
            if (default_button)
                SetFocus(default_button);
            return FALSE;  // the focus is set
        }
        case WM_COMMAND: {
            int id = LOWORD(wparam);
            if (!box)
                return FALSE;
            // Escape and the close box give IDCANCEL, which only a box with a Cancel (or just OK) button takes.
            bool known =
                std::any_of(box->buttons.begin(), box->buttons.end(), [&](const Button &b) { return b.id == id; });
            if (id == IDCANCEL && !known && box->buttons.size() == 1 && box->buttons[0].id == IDOK)
                id = IDOK, known = true;
            if (known)
                EndDialog(dialog, id);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // namespace
}  // namespace platform::user

using namespace platform::user;

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    std::string text = lpText ? lpText : "";
    std::string caption = lpCaption ? lpCaption : "Error";
    BoxState box;
    box.buttons = buttons_for(uType);
    box.default_index =
        std::min<int>(static_cast<int>((uType & MB_DEFMASK) >> 8), static_cast<int>(box.buttons.size()) - 1);

    // Measure the text in the dialog font, in dialog units (base units 8 by 16: 2 pixels a unit).
    auto font = platform::gdi::resolve_font(platform::gdi::font_of(GetStockObject(SYSTEM_FONT))->request);
    auto lines = platform::gdi::layout_text(*font, text, DT_NOPREFIX, 100000);
    int text_width = 0;
    for (auto &line : lines)
        text_width = std::max(text_width, platform::gdi::text_width(*font, line.text));
    int text_cx = std::min(200, text_width / 2 + 4);
    int text_cy = static_cast<int>(lines.size()) * font->line_height() / 2 + 2;
    const char *icon = icon_text(uType);
    int text_x = icon ? 32 : 8;
    int button_cx = 40, gap = 6;
    int buttons_cx =
        static_cast<int>(box.buttons.size()) * button_cx + (static_cast<int>(box.buttons.size()) - 1) * gap;
    int cx = std::max(text_x + text_cx + 8, buttons_cx + 16);
    int text_y = 8;
    int button_y = text_y + std::max(text_cy, icon ? 20 : 0) + 8;
    int cy = button_y + 14 + 6;

    std::vector<platform::resources::DialogControl> controls;
    if (icon)
        controls.push_back(message_box_icon_control(uType));
    controls.push_back({"STATIC", text, 0xFFFF, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0,
                        static_cast<std::int16_t>(text_x), static_cast<std::int16_t>(text_y),
                        static_cast<std::int16_t>(text_cx), static_cast<std::int16_t>(text_cy)});
    int x = (cx - buttons_cx) / 2;
    for (int i = 0; i < static_cast<int>(box.buttons.size()); ++i) {
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == box.default_index ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        controls.push_back({"BUTTON", box.buttons[i].text, box.buttons[i].id, style, 0, static_cast<std::int16_t>(x),
                            static_cast<std::int16_t>(button_y), static_cast<std::int16_t>(button_cx), 14});
        x += button_cx + gap;
    }
    platform::resources::Dialog tmpl{};
    tmpl.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
    tmpl.cx = static_cast<std::int16_t>(cx);
    tmpl.cy = static_cast<std::int16_t>(cy);
    tmpl.caption = caption;
    tmpl.controls = controls;

    HWND owner = nullptr;
    if (auto window = find_window_quiet(hWnd))
        owner = top_level_of(window)->handle;
    // Centred over the owner, or on the screen.
    RECT area = platform::display::backend().screen_area();
    if (owner)
        GetWindowRect(owner, &area);
    int width = cx * 2 + 6, height = cy * 2 + 24;
    tmpl.style |= DS_ABSALIGN;
    tmpl.x = static_cast<std::int16_t>(std::max<int>(0, (area.left + area.right - width) / 2) / 2);
    tmpl.y = static_cast<std::int16_t>(std::max<int>(0, (area.top + area.bottom - height) / 2) / 2);

    HWND dialog = create_dialog(nullptr, tmpl, owner, message_box_proc, reinterpret_cast<LPARAM>(&box), true);
    if (!dialog)
        return 0;
    return static_cast<int>(run_modal(dialog, owner));
}
