// The "CONFIGURE" dialog of the LANA in nSelectedLana: remote node name, refresh period with spin arrows,
// the four report sections and the Active switch, kept in a working copy until OK commits them to the live
// slot under its mutex.
#include <windows.h>

#include <cstring>

#include "lana_slots.h"
#include "lana_worker.h"
#include "resource.h"
#include "tarvoke_ui.h"

#define CCH_NODE_NAME 15  // a NetBIOS name: 15 characters, blank-padded

void SetCheckBox(HWND hDlg, WORD wId, WORD wValue) {
    HWND hwndCheck = GetDlgItem(hDlg, wId);

    if (hwndCheck != NULL)
        SendMessageA(hwndCheck, BM_SETCHECK, (WPARAM)wValue, 0);
}

static BOOL ConfigureInitDialog(HWND hDlg, WORD nLana) {
    LANASLOT *lpLive = &LanaSlots[nLana];
    LANASLOT *lpWork = &ConfigSlots[nLana];
    char szCaption[16];

    wsprintfA(szCaption, "LANA %02d", (int)nLana);
    SetWindowTextA(hDlg, szCaption);
    memcpy(lpWork->szRemoteName, lpLive->szRemoteName, CB_REMOTE_NAME);
    lpWork->szRemoteName[CB_REMOTE_NAME - 1] = '\0';
    SetDlgItemTextA(hDlg, IDC_CONFIG_NAME, lpWork->szRemoteName);
    lpWork->nFrequency = GetSlotFrequency(nLana);
    SetDlgItemInt(hDlg, IDC_CONFIG_FREQUENCY, (UINT)(INT)lpWork->nFrequency, TRUE);
    lpWork->fErrors = lpLive->fErrors;
    lpWork->fNameTable = lpLive->fNameTable;
    lpWork->fCapacity = lpLive->fCapacity;
    lpWork->fSessions = lpLive->fSessions;
    lpWork->nState = lpLive->nState;
    SetCheckBox(hDlg, IDC_CONFIG_ERRORS, (WORD)lpWork->fErrors);
    SetCheckBox(hDlg, IDC_CONFIG_NAMETABLE, (WORD)lpWork->fNameTable);
    SetCheckBox(hDlg, IDC_CONFIG_CAPACITY, (WORD)lpWork->fCapacity);
    SetCheckBox(hDlg, IDC_CONFIG_SESSIONS, (WORD)lpWork->fSessions);
    SetCheckBox(hDlg, IDC_CONFIG_ACTIVE, (WORD)lpWork->nState);
    return TRUE;
}

// The spin arrows step the frequency in 16-bit arithmetic, and any negative result means "on request only".
static BOOL ConfigureSpin(HWND hDlg, WORD nLana, WORD wCode) {
    LANASLOT *lpWork = &ConfigSlots[nLana];
    SHORT nFrequency = (SHORT)GetDlgItemInt(hDlg, IDC_CONFIG_FREQUENCY, NULL, TRUE);

    if (wCode == SB_LINEUP)
        nFrequency = (SHORT)(WORD)((WORD)nFrequency + 1);
    else if (wCode == SB_LINEDOWN)
        nFrequency = (SHORT)(WORD)((WORD)nFrequency - 1);
    if (nFrequency < 0)
        nFrequency = -1;
    lpWork->nFrequency = nFrequency;
    SetDlgItemInt(hDlg, IDC_CONFIG_FREQUENCY, (UINT)(INT)nFrequency, TRUE);
    return TRUE;
}

static void FlipFlag(HWND hDlg, WORD wId, SHORT *lpfFlag) {
    *lpfFlag = *lpfFlag != 0 ? 0 : 1;
    SetCheckBox(hDlg, wId, (WORD)*lpfFlag);
}

