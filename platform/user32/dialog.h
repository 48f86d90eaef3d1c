// The dialog manager: dialogs made from resource templates, their default procedure and dialog keys.
#pragma once

#include "rc/resource_tables.h"
#include "window.h"

namespace platform::user {

struct DialogState {
    DLGPROC proc = nullptr;
    LRESULT msg_result = 0;  // DWLP_MSGRESULT
    LONG_PTR user = 0;       // DWLP_USER
    bool ended = false;
    INT_PTR result = 0;
    bool modal = false;
    HWND saved_focus = nullptr;
    int default_id = 0;           // DM_SETDEFID; 0: the template's default push button, else IDOK
    int base_x = 8, base_y = 16;  // dialog base units of the dialog's font
};

// Creates a dialog from a template; null when the template or a control cannot be made.
HWND create_dialog(HINSTANCE instance, const resources::Dialog &tmpl, HWND owner, DLGPROC proc, LPARAM param,
                   bool modal);
// Moves the focus to a control as the dialog manager does (Tab, mnemonics, WM_NEXTDLGCTL): an edit control's
// text is selected, and the default push button's frame follows the focus.
void move_dialog_focus(HWND dialog, HWND control);
// Gives the bold default frame to the push button with the focus, or else to the default button.
void show_default_frame(HWND dialog, HWND focus);
// Runs a modal loop for a dialog made by create_dialog until EndDialog, then destroys it.
INT_PTR run_modal(HWND dialog, HWND owner);

// True when hwnd is ancestor or lies within it through child windows.
bool is_descendant(HWND hwnd, HWND ancestor);

}  // namespace platform::user
