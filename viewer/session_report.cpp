// The session section: the session counts of the adapter's names and, per session, its number, state, local
// and remote name and pending traffic. Same line layout as the adapter sections; the name-type lines here are
// one column wider than those of the name table.
#include "report_sections.h"

#include <cstring>

#include "lana_slots.h"
#include "report_buffer.h"

static void AppendSessionStateLine(HWND hwnd, UCHAR bState) {
    switch (bState) {
        case LISTEN_OUTSTANDING:
            AppendReportLine(hwnd, "     Listen Outstanding                       \r\n");
            break;
        case CALL_PENDING:
            AppendReportLine(hwnd, "     CALL pending                             \r\n");
            break;
        case SESSION_ESTABLISHED:
            AppendReportLine(hwnd, "     Session Established                      \r\n");
            break;
        case HANGUP_PENDING:
            AppendReportLine(hwnd, "     HANG.UP pending                          \r\n");
            break;
        case HANGUP_COMPLETE:
            AppendReportLine(hwnd, "     HANG.UP completed                        \r\n");
            break;
        case SESSION_ABORTED:
            AppendReportLine(hwnd, "     Session Aborted                          \r\n");
            break;
        default:
            AppendReportLine(hwnd, "     Unknown Session State             %02X     \r\n", (unsigned)bState);
            break;
    }
}

static void AppendSessionNameTypeLine(HWND hwnd, UCHAR bType) {
    switch (bType) {
        case 0x00:
            AppendReportLine(hwnd, "  Redirector Name                             \r\n");
            break;
        case 0x03:
            AppendReportLine(hwnd, "  User Name                                   \r\n");
            break;
        case 0x05:
            AppendReportLine(hwnd, "  Forwarded User Name                         \r\n");
            break;
        case 0x20:
            AppendReportLine(hwnd, "  Server Name                                 \r\n");
            break;
        default:
            AppendReportLine(hwnd, "  Unknown name terminator code         %02X     \r\n", (unsigned)bType);
            break;
    }
}

// Keeps a name's 16th byte as its type, ends the name there in the reply itself, and copies the name out.
static UCHAR SplitSessionName(UCHAR *lpbName, char *szName) {
    UCHAR bType = lpbName[NCBNAMSZ - 1];

    lpbName[NCBNAMSZ - 1] = 0;
    memcpy(szName, lpbName, NCBNAMSZ);
    return bType;
}

void FormatSessions(WORD lana, PSESSION_HEADER lpSessions) {
    HWND hwnd = GetSlotDisplayWindow(lana);
    PSESSION_BUFFER lpEntries = (PSESSION_BUFFER)(lpSessions + 1);
    WORD cSessions = lpSessions->num_sess;
    WORD i;
    char szLocal[NCBNAMSZ];
    char szRemote[NCBNAMSZ];
    UCHAR bLocalType;
    UCHAR bRemoteType;

    AppendReportLine(hwnd, "                                             \r\n");
    AppendReportLine(hwnd, "============================================\r\n");
    AppendReportLine(hwnd, "Session Information                         \r\n");
    AppendReportLine(hwnd, "Number of sessions reported            %05u\r\n", (unsigned)lpSessions->num_sess);
    if (lpSessions->sess_name == 0)
        AppendReportLine(hwnd, "   An Add.Name is in progress               \r\n");
    AppendReportLine(hwnd, "Number of sessions with this name      %05u\r\n", (unsigned)lpSessions->num_sess);
    AppendReportLine(hwnd, "Number of Rcv.DG or Rcv.Bcast.D        %05u\r\n", (unsigned)lpSessions->rcv_dg_outstanding);
    AppendReportLine(hwnd, "Number of pending Receive.Any          %05u\r\n",
                     (unsigned)lpSessions->rcv_any_outstanding);
    AppendReportLine(hwnd, "Session Table                               \r\n");

    // num_sess is a byte and could claim more entries than the reply block holds.
    if (cSessions > MAX_SESSION_ENTRIES)
        cSessions = (WORD)MAX_SESSION_ENTRIES;
    for (i = 0; i < cSessions; i++) {
        PSESSION_BUFFER lpEntry = &lpEntries[i];

        AppendReportLine(hwnd, "                                             \r\n");
        AppendReportLine(hwnd, "Session Table Entry                    %05u\r\n", (unsigned)i);
        AppendReportLine(hwnd, "Local Session Number                   %05u\r\n", (unsigned)lpEntry->lsn);
        AppendSessionStateLine(hwnd, lpEntry->state);
        bLocalType = SplitSessionName(lpEntry->local_name, szLocal);
        AppendReportLine(hwnd, "Local Session Name          %s   \r\n", szLocal);
        AppendSessionNameTypeLine(hwnd, bLocalType);
        bRemoteType = SplitSessionName(lpEntry->remote_name, szRemote);
        AppendReportLine(hwnd, "Remote Session Name         %-15s   \r\n", szRemote);
        AppendSessionNameTypeLine(hwnd, bRemoteType);
        AppendReportLine(hwnd, "Number of Receives pending             %05u\r\n", (unsigned)lpEntry->rcvs_outstanding);
        AppendReportLine(hwnd, "Number of Sends pending                %05u\r\n", (unsigned)lpEntry->sends_outstanding);
    }
}