// The name as a NetBIOS name: empty means the local adapter "*"; blank-padded or cut to 15 characters;
// letters a to z upper-cased, every other byte kept.
static void NormalizeNodeName(LPSTR lpszName, int cchRead) {
    int i;

    if (cchRead <= 0) {
        lpszName[0] = '*';
        cchRead = 1;
    }
    for (i = cchRead; i < CCH_NODE_NAME; i++)
        lpszName[i] = ' ';
    lpszName[CCH_NODE_NAME] = '\0';
    for (i = 0; i < CCH_NODE_NAME; i++) {
        if (lpszName[i] >= 'a' && lpszName[i] <= 'z')
            lpszName[i] = (char)(lpszName[i] - 'a' + 'A');
    }
}

static void ConfigureCommit(HWND hDlg, WORD nLana) {
    LANASLOT *lpLive = &LanaSlots[nLana];
    LANASLOT *lpWork = &ConfigSlots[nLana];
    int cchRead;

    if (lpLive->hMutex != NULL)
        WaitForSingleObject(lpLive->hMutex, INFINITE);
    cchRead = GetDlgItemTextA(hDlg, IDC_CONFIG_NAME, lpLive->szRemoteName, CB_REMOTE_NAME);
    NormalizeNodeName(lpLive->szRemoteName, cchRead);
    SetSlotFrequency(nLana, (SHORT)GetDlgItemInt(hDlg, IDC_CONFIG_FREQUENCY, NULL, TRUE));
    SetSlotHold(nLana, 0);
    lpLive->fErrors = lpWork->fErrors;
    lpLive->fNameTable = lpWork->fNameTable;
    lpLive->fCapacity = lpWork->fCapacity;
    lpLive->fSessions = lpWork->fSessions;
    lpLive->nState = lpWork->nState;
    if (lpLive->hMutex != NULL)
        ReleaseMutex(lpLive->hMutex);

    // A running worker starts a new cycle with the new settings at once, even from a held display.
    if (GetSlotDisplayWindow(nLana) != NULL && lpLive->nState == LANA_WATCHED) {
        SetSlotHold(nLana, 0);
        SetEvent(lpLive->hWakeEvent);
    }
    ApplyLanaState(nLana);
    EndDialog(hDlg, 1);
}

static BOOL ConfigureCommand(HWND hDlg, WORD nLana, WORD wId) {
    LANASLOT *lpWork = &ConfigSlots[nLana];

    switch (wId) {
        case IDC_CONFIG_OK:
            ConfigureCommit(hDlg, nLana);
            return TRUE;
        case IDC_CONFIG_CANCEL:
            EndDialog(hDlg, 0);
            return TRUE;
        case IDC_CONFIG_ERRORS:
            FlipFlag(hDlg, wId, &lpWork->fErrors);
            return TRUE;
        case IDC_CONFIG_NAMETABLE:
            FlipFlag(hDlg, wId, &lpWork->fNameTable);
            return TRUE;
        case IDC_CONFIG_CAPACITY:
            FlipFlag(hDlg, wId, &lpWork->fCapacity);
            return TRUE;
        case IDC_CONFIG_SESSIONS:
            FlipFlag(hDlg, wId, &lpWork->fSessions);
            return TRUE;
        case IDC_CONFIG_ACTIVE:
            FlipFlag(hDlg, wId, &lpWork->nState);
            return TRUE;
    }
    return FALSE;  // the edits' notifications, and Enter and Escape (1 and 2), are left alone
}

INT_PTR CALLBACK ConfigureDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    WORD nLana = nSelectedLana;

    (void)lParam;
    if (nLana >= MAX_LANA_SLOTS)
        return FALSE;
    switch (uMsg) {
        case WM_INITDIALOG:
            return ConfigureInitDialog(hDlg, nLana);
        case WM_VSCROLL:
            return ConfigureSpin(hDlg, nLana, LOWORD(wParam));
        case WM_COMMAND:
            return ConfigureCommand(hDlg, nLana, LOWORD(wParam));
    }
    return FALSE;
}
