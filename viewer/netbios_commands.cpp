// NetBIOS commands and start-up discovery. Every command block is zeroed before its fields are set, so each
// field not named here is 0 (ncb_event among them: completion is reported through post routines only).
#include "netbios_commands.h"

#include <cstring>

#include "lana_slots.h"

NCB ncbEnumerate;
LANA_ENUM leLanas;

UCHAR DiscoverLanas(void) {
    UCHAR bRet;
    int i;

    memset(&ncbEnumerate, 0, sizeof(ncbEnumerate));
    ncbEnumerate.ncb_command = NCBENUM;
    ncbEnumerate.ncb_buffer = (PUCHAR)&leLanas;
    ncbEnumerate.ncb_length = sizeof(leLanas);
    bRet = Netbios(&ncbEnumerate);
    if (bRet != NRC_GOODRET)
        return bRet;

    for (i = 0; i < MAX_LANA_SLOTS; i++)
        LanaSlots[i].nState = LANA_UNUSABLE;
    // length is a byte and the list holds 255 entries, so every listed entry is inside the reply.
    for (i = 0; i < leLanas.length && i < (int)sizeof(leLanas.lana); i++) {
        UCHAR bLana = leLanas.lana[i];
        if (bLana < MAX_LANA_SLOTS) {
            ResetLana(bLana);
            LanaSlots[bLana].nState = LANA_PRESENT;
        }
    }
    return NRC_GOODRET;
}

void ResetLana(WORD lana) {
    HGLOBAL hmemNcb;
    PNCB lpNcb;

    hmemNcb = GlobalAlloc(GMEM_NODISCARD, sizeof(NCB));
    if (hmemNcb == NULL)
        return;
    lpNcb = (PNCB)GlobalLock(hmemNcb);
    if (lpNcb != NULL) {
        memset(lpNcb, 0, sizeof(NCB));
        lpNcb->ncb_command = NCBRESET;
        lpNcb->ncb_lana_num = (UCHAR)lana;
        Netbios(lpNcb);
        GlobalUnlock(hmemNcb);
    }
    GlobalFree(hmemNcb);
}

static void PrepareStatusCommand(PNCB lpNcb, UCHAR bCommand, WORD lana, PUCHAR lpbReply, NCBPOSTPROC lpfnPost) {
    memset(lpNcb, 0, sizeof(NCB));
    lpNcb->ncb_command = bCommand;
    lpNcb->ncb_buffer = lpbReply;
    lpNcb->ncb_length = CB_STATUS_REPLY;
    lpNcb->ncb_post = lpfnPost;
    lpNcb->ncb_lana_num = (UCHAR)lana;
}

void PrepareAdapterStatus(PNCB lpNcb, WORD lana, PUCHAR lpbReply, NCBPOSTPROC lpfnPost) {
    PrepareStatusCommand(lpNcb, ASYNCH | NCBASTAT, lana, lpbReply, lpfnPost);
    if (lana < MAX_LANA_SLOTS)
        memcpy(lpNcb->ncb_callname, LanaSlots[lana].szRemoteName, NCBNAMSZ);
}

void PrepareSessionStatus(PNCB lpNcb, WORD lana, PUCHAR lpbReply, NCBPOSTPROC lpfnPost) {
    PrepareStatusCommand(lpNcb, ASYNCH | NCBSSTAT, lana, lpbReply, lpfnPost);
    lpNcb->ncb_name[0] = '*';
}

UCHAR IssueAdapterStatus(PNCB lpNcb, WORD lana, PUCHAR lpbReply, NCBPOSTPROC lpfnPost) {
    PrepareAdapterStatus(lpNcb, lana, lpbReply, lpfnPost);
    return Netbios(lpNcb);
}

UCHAR IssueSessionStatus(PNCB lpNcb, WORD lana, PUCHAR lpbReply, NCBPOSTPROC lpfnPost) {
    PrepareSessionStatus(lpNcb, lana, lpbReply, lpfnPost);
    return Netbios(lpNcb);
}
