// Activation and deactivation of a LANA slot, on the main thread. Activation creates the display window,
// the slot's synchronization objects, command and reply blocks and report buffer, and starts the worker
// last; deactivation closes the display, waits for the worker to end, and then releases all of it here.
// Releasing on the main thread, after the worker has ended, means that neither a display message in
// progress nor a new activation can ever meet objects that are being freed.
#include "lana_worker.h"

#include "display_guard.h"
#include "lana_slots.h"
#include "netbios_commands.h"
#include "report_buffer.h"
#include "resource.h"
#include "tarvoke_ui.h"

#define WORKER_STACK_SIZE 4000

// Waits for the slot's worker to end. The worker may be sending its last refresh to a display window of
// this thread meanwhile, so sent messages are handled while waiting; a plain wait would stop both threads.
static void WaitForWorker(LANASLOT *lpSlot) {
    MSG msg;

    if (lpSlot->hThread == NULL)
        return;
    while (MsgWaitForMultipleObjects(1, &lpSlot->hThread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1)
        PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
    CloseHandle(lpSlot->hThread);
    lpSlot->hThread = NULL;
}

static void CloseSlotHandle(HANDLE *lphObject) {
    if (*lphObject != NULL)
        CloseHandle(*lphObject);
    *lphObject = NULL;
}

static void FreeSlotBlock(HGLOBAL *lphmem) {
    if (*lphmem != NULL)
        GlobalFree(*lphmem);
    *lphmem = NULL;
}

// Releases whatever the slot holds and destroys its display window; the worker, if there was one, has
// ended. Fields that were never created are 0 and are skipped.
static void ReleaseSlot(WORD lana) {
    LANASLOT *lpSlot = &LanaSlots[lana];
    HWND hwndDisplay = GetSlotDisplayWindow(lana);

    LockDisplayedReports();
    SetSlotDisplayWindow(lana, NULL);
    SetSlotDisplayProc(lana, NULL);
    FreeSlotBlock(&lpSlot->hmemLana);
    UnlockDisplayedReports();

    CloseSlotHandle(&lpSlot->hMutex);
    CloseSlotHandle(&lpSlot->hWakeEvent);
    CloseSlotHandle(&lpSlot->hAstatDone);
    CloseSlotHandle(&lpSlot->hSstatDone);
    FreeSlotBlock(&lpSlot->hmemAstatNcb);
    FreeSlotBlock(&lpSlot->hmemAstatBuf);
    FreeSlotBlock(&lpSlot->hmemSstatNcb);
    FreeSlotBlock(&lpSlot->hmemSstatBuf);
    if (hwndDisplay != NULL)
        DestroyWindow(hwndDisplay);
}

static BOOL CreateDisplayWindow(WORD lana) {
    HWND hwndDisplay;
    char szTitle[16];

    SetSlotDisplayProc(lana, DisplayDlgProc);
    hwndDisplay = CreateDialogParamA(hInst, "DISPLAY", hwndMain, DisplayDlgProc, 0);
    if (hwndDisplay == NULL)
        return FALSE;
    SetSlotDisplayWindow(lana, hwndDisplay);
    wsprintfA(szTitle, "LANA %02d", (int)lana);
    SetWindowTextA(hwndDisplay, szTitle);
    ShowWindow(hwndDisplay, SW_SHOWNORMAL);
    return TRUE;
}

// A fresh report buffer, unless the slot still has one.
static BOOL CreateReportBuffer(LANASLOT *lpSlot) {
    HGLOBAL hmemLana;
    PREPORTBUF lpReport;

    if (lpSlot->hmemLana != NULL)
        return TRUE;
    hmemLana = GlobalAlloc(GMEM_NODISCARD, sizeof(REPORTBUF));
    if (hmemLana == NULL)
        return FALSE;
    lpReport = (PREPORTBUF)GlobalLock(hmemLana);
    if (lpReport == NULL) {
        GlobalFree(hmemLana);
        return FALSE;
    }
    InitReportBuffer(lpReport);
    GlobalUnlock(hmemLana);
    lpSlot->hmemLana = hmemLana;
    return TRUE;
}

// Every object a watched slot uses, the worker last. FALSE as soon as one cannot be created; what was
// made so far is in the slot, for ReleaseSlot.
static BOOL ActivateSlot(WORD lana) {
    LANASLOT *lpSlot = &LanaSlots[lana];

    if (!CreateDisplayWindow(lana))
        return FALSE;
    lpSlot->hMutex = CreateMutexA(NULL, FALSE, NULL);
    lpSlot->hWakeEvent = CreateEventA(NULL, FALSE, TRUE, NULL);
    if (lpSlot->hMutex == NULL || lpSlot->hWakeEvent == NULL)
        return FALSE;

    // Each NCB block holds a whole NCB, whose size depends on the pointer size.
    lpSlot->hmemAstatNcb = GlobalAlloc(GMEM_NODISCARD, sizeof(NCB));
    lpSlot->hmemAstatBuf = GlobalAlloc(GMEM_NODISCARD, CB_STATUS_REPLY);
    lpSlot->hAstatDone = CreateEventA(NULL, FALSE, TRUE, NULL);
    if (lpSlot->hmemAstatNcb == NULL || lpSlot->hmemAstatBuf == NULL || lpSlot->hAstatDone == NULL)
        return FALSE;

    lpSlot->hmemSstatNcb = GlobalAlloc(GMEM_NODISCARD, sizeof(NCB));
    lpSlot->hmemSstatBuf = GlobalAlloc(GMEM_NODISCARD, CB_STATUS_REPLY);
    lpSlot->hSstatDone = CreateEventA(NULL, FALSE, TRUE, NULL);
    if (lpSlot->hmemSstatNcb == NULL || lpSlot->hmemSstatBuf == NULL || lpSlot->hSstatDone == NULL)
        return FALSE;

    if (!CreateReportBuffer(lpSlot))
        return FALSE;

    lpSlot->hThread = CreateThread(NULL, WORKER_STACK_SIZE, LanaWorker, (LPVOID)(ULONG_PTR)lana, 0, NULL);
    return lpSlot->hThread != NULL;
}

static void ReportActivationFailure(WORD lana) {
    char szMessage[64];

    wsprintfA(szMessage, "LANA %02d could not be activated.", (int)lana);
    MessageBoxA(hwndMain, szMessage, "LANA to Configure", MB_OK);
}

void ApplyLanaState(WORD lana) {
    LANASLOT *lpSlot;

    if (lana >= MAX_LANA_SLOTS)
        return;
    lpSlot = &LanaSlots[lana];

    if (lpSlot->nState == LANA_WATCHED && GetSlotDisplayWindow(lana) == NULL) {
        if (!ActivateSlot(lana)) {
            ReleaseSlot(lana);
            lpSlot->nState = LANA_PRESENT;
            ReportActivationFailure(lana);
        }
    }

    if (lpSlot->nState == LANA_PRESENT && GetSlotDisplayWindow(lana) != NULL) {
        // The display clears lpfnDisplay and wakes the worker, which ends after its current cycle. A worker
        // that already ended after the Debug box has left its objects here too.
        SendMessageA(GetSlotDisplayWindow(lana), WM_COMMAND, IDM_DISPLAYCLOSE, 0);
        WaitForWorker(lpSlot);
        ReleaseSlot(lana);
    }
}
