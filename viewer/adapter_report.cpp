// The adapter-status sections: error counters, the name table and the adapter's capacity. Numbers end in
// column 44; 16-bit counters print as five zero-filled digits, 32-bit counters as eleven characters with the
// sign, taken as signed 32-bit values so that every build prints the same.
#include "report_sections.h"

#include <cstring>

#include "lana_slots.h"
#include "report_buffer.h"

static void AppendSectionOpening(HWND hwndDisplay, LPCSTR lpszTitle) {
    AppendReportLine(hwndDisplay, "                                             \r\n");
    AppendReportLine(hwndDisplay, "============================================\r\n");
    AppendReportLine(hwndDisplay, "%s", lpszTitle);
}

static long SignedCounter(DWORD dwCounter) {
    return (long)(LONG)dwCounter;
}

void FormatAdapterErrors(WORD lana, PADAPTER_STATUS lpStatus) {
    HWND hwnd = GetSlotDisplayWindow(lana);

    AppendSectionOpening(hwnd, "Error Information                           \r\n");
    AppendReportLine(hwnd, "Reporting Period in Minutes            %05u\r\n", (unsigned)lpStatus->duration);
    AppendReportLine(hwnd, "Frame Reject Receive Count             %05u\r\n", (unsigned)lpStatus->frmr_recv);
    AppendReportLine(hwnd, "Frame Reject Transmit Count            %05u\r\n", (unsigned)lpStatus->frmr_xmit);
    AppendReportLine(hwnd, "I-Frame Receive Error Count            %05u\r\n", (unsigned)lpStatus->iframe_recv_err);
    AppendReportLine(hwnd, "Transmit Abort Count                   %05u\r\n", (unsigned)lpStatus->xmit_aborts);
    AppendReportLine(hwnd, "Good Frame Transmit Count        %011ld\r\n", SignedCounter(lpStatus->xmit_success));
    AppendReportLine(hwnd, "Good Frame Receive Count         %011ld\r\n", SignedCounter(lpStatus->recv_success));
    AppendReportLine(hwnd, "I-Frame Retransmission Count           %05u\r\n", (unsigned)lpStatus->iframe_xmit_err);
    AppendReportLine(hwnd, "Lost Frames Count (out of SAP)         %05u\r\n", (unsigned)lpStatus->recv_buff_unavail);
    AppendReportLine(hwnd, "Expire T1 Timer Count                  %05u\r\n", (unsigned)lpStatus->t1_timeouts);
    AppendReportLine(hwnd, "Expire TI Timer Count                  %05u\r\n", (unsigned)lpStatus->ti_timeouts);
}

void FormatAdapterCapacity(WORD lana, PADAPTER_STATUS lpStatus) {
    HWND hwnd = GetSlotDisplayWindow(lana);
    const UCHAR *lpbAddress = lpStatus->adapter_address;

    AppendSectionOpening(hwnd, "Capacity Information                        \r\n");
    AppendReportLine(hwnd, "Permanent Node Name                         \r\n");
    AppendReportLine(hwnd, "     %02X  %02X  %02X  %02X  %02X  %02X                  \r\n", (unsigned)lpbAddress[0],
                     (unsigned)lpbAddress[1], (unsigned)lpbAddress[2], (unsigned)lpbAddress[3], (unsigned)lpbAddress[4],
                     (unsigned)lpbAddress[5]);
    AppendReportLine(hwnd, "Major Version Number                   %05u\r\n", (unsigned)lpStatus->rev_major);
    AppendReportLine(hwnd, "Minor Version Number                   %05u\r\n", (unsigned)lpStatus->rev_minor);
    AppendReportLine(hwnd, "Adapter Type                           %02X   \r\n", (unsigned)lpStatus->adapter_type);
    AppendReportLine(hwnd, "Free Command Blocks                    %05u\r\n", (unsigned)lpStatus->free_ncbs);
    AppendReportLine(hwnd, "Current Maximum Pending NCBs           %05u\r\n", (unsigned)lpStatus->max_cfg_ncbs);
    AppendReportLine(hwnd, "Maximum Number of NCBs                 %05u\r\n", (unsigned)lpStatus->max_ncbs);
    AppendReportLine(hwnd, "Local Station Busy Count               %05u\r\n", (unsigned)lpStatus->xmit_buf_unavail);
    AppendReportLine(hwnd, "Maximum DataGram Packet Size           %05u\r\n", (unsigned)lpStatus->max_dgram_size);
    AppendReportLine(hwnd, "Pending Session Count                  %05u\r\n", (unsigned)lpStatus->pending_sess);
    AppendReportLine(hwnd, "Maximum Pending Session Count          %05u\r\n", (unsigned)lpStatus->max_cfg_sess);
    AppendReportLine(hwnd, "Maximum Sessions                       %05u\r\n", (unsigned)lpStatus->max_sess);
    AppendReportLine(hwnd, "Maximum Session Packet Size            %05u\r\n", (unsigned)lpStatus->max_sess_pkt_size);
}

