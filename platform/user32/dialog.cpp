// Dialogs from templates: creation, the default dialog procedure, modal loops and dialog keys.
#include "dialog.h"

#include "gdi32/gdi_objects.h"
#include "thread_state.h"
#include "window_class.h"
#include "window_manager.h"

#include <cmath>

namespace platform::user {
namespace {

constexpr const char *dialog_class_name = "#32770";

std::shared_ptr<DialogState> dialog_of(HWND hwnd) {
    auto window = find_window_quiet(hwnd);
    return window ? window->dialog : nullptr;
}

HWND first_tab_item(HWND dialog) {
    return GetNextDlgTabItem(dialog, nullptr, FALSE);
}

// Focus for a dialog: at once when it is the active window, otherwise when it becomes active.
void give_focus(HWND dialog, HWND control) {
    auto state = dialog_of(dialog);
    if (!state)
        return;
    if (thread_state().active == dialog)
        SetFocus(control);
    else
        state->saved_focus = control;
}

void restore_focus(HWND dialog) {
    auto state = dialog_of(dialog);
    HWND focus = state ? state->saved_focus : nullptr;
    if (!focus || !IsWindow(focus) || !is_descendant(focus, dialog))
        focus = first_tab_item(dialog);
    if (focus)
        SetFocus(focus);
    else
        SetFocus(dialog);
}

LRESULT CALLBACK default_dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefDlgProcA(hwnd, message, wparam, lparam);
}

// An edit control with a border gets the sunken client edge instead, as the dialog manager gives every
// dialog of a program of the NT 4 era its 3D look.
bool edit_gets_client_edge(const std::string &class_name, DWORD style) {
    return (style & WS_BORDER) && class_name.size() == 4 && (class_name[0] | 0x20) == 'e' &&
           (class_name[1] | 0x20) == 'd' && (class_name[2] | 0x20) == 'i' && (class_name[3] | 0x20) == 't';
}

int scale(int units, int base, int divisor) {
    return static_cast<int>(std::lround(units * base / static_cast<double>(divisor)));
}

}  // namespace

// True when hwnd is ancestor or lies within it through child windows.
bool is_descendant(HWND hwnd, HWND ancestor) {
    for (auto window = find_window_quiet(hwnd); window;
         window = window->is_child() ? find_window_quiet(window->parent) : nullptr)
        if (window->handle == ancestor)
            return true;
    return false;
}

void register_dialog_class() {
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS | CS_SAVEBITS;
    wc.lpfnWndProc = default_dialog_proc;
    wc.lpszClassName = dialog_class_name;
    register_system_class(wc);
}

