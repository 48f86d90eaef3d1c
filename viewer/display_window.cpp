// The report display window of a watched LANA: shows the slot's report from a top line in a small fixed
// font, scrolls it, redraws it from the top after each polling cycle, and holds periodic refresh while the
// user reads.
#include <windows.h>

#include "display_guard.h"
#include "lana_slots.h"
#include "report_buffer.h"
#include "resource.h"
#include "tarvoke_ui.h"

#define DISPLAY_PAGE_LINES 24
#define RGB_WHITE 0xFFFFFF

// The text on show, copied out of the report so that a report being rebuilt meanwhile is never read beyond
// what it holds. Main thread only.
static char szShownReport[CB_REPORT_TEXT];

static void FillWhite(HDC hdc, const RECT *lprc) {
    HBRUSH hbrWhite;

    hbrWhite = CreateSolidBrush(RGB_WHITE);
    FillRect(hdc, lprc, hbrWhite);
    DeleteObject(hbrWhite);
}

void DrawReport(HWND hwnd, LPCSTR lpszText) {
    HDC hdc;
    RECT rcClient;
    RECT rcBelow;
    HFONT hfont;
    HGDIOBJ hfontOld;
    int nHeight;

    hdc = GetDC(hwnd);
    GetClientRect(hwnd, &rcClient);
    hfont = CreateFontA(10, 8, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS,
                        DEFAULT_QUALITY, FIXED_PITCH, "Courier");
    hfontOld = SelectObject(hdc, hfont);
    nHeight = DrawTextA(hdc, lpszText, -1, &rcClient, DT_WORDBREAK);
    // Below the last line nothing of an earlier page may stay: near the end of the report it is shorter
    // than the window.
    if (rcClient.top + nHeight < rcClient.bottom) {
        rcBelow = rcClient;
        rcBelow.top = rcClient.top + nHeight;
        FillWhite(hdc, &rcBelow);
    }
    SelectObject(hdc, hfontOld);  // a font is deleted only once no device context holds it
    DeleteObject(hfont);
    ReleaseDC(hwnd, hdc);
}

static void DrawReportFrom(HWND hwnd, PREPORTBUF lpReport, LONG nTopLine) {
    CopyReportText(lpReport, nTopLine, szShownReport, sizeof szShownReport);
    DrawReport(hwnd, szShownReport);
}

static INT_PTR PaintDisplay(HWND hwnd, PREPORTBUF lpReport) {
    PAINTSTRUCT ps;
    LONG nTopLine;

    BeginPaint(hwnd, &ps);
    FillWhite(ps.hdc, &ps.rcPaint);
    EndPaint(hwnd, &ps);

    // Whatever the report holds is drawn again, a short one too: its line count, once complete, is its
    // highest top line, which is 0 for a report of one page, and that page must not vanish on a repaint.
    nTopLine = GetReportTopLine(lpReport);
    SetScrollPos(hwnd, SB_VERT, nTopLine, TRUE);
    DrawReportFrom(hwnd, lpReport, nTopLine);
    return 1;
}

// A new report is complete: clear the window and show it from its first line.
static void RefreshDisplay(HWND hwnd, PREPORTBUF lpReport) {
    HDC hdc;
    RECT rcClient;

    hdc = GetDC(hwnd);
    GetClientRect(hwnd, &rcClient);
    FillWhite(hdc, &rcClient);
    ReleaseDC(hwnd, hdc);

    SetScrollRange(hwnd, SB_VERT, 0, GetReportLineCount(lpReport), FALSE);
    SetReportTopLine(lpReport, 0);
    SetScrollPos(hwnd, SB_VERT, 0, TRUE);
    DrawReportFrom(hwnd, lpReport, 0);
}

