// Every NetBIOS command the viewer issues: start-up discovery of the LANAs and their reset, and the two
// asynchronous status commands of a polling cycle.
#pragma once

#include <windows.h>
#include <nb30.h>

#define CB_STATUS_REPLY 2048  // each status command's reply block

typedef void(CALLBACK *NCBPOSTPROC)(PNCB);

// The enumeration's command block and reply, used once at start-up.
extern NCB ncbEnumerate;
extern LANA_ENUM leLanas;

// Enumerates the LANAs, resets each listed one below 12 and sets every slot's nState. Returns the
// enumeration's return code; when it is not 0 nothing is reset and no slot changes.
UCHAR DiscoverLanas(void);

// Resets one LANA (the low byte of lana) synchronously; the outcome is not kept.
void ResetLana(WORD lana);

// Fill a status command block for LANA lana: the reply goes to lpbReply (CB_STATUS_REPLY bytes) and lpfnPost
// runs when the command completes. The adapter status asks the node in the slot's szRemoteName; the session
// status asks for every local name.
void PrepareAdapterStatus(PNCB lpNcb, WORD lana, PUCHAR lpbReply, NCBPOSTPROC lpfnPost);
void PrepareSessionStatus(PNCB lpNcb, WORD lana, PUCHAR lpbReply, NCBPOSTPROC lpfnPost);

// Prepare and issue. The result is Netbios's immediate return code: NRC_GOODRET when the command was accepted
// and its post routine will run; anything else when it was refused at once and the post routine will not run.
UCHAR IssueAdapterStatus(PNCB lpNcb, WORD lana, PUCHAR lpbReply, NCBPOSTPROC lpfnPost);
UCHAR IssueSessionStatus(PNCB lpNcb, WORD lana, PUCHAR lpbReply, NCBPOSTPROC lpfnPost);
