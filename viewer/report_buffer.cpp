// Building a report line by line. Appends, resets and completion are serialized by one program-wide lock;
// the display window reads without it. For those readers a line is published in this order: its text and
// the NUL behind it, then its end offset, and last the new line count with an interlocked exchange, which
// orders the plain stores before it. A reader that takes the count first (GetReportLineCount) therefore
// finds every offset up to it and the text up to the last of them complete. A reader that scans the text
// for its NUL instead stays inside szText whatever it meets, because the text area is zeroed when the
// buffer is set up and its last byte never holds anything but that zero.
#include "report_buffer.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "lana_slots.h"

static_assert(offsetof(REPORTBUF, nTopLine) == 0, "REPORTBUF field order");
static_assert(offsetof(REPORTBUF, nLines) == 4, "REPORTBUF field order");
static_assert(offsetof(REPORTBUF, awLineStart) == 8, "REPORTBUF field order");
static_assert(offsetof(REPORTBUF, szText) == 2008, "REPORTBUF field order");

// The lock is made on first use, so that no start-up code has to remember it; the language makes that first
// use safe when two threads race to it.
static LPCRITICAL_SECTION ReportLock(void) {
    static CRITICAL_SECTION csReport;
    static BOOL fReady = (InitializeCriticalSection(&csReport), TRUE);

    (void)fReady;
    return &csReport;
}

static LONG ReadShared32(LONG volatile *lpn) {
    return InterlockedCompareExchange(lpn, 0, 0);
}

// Appends the cch characters in lpszLine (NUL-terminated) when the report has room for one more line and for
// the text with its NUL; drops it otherwise.
static void StoreReportLine(PREPORTBUF lpReport, LPCSTR lpszLine, int cch) {
    LONG nLines;
    int ichEnd;

    EnterCriticalSection(ReportLock());
    nLines = ReadShared32(&lpReport->nLines);
    if (nLines >= 0 && nLines < MAX_REPORT_LINES) {
        ichEnd = lpReport->awLineStart[nLines];
        if (ichEnd < CB_REPORT_TEXT && cch < CB_REPORT_TEXT - ichEnd) {
            memcpy(lpReport->szText + ichEnd, lpszLine, (size_t)cch + 1);
            lpReport->awLineStart[nLines + 1] = (WORD)(ichEnd + cch);
            InterlockedExchange(&lpReport->nLines, nLines + 1);
        }
    }
    LeaveCriticalSection(ReportLock());
}

void AppendReportLine(HWND hwndDisplay, LPCSTR lpszFormat, ...) {
    char szLine[CB_REPORT_LINE];
    va_list args;
    int iSlot;
    int cch;
    HGLOBAL hmemLana;
    PREPORTBUF lpReport;

    iSlot = FindSlotByDisplay(hwndDisplay);
    if (iSlot < 0)
        return;
    hmemLana = LanaSlots[iSlot].hmemLana;
    if (hmemLana == NULL)
        return;
    lpReport = (PREPORTBUF)GlobalLock(hmemLana);
    if (lpReport == NULL)
        return;

    va_start(args, lpszFormat);
    cch = vsnprintf(szLine, sizeof(szLine), lpszFormat, args);
    va_end(args);
    // A line cut to fit would lose its line end, so a longer one is dropped whole.
    if (cch >= 0 && cch < CB_REPORT_LINE)
        StoreReportLine(lpReport, szLine, cch);

    GlobalUnlock(hmemLana);
}

void InitReportBuffer(PREPORTBUF lpReport) {
    lpReport->nTopLine = 0;
    lpReport->nLines = 0;
    lpReport->awLineStart[0] = 0;
    // The text never reaches its last byte, so with the whole area zeroed once a reader scanning for the NUL
    // stops inside szText whatever offset it starts from.
    memset(lpReport->szText, 0, sizeof(lpReport->szText));
}

void ResetReport(PREPORTBUF lpReport) {
    EnterCriticalSection(ReportLock());
    InterlockedExchange(&lpReport->nLines, 0);
    InterlockedExchange(&lpReport->nTopLine, 0);
    lpReport->awLineStart[0] = 0;
    lpReport->szText[0] = '\0';
    LeaveCriticalSection(ReportLock());
}

void AppendReportTrailer(HWND hwndDisplay) {
    AppendReportLine(hwndDisplay, "                                             \r\n");
    AppendReportLine(hwndDisplay, "============================================\r\n");
    AppendReportLine(hwndDisplay, "=              END OF REPORT               =\r\n");
    AppendReportLine(hwndDisplay, "============================================\r\n");
    AppendReportLine(hwndDisplay, "                                             \r\n");
}

void CompleteReport(PREPORTBUF lpReport) {
    LONG nLines;

    EnterCriticalSection(ReportLock());
    nLines = ReadShared32(&lpReport->nLines);
    InterlockedExchange(&lpReport->nLines, nLines > REPORT_PAGE_LINES ? nLines - REPORT_PAGE_LINES : 0);
    LeaveCriticalSection(ReportLock());
}

LONG GetReportLineCount(PREPORTBUF lpReport) {
    return ReadShared32(&lpReport->nLines);
}

LONG GetReportTopLine(PREPORTBUF lpReport) {
    return ReadShared32(&lpReport->nTopLine);
}

void SetReportTopLine(PREPORTBUF lpReport, LONG nTopLine) {
    InterlockedExchange(&lpReport->nTopLine, nTopLine);
}

int CopyReportText(PREPORTBUF lpReport, LONG nFirstLine, LPSTR lpszOut, int cbOut) {
    LONG nLines;
    int ichStart;
    int cch;
    const char *lpchEnd;

    if (cbOut <= 0)
        return 0;
    EnterCriticalSection(ReportLock());
    nLines = ReadShared32(&lpReport->nLines);
    if (nLines < 0)
        nLines = 0;
    if (nLines > MAX_REPORT_LINES)
        nLines = MAX_REPORT_LINES;
    if (nFirstLine < 0)
        nFirstLine = 0;
    if (nFirstLine > nLines)
        nFirstLine = nLines;
    ichStart = lpReport->awLineStart[nFirstLine];
    cch = 0;
    if (ichStart < CB_REPORT_TEXT) {
        lpchEnd = (const char *)memchr(lpReport->szText + ichStart, '\0', (size_t)(CB_REPORT_TEXT - ichStart));
        cch = lpchEnd ? (int)(lpchEnd - (lpReport->szText + ichStart)) : CB_REPORT_TEXT - ichStart;
        if (cch > cbOut - 1)
            cch = cbOut - 1;
        memcpy(lpszOut, lpReport->szText + ichStart, (size_t)cch);
    }
    lpszOut[cch] = '\0';
    LeaveCriticalSection(ReportLock());
    return cch;
}
