// The per-LANA report: fixed-width text lines that the polling cycle rebuilds and the display window shows.
#pragma once

#include <windows.h>

#define MAX_REPORT_LINES 999  // 1000 start offsets describe 999 lines
#define CB_REPORT_TEXT 10240  // the text and its terminating NUL
#define CB_REPORT_LINE 128    // one formatted line and its NUL
#define REPORT_PAGE_LINES 17  // lines on the last page of a complete report

typedef struct tagREPORTBUF {
    LONG nTopLine;                           // line shown at the top of the display
    LONG nLines;                             // lines so far; once complete, the highest top line
    WORD awLineStart[MAX_REPORT_LINES + 1];  // entry k: offset of line k in szText, and end of line k - 1
    char szText[CB_REPORT_TEXT];             // the lines one after another, NUL-terminated
} REPORTBUF, *PREPORTBUF;

static_assert(sizeof(REPORTBUF) == 12248, "REPORTBUF is one 12248-byte block");

// Formats one line (at most 127 characters) and appends it to the report of the slot whose display window is
// hwndDisplay. A line is dropped when no slot has that window, when it is longer than 127 characters, when the
// report already holds 999 lines, or when its text and NUL no longer fit in szText.
void AppendReportLine(HWND hwndDisplay, LPCSTR lpszFormat, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Buffer states, used by the slot's activation and its polling worker.
void InitReportBuffer(PREPORTBUF lpReport);  // a newly allocated buffer
void ResetReport(PREPORTBUF lpReport);       // the start of a cycle
void AppendReportTrailer(HWND hwndDisplay);  // the five "END OF REPORT" lines
void CompleteReport(PREPORTBUF lpReport);    // nLines becomes the highest top line

// Readers that take no lock. GetReportLineCount returns nLines as last published: every awLineStart entry up
// to it, and the text up to the offset in the last of them, are complete when it returns.
LONG GetReportLineCount(PREPORTBUF lpReport);
LONG GetReportTopLine(PREPORTBUF lpReport);
void SetReportTopLine(PREPORTBUF lpReport, LONG nTopLine);

// Copies the text from the start of line nFirstLine (held to the lines the report has) to its end into
// lpszOut, NUL-terminated and cut to cbOut - 1 characters, with no append or reset running meanwhile.
// Returns the number of characters copied.
int CopyReportText(PREPORTBUF lpReport, LONG nFirstLine, LPSTR lpszOut, int cbOut);