static INT_PTR DisplayCommand(HWND hwnd, WORD wLana, WORD wId, PREPORTBUF lpReport) {
    switch (wId) {
        case IDM_DISPLAYCLOSE:
            // lpfnDisplay is cleared before the worker wakes, so it ends instead of starting another cycle.
            SetSlotDisplayProc(wLana, NULL);
            SetEvent(LanaSlots[wLana].hWakeEvent);
            EndDialog(hwnd, 1);
            return 1;

        case IDM_DISPLAYREFRESH:
            RefreshDisplay(hwnd, lpReport);
            return 0;
    }
    return 0;
}

static INT_PTR ScrollDisplay(HWND hwnd, WORD wLana, WPARAM wParam, PREPORTBUF lpReport) {
    LONG nTopLine;
    LONG nLines;

    // Scrolling while periodic refresh is on holds the report until a double-click releases it. A negative
    // period, like -1, means refresh on request only: there is nothing to hold.
    if (GetSlotFrequency(wLana) >= 0 && GetSlotHold(wLana) == 0) {
        SetSlotHold(wLana, 1);
        SetEvent(LanaSlots[wLana].hWakeEvent);
    }

    nTopLine = GetReportTopLine(lpReport);
    nLines = GetReportLineCount(lpReport);
    switch (LOWORD(wParam)) {
        case SB_LINEUP:
            nTopLine = nTopLine - 1 < 0 ? 0 : nTopLine - 1;
            break;
        case SB_LINEDOWN:
            nTopLine = nTopLine + 1 > nLines ? nLines : nTopLine + 1;
            break;
        case SB_PAGEUP:
            nTopLine = nTopLine - DISPLAY_PAGE_LINES < 0 ? 0 : nTopLine - DISPLAY_PAGE_LINES;
            break;
        case SB_PAGEDOWN:
            nTopLine = nTopLine + DISPLAY_PAGE_LINES > nLines ? nLines : nTopLine + DISPLAY_PAGE_LINES;
            break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            nTopLine = (LONG)HIWORD(wParam) > nLines ? nLines : (LONG)HIWORD(wParam);
            break;
        case SB_TOP:
            nTopLine = 0;
            break;
        case SB_BOTTOM:
            nTopLine = nLines;
            break;
        default:
            return 0;  // the end of a scroll, and anything unknown, moves nothing
    }
    SetReportTopLine(lpReport, nTopLine);
    SetScrollPos(hwnd, SB_VERT, nTopLine, TRUE);
    DrawReportFrom(hwnd, lpReport, nTopLine);
    return 1;
}

static INT_PTR HandleDisplayMessage(HWND hwnd, WORD wLana, PREPORTBUF lpReport, UINT uMsg, WPARAM wParam) {
    switch (uMsg) {
        case WM_PAINT:
            return PaintDisplay(hwnd, lpReport);

        case WM_COMMAND:
            return DisplayCommand(hwnd, wLana, LOWORD(wParam), lpReport);

        case WM_VSCROLL:
            return ScrollDisplay(hwnd, wLana, wParam, lpReport);

        case WM_LBUTTONDBLCLK:
            // Releases a hold; without one it still wakes the worker, so a double-click asks for a new cycle.
            SetSlotHold(wLana, 0);
            SetEvent(LanaSlots[wLana].hWakeEvent);
            return 1;
    }
    return 0;
}

INT_PTR CALLBACK DisplayDlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    int iSlot;
    HGLOBAL hmemLana;
    PREPORTBUF lpReport;
    INT_PTR nResult;

    (void)lParam;
    LockDisplayedReports();
    // Messages that arrive before the window is recorded in its slot, or after the worker has ended, find
    // no slot and are answered 0 untouched.
    iSlot = FindSlotByDisplay(hwnd);
    if (iSlot < 0) {
        UnlockDisplayedReports();
        return 0;
    }
    hmemLana = LanaSlots[iSlot].hmemLana;
    lpReport = (PREPORTBUF)GlobalLock(hmemLana);
    if (lpReport == NULL) {
        UnlockDisplayedReports();
        return 0;
    }
    nResult = HandleDisplayMessage(hwnd, (WORD)iSlot, lpReport, uMsg, wParam);
    GlobalUnlock(hmemLana);
    UnlockDisplayedReports();
    return nResult;
}
