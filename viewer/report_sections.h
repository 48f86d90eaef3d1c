// Report sections: the lines that an adapter-status or session-status reply adds to a LANA's report. Each
// writer appends through AppendReportLine with the display window of slot lana; a refused line is skipped.
#pragma once

#include <windows.h>
#include <nb30.h>

#include "netbios_commands.h"

// Entries that fit behind the header in one status reply block; the writers read no entry beyond them.
#define MAX_NAME_ENTRIES ((CB_STATUS_REPLY - sizeof(ADAPTER_STATUS)) / sizeof(NAME_BUFFER))
#define MAX_SESSION_ENTRIES ((CB_STATUS_REPLY - sizeof(SESSION_HEADER)) / sizeof(SESSION_BUFFER))

void FormatAdapterErrors(WORD lana, PADAPTER_STATUS lpStatus);
void FormatAdapterCapacity(WORD lana, PADAPTER_STATUS lpStatus);
// Also writes 0 over the 16th byte of each name entry in the reply, after keeping it as the name type.
void FormatNameTable(WORD lana, PADAPTER_STATUS lpStatus);
// Also writes 0 over the 16th byte of each entry's local and remote name in the reply.
void FormatSessions(WORD lana, PSESSION_HEADER lpSessions);
