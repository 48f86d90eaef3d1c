// adapter_status_report: asks one node for its adapter status through the viewer's own NetBIOS commands and
// report sections, and prints the report's text as the viewer's display window would show it.
//   adapter_status_report NODE
// NODE is a NetBIOS name or a dotted IPv4 address, "*" for the local adapter. The question goes out on the
// first LANA that NetBIOS lists. Exit status 0 with the report printed, 1 when NetBIOS fails (its return
// code is printed), 2 on bad usage. The same source builds for Windows and for the platform, so the two
// NetBIOS implementations can be compared through the viewer's own code.
#include <windows.h>
#include <nb30.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "lana_slots.h"
#include "netbios_commands.h"
#include "report_buffer.h"
#include "report_sections.h"

#define CCH_NODE_NAME 15  // as the configuration dialog stores a name: 15 characters, blank-padded

static HANDLE hAstatDone;

static void CALLBACK AstatDone(PNCB lpNcb) {
    (void)lpNcb;
    SetEvent(hAstatDone);
}

static int Fail(LPCSTR lpszWhat, unsigned uCode) {
    std::fprintf(stderr, "adapter_status_report: %s: %u\n", lpszWhat, uCode);
    return 1;
}

int main(int argc, char **argv) {
    if (argc != 2 || std::strlen(argv[1]) > CCH_NODE_NAME) {
        std::fprintf(stderr, "usage: adapter_status_report NODE\n");
        return 2;
    }
    UCHAR bRet = DiscoverLanas();
    if (bRet != NRC_GOODRET)
        return Fail("enumerating the LANAs returned", bRet);
    if (leLanas.length == 0 || leLanas.lana[0] >= MAX_LANA_SLOTS)
        return Fail("no usable LANA; LANAs listed", leLanas.length);
    WORD lana = leLanas.lana[0];

    LANASLOT *lpSlot = &LanaSlots[lana];
    std::memset(lpSlot->szRemoteName, ' ', CCH_NODE_NAME);
    for (int i = 0; argv[1][i] != '\0'; i++)
        lpSlot->szRemoteName[i] = (char)std::toupper((unsigned char)argv[1][i]);
    lpSlot->szRemoteName[CCH_NODE_NAME] = '\0';
    // The sections write to the report of the slot that owns the display window they are given; no window is
    // made here, so any handle that is not 0 stands for one.
    lpSlot->hmemLana = GlobalAlloc(GMEM_NODISCARD, sizeof(REPORTBUF));
    PREPORTBUF lpReport = lpSlot->hmemLana ? (PREPORTBUF)GlobalLock(lpSlot->hmemLana) : NULL;
    if (lpReport == NULL)
        return Fail("no memory for the report, error", (unsigned)GetLastError());
    InitReportBuffer(lpReport);
    HWND hwndDisplay = (HWND)(ULONG_PTR)0x5a5a;
    SetSlotDisplayWindow(lana, hwndDisplay);

    static NCB ncb;
    static UCHAR abReply[CB_STATUS_REPLY];
    hAstatDone = CreateEventA(NULL, FALSE, FALSE, NULL);
    bRet = IssueAdapterStatus(&ncb, lana, abReply, AstatDone);
    if (bRet != NRC_GOODRET)
        return Fail("the adapter status was refused with", bRet);
    WaitForSingleObject(hAstatDone, INFINITE);
    if (ncb.ncb_retcode != NRC_GOODRET)
        return Fail("the adapter status ended with", ncb.ncb_retcode);

    ResetReport(lpReport);
    FormatAdapterErrors(lana, (PADAPTER_STATUS)abReply);
    FormatNameTable(lana, (PADAPTER_STATUS)abReply);
    FormatAdapterCapacity(lana, (PADAPTER_STATUS)abReply);
    AppendReportTrailer(hwndDisplay);
    CompleteReport(lpReport);
    static char szText[CB_REPORT_TEXT];
    CopyReportText(lpReport, 0, szText, sizeof(szText));
    std::fputs(szText, stdout);
    return 0;
}
