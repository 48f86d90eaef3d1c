// Reaching a dialog's controls by id: text, numbers and check marks.
#include "dialog.h"
#include "window_manager.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace platform::user;

namespace {

// The number a text holds, as GetDlgItemInt reads it: blanks, an optional minus sign (signed only),
// digits, and nothing after them but blanks.
bool parse_number(const std::string &text, bool is_signed, long long &value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (is_signed && i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    std::size_t digits = i;
    long long number = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        number = number * 10 + (text[i] - '0');
        if (number > 0xFFFFFFFFLL)
            return false;
        ++i;
    }
    if (i == digits)
        return false;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i != text.size())
        return false;
    value = negative ? -number : number;
    if (is_signed && (value > INT_MAX || value < INT_MIN))
        return false;
    return true;
}

}  // namespace

extern "C" HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    auto dialog = find_window(hDlg);
    if (!dialog)
        return nullptr;
    for (HWND child : dialog->children)
        if (auto item = find_window_quiet(child); item && static_cast<int>(item->id) == nIDDlgItem)
            return child;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

extern "C" int WINAPI GetDlgCtrlID(HWND hWnd) {
    auto window = find_window(hWnd);
    return window && window->is_child() ? static_cast<int>(window->id) : 0;
}

extern "C" BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? SetWindowTextA(item, lpString ? lpString : "") : FALSE;
}

extern "C" UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    if (lpString && cchMax > 0)
        lpString[0] = 0;
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    if (!item || !lpString || cchMax <= 0)
        return 0;
    return static_cast<UINT>(GetWindowTextA(item, lpString, cchMax));
}

extern "C" BOOL WINAPI SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned) {
    char text[16];
    if (bSigned)
        std::snprintf(text, sizeof text, "%d", static_cast<int>(uValue));
    else
        std::snprintf(text, sizeof text, "%u", uValue);
    return SetDlgItemTextA(hDlg, nIDDlgItem, text);
}

extern "C" UINT WINAPI GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL *lpTranslated, BOOL bSigned) {
    if (lpTranslated)
        *lpTranslated = FALSE;
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    if (!item)
        return 0;
    char buffer[64];
    GetWindowTextA(item, buffer, sizeof buffer);
    long long value = 0;
    if (!parse_number(buffer, bSigned != 0, value))
        return 0;
    if (lpTranslated)
        *lpTranslated = TRUE;
    return static_cast<UINT>(value);
}

extern "C" LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? SendMessageA(item, Msg, wParam, lParam) : 0;
}

extern "C" BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    HWND item = GetDlgItem(hDlg, nIDButton);
    if (!item)
        return FALSE;
    SendMessageA(item, BM_SETCHECK, uCheck, 0);
    return TRUE;
}

extern "C" UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton) {
    HWND item = GetDlgItem(hDlg, nIDButton);
    return item ? static_cast<UINT>(SendMessageA(item, BM_GETCHECK, 0, 0)) : 0;
}

extern "C" LONG WINAPI GetDialogBaseUnits(void) {
    return MAKELONG(8, 16);
}

extern "C" BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
    auto dialog = find_window(hDlg);
    if (!dialog || !dialog->dialog || !lpRect)
        return FALSE;
    int bx = dialog->dialog->base_x, by = dialog->dialog->base_y;
    lpRect->left = lpRect->left * bx / 4;
    lpRect->right = lpRect->right * bx / 4;
    lpRect->top = lpRect->top * by / 8;
    lpRect->bottom = lpRect->bottom * by / 8;
    return TRUE;
}
