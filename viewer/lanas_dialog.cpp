// The "LANAS" dialog: asks which LANA to configure, proposes the lowest present one, and opens the
// configuration dialog for a valid choice.
#include <windows.h>

#include "lana_slots.h"
#include "resource.h"
#include "tarvoke_ui.h"

WORD nSelectedLana;

static int LowestPresentLana(void) {
    int i;

    for (i = 0; i < MAX_LANA_SLOTS; i++) {
        if (LanaSlots[i].nState >= LANA_PRESENT)
            return i;
    }
    return -1;
}

static BOOL LanasInitDialog(HWND hDlg) {
    int nLana = LowestPresentLana();

    if (nLana < 0) {
        MessageBoxA(hwndMain, "No active LANA's are available", "LANA to Configure", MB_OK);
        EndDialog(hDlg, 1);
        return TRUE;
    }
    SetDlgItemInt(hDlg, IDC_LANAS_NUMBER, (UINT)nLana, TRUE);
    return TRUE;
}

static void LanasOk(HWND hDlg) {
    nSelectedLana = (WORD)GetDlgItemInt(hDlg, IDC_LANAS_NUMBER, NULL, TRUE);
    if (nSelectedLana >= MAX_LANA_SLOTS || LanaSlots[nSelectedLana].nState == LANA_UNUSABLE) {
        MessageBoxA(hwndMain, "LANA selected is not valid\nPlease try again.", "LANA to Configure", MB_OK);
        SetFocus(GetDlgItem(hDlg, IDC_LANAS_NUMBER));
        return;
    }
    // The configuration dialog is owned by the main window, so this dialog would stay usable beneath it; a
    // second OK here would change nSelectedLana under the open configuration. It takes no input meanwhile.
    EnableWindow(hDlg, FALSE);
    OpenModalDialog("CONFIGURE", ConfigureDlgProc, hwndMain, hInst);
    EnableWindow(hDlg, TRUE);
    EndDialog(hDlg, 1);
}

INT_PTR CALLBACK LanasDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (uMsg) {
        case WM_INITDIALOG:
            return LanasInitDialog(hDlg);

        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_LANAS_OK:
                    LanasOk(hDlg);
                    return TRUE;
                case IDC_LANAS_CANCEL:
                    EndDialog(hDlg, 0);
                    return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}
