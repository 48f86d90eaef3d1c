// The dialog manager's keyboard: Tab and the arrows between controls, Enter and Escape, mnemonics, and the
// default push button's frame, which follows the focus between push buttons.
#include "dialog.h"
#include "window_manager.h"

#include <cctype>

namespace platform::user {
namespace {

bool can_take_focus(const WindowPtr &control) {
    return (control->style & WS_VISIBLE) && is_enabled(*control);
}

LRESULT dialog_code(HWND control, const MSG *msg = nullptr) {
    return SendMessageA(control, WM_GETDLGCODE, msg ? msg->wParam : 0, reinterpret_cast<LPARAM>(msg));
}

bool is_push_button(HWND control) {
    return (dialog_code(control) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

void set_button_type(HWND button, DWORD type) {
    DWORD style = static_cast<DWORD>(GetWindowLongA(button, GWL_STYLE));
    SendMessageA(button, BM_SETSTYLE, (style & 0xFFFF & ~BS_TYPEMASK) | type, TRUE);
}

// The push button that shows the bold frame: `framed`, or none. Every other push button shows none.
void frame_only(HWND dialog, HWND framed) {
    auto window = find_window_quiet(dialog);
    if (!window)
        return;
    for (HWND child : window->children) {
        LRESULT code = dialog_code(child);
        if (child != framed && (code & DLGC_DEFPUSHBUTTON))
            set_button_type(child, BS_PUSHBUTTON);
    }
    if (framed && (dialog_code(framed) & DLGC_UNDEFPUSHBUTTON))
        set_button_type(framed, BS_DEFPUSHBUTTON);
}

HWND default_button(HWND dialog) {
    LRESULT defid = SendMessageA(dialog, DM_GETDEFID, 0, 0);
    if (HIWORD(defid) != DC_HASDEFID)
        return nullptr;
    auto window = find_window_quiet(dialog);
    for (HWND child : window ? window->children : std::vector<HWND>{})
        if (GetDlgCtrlID(child) == LOWORD(defid))
            return child;
    return nullptr;
}

// The first '&' letter of a control's text, lower case; 0 when it has none ("&&" is an ampersand).
char mnemonic_of(const std::string &text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] != '&')
            return static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 1])));
        ++i;
    }
    return 0;
}

// The control whose mnemonic is `letter`, searched from the one after `from` round to `from` itself.
HWND control_with_mnemonic(HWND dialog, HWND from, char letter) {
    auto window = find_window_quiet(dialog);
    if (!window || window->children.empty())
        return nullptr;
    const auto &items = window->children;
    int count = static_cast<int>(items.size()), start = -1;
    for (int i = 0; i < count; ++i)
        if (items[i] == from)
            start = i;
    for (int step = 1; step <= count; ++step) {
        auto item = find_window_quiet(items[(start + step + count) % count]);
        if (!item || !can_take_focus(item))
            continue;
        bool label = (dialog_code(item->handle) & DLGC_STATIC) != 0;
        if (label && (item->style & (SS_NOPREFIX | SS_TYPEMASK)) > SS_RIGHT)
            continue;  // an icon, a frame, or text shown without mnemonics
        if (mnemonic_of(item->text) == letter)
            return item->handle;
    }
    return nullptr;
}

// What a mnemonic does: a button is pressed, a label sends the focus to the control after it, any other
// control takes the focus. False when no control has that mnemonic.
bool press_mnemonic(HWND dialog, HWND from, WPARAM character) {
    char letter = static_cast<char>(std::tolower(static_cast<int>(character & 0xFF)));
    HWND control = letter ? control_with_mnemonic(dialog, from, letter) : nullptr;
    if (!control)
        return false;
    LRESULT code = dialog_code(control);
    if (code & DLGC_STATIC) {
        HWND next = GetNextDlgTabItem(dialog, control, FALSE);
        if (next && next != control)
            move_dialog_focus(dialog, next);
    } else if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) {
        SendMessageA(control, BM_CLICK, 0, 0);
    } else if (code & DLGC_BUTTON) {
        move_dialog_focus(dialog, control);
        SendMessageA(control, BM_CLICK, 0, 0);
    } else {
        move_dialog_focus(dialog, control);
    }
    return true;
}

