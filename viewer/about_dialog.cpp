// The About dialog: closed by its OK button (also by Enter, which sends the default button's id).
#include <windows.h>

#include "resource.h"
#include "tarvoke_ui.h"

INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (uMsg) {
        case WM_INITDIALOG:
            return TRUE;  // the focus goes to the first tab stop, the OK button

        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_ABOUT_OK) {
                EndDialog(hDlg, 1);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}