static void AppendNameTypeLine(HWND hwnd, UCHAR bType) {
    switch (bType) {
        case 0x00:
            AppendReportLine(hwnd, "  Redirector Name                            \r\n");
            break;
        case 0x03:
            AppendReportLine(hwnd, "  User Name                                  \r\n");
            break;
        case 0x05:
            AppendReportLine(hwnd, "  Forwarded User Name                        \r\n");
            break;
        case 0x20:
            AppendReportLine(hwnd, "  Server Name                                \r\n");
            break;
        default:
            AppendReportLine(hwnd, "  Unknown name terminator code         %02X    \r\n", (unsigned)bType);
            break;
    }
}

static void AppendNameStateLine(HWND hwnd, UCHAR bFlags) {
    UCHAR bState = (UCHAR)(bFlags & 0x07);

    switch (bState) {
        case REGISTERING:
            AppendReportLine(hwnd, "  Name Registration in Progress              \r\n");
            break;
        case REGISTERED:
            AppendReportLine(hwnd, "  Name Registered                            \r\n");
            break;
        case DEREGISTERED:
            AppendReportLine(hwnd, "  Name deregistered                          \r\n");
            break;
        case DUPLICATE:
            AppendReportLine(hwnd, "  Name is a duplicate                        \r\n");
            break;
        case DUPLICATE_DEREG:
            AppendReportLine(hwnd, "  Name is a duplicate and deregistering      \r\n");
            break;
        default:
            AppendReportLine(hwnd, "  Unknown Name status                  %02X    \r\n", (unsigned)bState);
            break;
    }
}

void FormatNameTable(WORD lana, PADAPTER_STATUS lpStatus) {
    HWND hwnd = GetSlotDisplayWindow(lana);
    PNAME_BUFFER lpNames = (PNAME_BUFFER)(lpStatus + 1);
    WORD cNames = lpStatus->name_count;
    WORD i;
    char szName[NCBNAMSZ];

    AppendSectionOpening(hwnd, "Name Table Information                       \r\n");
    AppendReportLine(hwnd, "Name Table Entry Count                 %05u\r\n", (unsigned)cNames);
    // A count larger than the reply block can hold reads no further than the block.
    if (cNames > MAX_NAME_ENTRIES)
        cNames = (WORD)MAX_NAME_ENTRIES;
    for (i = 0; i < cNames; i++) {
        UCHAR bType = lpNames[i].name[NCBNAMSZ - 1];

        // The 16th byte is the name's type, not part of its text.
        lpNames[i].name[NCBNAMSZ - 1] = 0;
        memcpy(szName, lpNames[i].name, NCBNAMSZ);

        AppendReportLine(hwnd, "                                             \r\n");
        AppendReportLine(hwnd, "Name Table Entry number                %05u\r\n", (unsigned)i);
        AppendReportLine(hwnd, "Name                        %s   \r\n", szName);
        AppendNameTypeLine(hwnd, bType);
        AppendReportLine(hwnd, "Name Number                            %05u\r\n", (unsigned)lpNames[i].name_num);
        if (lpNames[i].name_flags & GROUP_NAME)
            AppendReportLine(hwnd, "  Group Name                                 \r\n");
        else
            AppendReportLine(hwnd, "  Unique Name                                \r\n");
        AppendNameStateLine(hwnd, lpNames[i].name_flags);
    }
}