// The next or previous control of the focus's group: the run of controls that starts with a WS_GROUP one.
HWND next_in_group(HWND dialog, HWND control, bool previous) {
    auto window = find_window_quiet(dialog);
    if (!window)
        return nullptr;
    const auto &items = window->children;
    int count = static_cast<int>(items.size()), at = -1;
    for (int i = 0; i < count; ++i)
        if (items[i] == control)
            at = i;
    if (at < 0)
        return nullptr;
    auto starts_group = [&](int i) {
        auto item = find_window_quiet(items[i]);
        return i == 0 || (item && (item->style & WS_GROUP));
    };
    int first = at, last = at;
    while (!starts_group(first))
        --first;
    while (last + 1 < count && !starts_group(last + 1))
        ++last;
    int size = last - first + 1;
    for (int step = 1; step < size; ++step) {
        int offset = ((at - first + (previous ? -step : step)) % size + size) % size;
        auto item = find_window_quiet(items[first + offset]);
        if (item && can_take_focus(item) && !(dialog_code(item->handle) & DLGC_STATIC))
            return item->handle;
    }
    return nullptr;
}

void press_default(HWND dialog) {
    HWND focus = GetFocus();
    if (focus && is_descendant(focus, dialog) && (dialog_code(focus) & DLGC_DEFPUSHBUTTON)) {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED), reinterpret_cast<LPARAM>(focus));
        return;
    }
    LRESULT defid = SendMessageA(dialog, DM_GETDEFID, 0, 0);
    int id = HIWORD(defid) == DC_HASDEFID ? LOWORD(defid) : IDOK;
    HWND button = GetDlgItem(dialog, id);
    // A disabled default button is not pressed; Enter then does nothing.
    if (button ? IsWindowEnabled(button) : id == IDOK)
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

bool handle_key_down(HWND dialog, MSG *msg, LRESULT code) {
    if (code & DLGC_WANTMESSAGE)
        return false;
    switch (msg->wParam) {
        case VK_TAB:
            if (code & DLGC_WANTTAB)
                return false;
            if (HWND next = GetNextDlgTabItem(dialog, GetFocus(), GetKeyState(VK_SHIFT) < 0))
                move_dialog_focus(dialog, next);
            return true;
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
            if (code & DLGC_WANTARROWS)
                return false;
            if (HWND next = next_in_group(dialog, msg->hwnd, msg->wParam == VK_LEFT || msg->wParam == VK_UP))
                move_dialog_focus(dialog, next);
            return true;
        case VK_RETURN:
            press_default(dialog);
            return true;
        case VK_ESCAPE:
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
            return true;
        default:
            return false;
    }
}

}  // namespace

void show_default_frame(HWND dialog, HWND focus) {
    if (focus && is_descendant(focus, dialog) && focus != dialog && is_push_button(focus))
        frame_only(dialog, focus);
    else
        frame_only(dialog, default_button(dialog));
}

void move_dialog_focus(HWND dialog, HWND control) {
    show_default_frame(dialog, control);
    if (dialog_code(control) & DLGC_HASSETSEL)
        SendMessageA(control, EM_SETSEL, 0, -1);
    SetFocus(control);
}

}  // namespace platform::user

using namespace platform::user;

extern "C" BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
    if (!lpMsg || !hDlg || !lpMsg->hwnd || !is_descendant(lpMsg->hwnd, hDlg))
        return FALSE;
    switch (lpMsg->message) {
        case WM_KEYDOWN:
            if (handle_key_down(hDlg, lpMsg, dialog_code(lpMsg->hwnd, lpMsg)))
                return TRUE;
            break;
        case WM_CHAR: {
            // A control that takes characters gets them; elsewhere a letter is a mnemonic without Alt.
            LRESULT code = dialog_code(lpMsg->hwnd, lpMsg);
            if (!(code & (DLGC_WANTCHARS | DLGC_WANTMESSAGE)) && press_mnemonic(hDlg, lpMsg->hwnd, lpMsg->wParam))
                return TRUE;
            break;
        }
        case WM_SYSCHAR:
            if (press_mnemonic(hDlg, lpMsg->hwnd, lpMsg->wParam))
                return TRUE;
            break;
        default:
            break;
    }
    TranslateMessage(lpMsg);
    DispatchMessageA(lpMsg);
    return TRUE;
}

extern "C" HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
    auto dialog = find_window(hDlg);
    if (!dialog)
        return nullptr;
    const auto &items = dialog->children;
    if (items.empty())
        return nullptr;
    int count = static_cast<int>(items.size());
    int start = -1;
    for (int i = 0; i < count; ++i)
        if (items[i] == hCtl)
            start = i;
    for (int step = 1; step <= count; ++step) {
        int index = start < 0 ? (bPrevious ? count - step : step - 1)
                              : ((start + (bPrevious ? -step : step)) % count + count) % count;
        auto item = find_window_quiet(items[index]);
        if (item && (item->style & WS_TABSTOP) && can_take_focus(item))
            return item->handle;
    }
    return hCtl;
}
