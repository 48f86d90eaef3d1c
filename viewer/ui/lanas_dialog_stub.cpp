// STUB, to be replaced by the LANA selection and configuration dialogs: only lets "&Configure LANA" open the
// "LANAS" dialog and close it again with Cancel. Nothing is selected or configured yet.
#include <windows.h>

#include "resource.h"
#include "tarvoke_ui.h"

INT_PTR CALLBACK LanasDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (uMsg) {
        case WM_INITDIALOG:
            return TRUE;

        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_LANAS_CANCEL) {
                EndDialog(hDlg, 0);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}
