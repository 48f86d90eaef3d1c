// The polling worker: one report cycle after another, each built under the slot's mutex from the replies of
// two asynchronous status commands, then shown by the display window; between cycles it sleeps for the
// refresh period or until woken.
#include "lana_worker.h"

#include "lana_slots.h"
#include "netbios_commands.h"
#include "report_buffer.h"
#include "report_sections.h"
#include "resource.h"
#include "tarvoke_ui.h"

// The worker's four blocks, located once for its whole life.
typedef struct tagWORKERBLOCKS {
    PNCB lpAstatNcb;
    PUCHAR lpAstatBuf;
    PNCB lpSstatNcb;
    PUCHAR lpSstatBuf;
} WORKERBLOCKS;

static void LocateBlocks(const LANASLOT *lpSlot, WORKERBLOCKS *lpBlocks) {
    lpBlocks->lpAstatNcb = (PNCB)GlobalLock(lpSlot->hmemAstatNcb);
    lpBlocks->lpAstatBuf = (PUCHAR)GlobalLock(lpSlot->hmemAstatBuf);
    lpBlocks->lpSstatNcb = (PNCB)GlobalLock(lpSlot->hmemSstatNcb);
    lpBlocks->lpSstatBuf = (PUCHAR)GlobalLock(lpSlot->hmemSstatBuf);
}

static void GiveUpBlocks(const LANASLOT *lpSlot) {
    GlobalUnlock(lpSlot->hmemAstatNcb);
    GlobalUnlock(lpSlot->hmemAstatBuf);
    GlobalUnlock(lpSlot->hmemSstatNcb);
    GlobalUnlock(lpSlot->hmemSstatBuf);
}

// A command that Netbios refused at once never reaches its post routine, so nobody else would set its done
// event; the cycle then goes on without that command's sections.
static BOOL CommandAccepted(UCHAR ucImmediate) {
    return ucImmediate == NRC_GOODRET || ucImmediate == NRC_PENDING;
}

DWORD RefreshTimeout(SHORT nFrequency) {
    if (nFrequency < 0)
        return INFINITE;
    return (DWORD)nFrequency * 1000;
}

static void ShowDebugBox(WORD fLana, HGLOBAL hmemLana) {
    char szDebug[64];

    wsprintfA(szDebug, "fLana is %d hmemLana is %d", (int)fLana, (int)(INT_PTR)hmemLana);
    MessageBoxA(hwndMain, szDebug, "Debug", MB_OK);
}

// One report cycle. FALSE when the report buffer could not be obtained: the user has been told, the mutex
// is released and the worker must end.
static BOOL RunCycle(WORD fLana, const WORKERBLOCKS *lpBlocks) {
    LANASLOT *lpSlot = &LanaSlots[fLana];
    HANDLE ahWait[2];
    DWORD nWait = 0;
    HGLOBAL hmemLana;
    PREPORTBUF lpReport;
    HWND hwndDisplay;

    WaitForSingleObject(lpSlot->hMutex, INFINITE);
    hmemLana = lpSlot->hmemLana;
    lpReport = (PREPORTBUF)GlobalLock(hmemLana);
    if (lpReport == NULL) {
        // The box waits for the user, and its owner is the main thread's window: the mutex goes first, so
        // a commit waiting for it on the main thread is never stuck behind the box.
        ReleaseMutex(lpSlot->hMutex);
        ShowDebugBox(fLana, hmemLana);
        return FALSE;
    }
    ResetReport(lpReport);

    if (lpSlot->fErrors || lpSlot->fNameTable || lpSlot->fCapacity) {
        ResetEvent(lpSlot->hAstatDone);
        ahWait[nWait++] = lpSlot->hAstatDone;
        if (!CommandAccepted(IssueAdapterStatus(lpBlocks->lpAstatNcb, fLana, lpBlocks->lpAstatBuf, AstatPostRoutine)))
            SetEvent(lpSlot->hAstatDone);
    }
    if (lpSlot->fSessions && lpSlot->szRemoteName[0] == '*') {
        ResetEvent(lpSlot->hSstatDone);
        ahWait[nWait++] = lpSlot->hSstatDone;
        if (!CommandAccepted(IssueSessionStatus(lpBlocks->lpSstatNcb, fLana, lpBlocks->lpSstatBuf, SstatPostRoutine)))
            SetEvent(lpSlot->hSstatDone);
    }
    if (nWait != 0)
        WaitForMultipleObjects(nWait, ahWait, TRUE, INFINITE);

    hwndDisplay = GetSlotDisplayWindow(fLana);
    AppendReportTrailer(hwndDisplay);
    CompleteReport(lpReport);
    GlobalUnlock(hmemLana);
    // Released before the send: the main thread may be waiting for the mutex in a commit.
    ReleaseMutex(lpSlot->hMutex);
    SendMessageA(hwndDisplay, WM_COMMAND, IDM_DISPLAYREFRESH, 0);
    return TRUE;
}

DWORD WINAPI LanaWorker(LPVOID lpParameter) {
    WORD fLana = (WORD)(ULONG_PTR)lpParameter;
    LANASLOT *lpSlot = &LanaSlots[fLana];
    WORKERBLOCKS blocks;

    LocateBlocks(lpSlot, &blocks);
    for (;;) {
        if (!RunCycle(fLana, &blocks))
            break;
        WaitForSingleObject(lpSlot->hWakeEvent, RefreshTimeout(GetSlotFrequency(fLana)));
        if (GetSlotHold(fLana) == 1)
            WaitForSingleObject(lpSlot->hWakeEvent, INFINITE);
        if (GetSlotDisplayProc(fLana) == NULL)
            break;
    }
    // The slot's objects are released on the main thread once this thread has ended (ApplyLanaState), so
    // no display message in progress there can meet a freed report.
    GiveUpBlocks(lpSlot);
    ExitThread(0);
    return 0;
}

// Runs the report sections of one completed command against the slot's report. The done event is set
// whatever the outcome, since the worker waits for it.
static void FinishStatusCommand(PNCB lpNcb, BOOL fAdapter) {
    WORD fLana = lpNcb->ncb_lana_num;
    LANASLOT *lpSlot;
    HGLOBAL hmemLana;

    if (fLana >= MAX_LANA_SLOTS)
        return;
    lpSlot = &LanaSlots[fLana];
    hmemLana = lpSlot->hmemLana;
    if (lpNcb->ncb_retcode == NRC_GOODRET && GlobalLock(hmemLana) != NULL) {
        if (fAdapter) {
            if (lpSlot->fErrors)
                FormatAdapterErrors(fLana, (PADAPTER_STATUS)lpNcb->ncb_buffer);
            if (lpSlot->fNameTable)
                FormatNameTable(fLana, (PADAPTER_STATUS)lpNcb->ncb_buffer);
            if (lpSlot->fCapacity)
                FormatAdapterCapacity(fLana, (PADAPTER_STATUS)lpNcb->ncb_buffer);
        } else if (lpSlot->fSessions) {
            FormatSessions(fLana, (PSESSION_HEADER)lpNcb->ncb_buffer);
        }
        GlobalUnlock(hmemLana);
    }
    SetEvent(fAdapter ? lpSlot->hAstatDone : lpSlot->hSstatDone);
}

void CALLBACK AstatPostRoutine(PNCB lpNcb) {
    FinishStatusCommand(lpNcb, TRUE);
}

void CALLBACK SstatPostRoutine(PNCB lpNcb) {
    FinishStatusCommand(lpNcb, FALSE);
}