HWND create_dialog(HINSTANCE instance, const resources::Dialog &tmpl, HWND owner, DLGPROC proc, LPARAM param,
                   bool modal) {
    auto state = std::make_shared<DialogState>();
    state->modal = modal;
    if (!tmpl.font_face.empty() && tmpl.font_point_size > 0) {
        // The base units of a template font: its line height and average width at screen resolution.
        state->base_y = static_cast<int>(std::lround(tmpl.font_point_size * 13 / 8.0));
        state->base_x = static_cast<int>(std::lround(tmpl.font_point_size * 6 / 8.0));
    }
    DWORD style = tmpl.style;
    DWORD ex_style = tmpl.ex_style;
    if (style & DS_MODALFRAME)
        ex_style |= WS_EX_DLGMODALFRAME;
    Window probe;
    probe.style = style & ~WS_CHILD;
    probe.ex_style = ex_style;
    Frame frame = frame_of(probe);
    int client_width = scale(tmpl.cx, state->base_x, 4), client_height = scale(tmpl.cy, state->base_y, 8);
    int width = client_width + 2 * frame.border + frame.vscroll;
    int height = client_height + 2 * frame.border + frame.caption;
    POINT origin{0, 0};
    if (auto owner_window = find_window_quiet(owner); owner_window && !(style & DS_ABSALIGN))
        origin = client_origin_on_screen(owner_window);
    int x = origin.x + scale(tmpl.x, state->base_x, 4), y = origin.y + scale(tmpl.y, state->base_y, 8);
    if (style & DS_CENTER) {
        RECT screen = display::backend().screen_area();
        x = (screen.right - width) / 2;
        y = (screen.bottom - height) / 2;
    }
    std::string class_name = tmpl.class_name.empty() ? dialog_class_name : std::string(tmpl.class_name);
    std::string caption(tmpl.caption);
    HWND hwnd = CreateWindowExA(ex_style, class_name.c_str(), caption.c_str(), style & ~WS_VISIBLE, x, y, width, height,
                                owner, nullptr, instance, reinterpret_cast<LPVOID>(param));
    if (!hwnd)
        return nullptr;
    auto window = find_window_quiet(hwnd);
    window->dialog = state;
    state->proc = proc;

    for (const auto &control : tmpl.controls) {
        std::string control_class(control.class_name), text(control.text);
        DWORD control_style = control.style | WS_CHILD;
        DWORD control_ex_style = control.ex_style;
        if (edit_gets_client_edge(control_class, control_style)) {
            control_style &= ~WS_BORDER;
            control_ex_style |= WS_EX_CLIENTEDGE;
        }
        HWND item = CreateWindowExA(control_ex_style, control_class.c_str(), text.c_str(), control_style,
                                    scale(control.x, state->base_x, 4), scale(control.y, state->base_y, 8),
                                    scale(control.cx, state->base_x, 4), scale(control.cy, state->base_y, 8), hwnd,
                                    reinterpret_cast<HMENU>(static_cast<LONG_PTR>(control.id)), instance, nullptr);
        if (!item && !(style & DS_NOFAILCREATE)) {
            DestroyWindow(hwnd);
            return nullptr;
        }
        auto upper = control_class;
        for (auto &c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper == "BUTTON" && (control.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON && !state->default_id)
            state->default_id = control.id;
    }

    HWND focus = first_tab_item(hwnd);
    if (SendMessageA(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param) && IsWindow(hwnd)) {
        // TRUE asks for the default focus: the first tab stop, as it is after WM_INITDIALOG.
        focus = first_tab_item(hwnd);
        if (focus) {
            if (SendMessageA(focus, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
                SendMessageA(focus, EM_SETSEL, 0, -1);
            give_focus(hwnd, focus);
        }
    }
    if (IsWindow(hwnd) && (style & WS_VISIBLE) && !state->ended) {
        ShowWindow(hwnd, SW_SHOWNORMAL);
        UpdateWindow(hwnd);
    }
    return IsWindow(hwnd) ? hwnd : nullptr;
}

INT_PTR run_modal(HWND dialog, HWND owner) {
    auto state = dialog_of(dialog);
    // EnableWindow says whether the owner was disabled already; the owner may belong to another thread.
    bool disabled_owner = owner && !EnableWindow(owner, FALSE);
    if (!state->ended && !IsWindowVisible(dialog)) {
        ShowWindow(dialog, SW_SHOWNORMAL);
        UpdateWindow(dialog);
    }
    while (!state->ended && IsWindow(dialog)) {
        MSG msg;
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0)
                PostQuitMessage(static_cast<int>(msg.wParam));  // the outer loop must see it too
            break;
        }
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    // The owner comes back before the dialog goes, so that activation returns to it.
    if (disabled_owner)
        EnableWindow(owner, TRUE);
    INT_PTR result = state->result;
    if (IsWindow(dialog))
        DestroyWindow(dialog);
    return result;
}

}  // namespace platform::user

using namespace platform::user;

extern "C" LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto window = find_window(hDlg);
    if (!window)
        return 0;
    if (!window->dialog && window->window_class && window->window_class->name == dialog_class_name)
        window->dialog = std::make_shared<DialogState>();  // a dialog made by CreateWindowEx rather than a template
    auto state = window->dialog;
    if (state && state->proc) {
        state->msg_result = 0;
        INT_PTR handled = state->proc(hDlg, Msg, wParam, lParam);
        if (!IsWindow(hDlg))
            return handled;
        if (handled) {
            switch (Msg) {
                case WM_INITDIALOG:
                case WM_CTLCOLORMSGBOX:
                case WM_CTLCOLOREDIT:
                case WM_CTLCOLORLISTBOX:
                case WM_CTLCOLORBTN:
                case WM_CTLCOLORDLG:
                case WM_CTLCOLORSCROLLBAR:
                case WM_CTLCOLORSTATIC:
                    return handled;
                default:
                    return state->msg_result;
            }
        }
    }
    switch (Msg) {
        case WM_ERASEBKGND: {
            RECT client;
            GetClientRect(hDlg, &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
            return 1;
        }
        case WM_CLOSE: {
            HWND cancel = GetDlgItem(hDlg, IDCANCEL);
            if (!cancel || IsWindowEnabled(cancel))
                PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
            return 0;
        }
        case WM_ACTIVATE:
            if (!state)
                break;
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && is_descendant(focus, hDlg) && focus != hDlg)
                    state->saved_focus = focus;
            } else {
                restore_focus(hDlg);
            }
            return 0;
        case WM_SETFOCUS:
            if (state)
                restore_focus(hDlg);
            return 0;
        case DM_GETDEFID:
            if (state) {
                int id = state->default_id;
                return id ? MAKELRESULT(id, DC_HASDEFID) : 0;
            }
            return 0;
        case DM_SETDEFID:
            if (state) {
                state->default_id = static_cast<int>(wParam);
                show_default_frame(hDlg, GetFocus());  // a push button with the focus keeps the frame
            }
            return TRUE;
        case WM_NEXTDLGCTL: {
            HWND target = lParam ? reinterpret_cast<HWND>(wParam) : GetNextDlgTabItem(hDlg, GetFocus(), wParam != 0);
            if (target)
                move_dialog_focus(hDlg, target);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcA(hDlg, Msg, wParam, lParam);
}

namespace {

// The dialog template a program names, or null with ERROR_RESOURCE_NAME_NOT_FOUND.
const platform::resources::Dialog *dialog_template(LPCSTR lpTemplateName) {
    const auto *tmpl = lpTemplateName
                           ? platform::resources::find_dialog(platform::resources::resource_id_from(lpTemplateName))
                           : nullptr;
    if (!tmpl)
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return tmpl;
}

// A dialog is owned by the top-level window of the parent it is given.
HWND dialog_owner(HWND hWndParent) {
    auto parent = find_window_quiet(hWndParent);
    return parent ? top_level_of(parent)->handle : nullptr;
}

}  // namespace

extern "C" HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    const auto *tmpl = dialog_template(lpTemplateName);
    if (!tmpl)
        return nullptr;
    return create_dialog(hInstance, *tmpl, dialog_owner(hWndParent), lpDialogFunc, dwInitParam, false);
}

extern "C" INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    const auto *tmpl = dialog_template(lpTemplateName);
    if (!tmpl)
        return -1;
    HWND owner = dialog_owner(hWndParent);
    HWND dialog = create_dialog(hInstance, *tmpl, owner, lpDialogFunc, dwInitParam, true);
    if (!dialog)
        return -1;
    return run_modal(dialog, owner);
}

extern "C" BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    auto window = find_window(hDlg);
    if (!window || !window->dialog)
        return FALSE;
    auto state = window->dialog;
    state->ended = true;
    state->result = nResult;
    if (state->modal && window->owner)
        EnableWindow(window->owner, TRUE);
    if (window->style & WS_VISIBLE)
        ShowWindow(hDlg, SW_HIDE);
    PostMessageA(hDlg, WM_NULL, 0, 0);  // wakes the modal loop
    return TRUE;
}
