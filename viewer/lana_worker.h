// The polling worker of a watched LANA, the post routines of its two status commands, and the activation
// and deactivation of a slot.
#pragma once

#include <windows.h>
#include <nb30.h>

// Brings slot lana to the state its nState asks for: a watched slot without a display gets its display
// window, objects and worker; a present slot with a display loses them. Main thread only.
void ApplyLanaState(WORD lana);

// The wait between cycles for a refresh period in seconds: any negative period means no timeout (refresh on
// request only), so that -5 never becomes a wait of about 49 days.
DWORD RefreshTimeout(SHORT nFrequency);

// The worker's thread routine; its argument is the LANA number.
DWORD WINAPI LanaWorker(LPVOID lpParameter);

// Post routines of the adapter-status and session-status commands, run on the NetBIOS completion context.
void CALLBACK AstatPostRoutine(PNCB lpNcb);
void CALLBACK SstatPostRoutine(PNCB lpNcb);
