// The LANA slot table: everything the viewer knows about LANAs 0 to 11, indexed by LANA number.
#pragma once

#include <windows.h>

#define MAX_LANA_SLOTS 12
#define CB_REMOTE_NAME 18

// nState values.
#define LANA_UNUSABLE (-1)
#define LANA_PRESENT 0
#define LANA_WATCHED 1

typedef struct tagLANASLOT {
    SHORT nState;                       // LANA_UNUSABLE, LANA_PRESENT or LANA_WATCHED
    HWND hwndDisplay;                   // report display window; 0 when there is none
    HGLOBAL hmemLana;                   // the slot's REPORTBUF; 0 when there is none
    DLGPROC lpfnDisplay;                // the display's dialog procedure while it is open; 0 once told to close
    SHORT fErrors;                      // report the adapter error section
    SHORT fNameTable;                   // report the adapter name table section
    SHORT fCapacity;                    // report the adapter capacity section
    SHORT fSessions;                    // report the session section
    SHORT nFrequency;                   // seconds between polling cycles; -1: only when woken
    HANDLE hMutex;                      // held by the worker for a cycle and by a configuration commit
    HANDLE hWakeEvent;                  // auto-reset; ends the worker's wait between cycles
    HGLOBAL hmemAstatNcb;               // NCB block of the adapter-status command
    HGLOBAL hmemAstatBuf;               // adapter-status reply block
    HANDLE hAstatDone;                  // auto-reset; set when an adapter-status command has completed
    HGLOBAL hmemSstatNcb;               // NCB block of the session-status command
    HGLOBAL hmemSstatBuf;               // session-status reply block
    HANDLE hSstatDone;                  // auto-reset; set when a session-status command has completed
    HANDLE hThread;                     // the slot's polling worker
    SHORT fHold;                        // 1 while the user holds the report
    char szRemoteName[CB_REMOTE_NAME];  // remote node to ask; "*" is the local adapter
} LANASLOT, *PLANASLOT;

extern LANASLOT LanaSlots[MAX_LANA_SLOTS];
extern LANASLOT ConfigSlots[MAX_LANA_SLOTS];

// The slot whose display window is hwndDisplay, or -1; a window handle of 0 belongs to no slot.
int FindSlotByDisplay(HWND hwndDisplay);

// Fields that the display window, the configuration commit and the worker share without holding hMutex.
// Every access from more than one thread goes through these, so each read sees a whole value written by
// one of them and the compiler keeps no stale copy.
SHORT GetSlotFrequency(WORD lana);
void SetSlotFrequency(WORD lana, SHORT nFrequency);
SHORT GetSlotHold(WORD lana);
void SetSlotHold(WORD lana, SHORT fHold);
DLGPROC GetSlotDisplayProc(WORD lana);
void SetSlotDisplayProc(WORD lana, DLGPROC lpfnDisplay);
HWND GetSlotDisplayWindow(WORD lana);
void SetSlotDisplayWindow(WORD lana, HWND hwndDisplay);
