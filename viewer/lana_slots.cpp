// The LANA slot table with its start-up values, and the fields shared between threads without hMutex.
#include "lana_slots.h"

// Every LANA starts unusable until start-up discovery finds it, with every report section chosen, refresh
// on request only, and the local adapter as the node to ask; every handle is 0.
// clang-format off
#define LANASLOT_INITIAL                                                                                      \
    { LANA_UNUSABLE, /* hwndDisplay */ 0, /* hmemLana */ 0, /* lpfnDisplay */ 0,                              \
      /* fErrors */ 1, /* fNameTable */ 1, /* fCapacity */ 1, /* fSessions */ 1, /* nFrequency */ -1,         \
      /* hMutex .. hThread */ 0, 0, 0, 0, 0, 0, 0, 0, 0, /* fHold */ 0, /* szRemoteName */ "*" }
// clang-format on

LANASLOT LanaSlots[MAX_LANA_SLOTS] = {
    LANASLOT_INITIAL, LANASLOT_INITIAL, LANASLOT_INITIAL, LANASLOT_INITIAL, LANASLOT_INITIAL, LANASLOT_INITIAL,
    LANASLOT_INITIAL, LANASLOT_INITIAL, LANASLOT_INITIAL, LANASLOT_INITIAL, LANASLOT_INITIAL, LANASLOT_INITIAL,
};

// The configuration dialog's working copy.
LANASLOT ConfigSlots[MAX_LANA_SLOTS];

static_assert(sizeof(DLGPROC) == sizeof(PVOID), "a dialog procedure's address fits a pointer exchange");
static_assert(sizeof(HWND) == sizeof(PVOID), "a window handle fits a pointer exchange");

// A compare-exchange that changes nothing reads the value atomically.
static SHORT ReadShared16(SHORT volatile *lpn) {
    return InterlockedCompareExchange16(lpn, 0, 0);
}

// 32-bit Windows offers no 16-bit exchange, so a store is a compare-exchange repeated until it lands.
static void WriteShared16(SHORT volatile *lpn, SHORT nValue) {
    SHORT nSeen = ReadShared16(lpn);
    for (;;) {
        SHORT nWas = InterlockedCompareExchange16(lpn, nValue, nSeen);
        if (nWas == nSeen)
            return;
        nSeen = nWas;
    }
}

static PVOID ReadSharedPointer(PVOID volatile *lpp) {
    return InterlockedCompareExchangePointer(lpp, NULL, NULL);
}

int FindSlotByDisplay(HWND hwndDisplay) {
    int i;

    if (hwndDisplay == NULL)
        return -1;
    for (i = 0; i < MAX_LANA_SLOTS; i++) {
        if (GetSlotDisplayWindow((WORD)i) == hwndDisplay)
            return i;
    }
    return -1;
}

SHORT GetSlotFrequency(WORD lana) {
    if (lana >= MAX_LANA_SLOTS)
        return -1;
    return ReadShared16(&LanaSlots[lana].nFrequency);
}

void SetSlotFrequency(WORD lana, SHORT nFrequency) {
    if (lana < MAX_LANA_SLOTS)
        WriteShared16(&LanaSlots[lana].nFrequency, nFrequency);
}

SHORT GetSlotHold(WORD lana) {
    if (lana >= MAX_LANA_SLOTS)
        return 0;
    return ReadShared16(&LanaSlots[lana].fHold);
}

void SetSlotHold(WORD lana, SHORT fHold) {
    if (lana < MAX_LANA_SLOTS)
        WriteShared16(&LanaSlots[lana].fHold, fHold);
}

DLGPROC GetSlotDisplayProc(WORD lana) {
    if (lana >= MAX_LANA_SLOTS)
        return NULL;
    return (DLGPROC)ReadSharedPointer((PVOID volatile *)&LanaSlots[lana].lpfnDisplay);
}

void SetSlotDisplayProc(WORD lana, DLGPROC lpfnDisplay) {
    if (lana < MAX_LANA_SLOTS)
        InterlockedExchangePointer((PVOID volatile *)&LanaSlots[lana].lpfnDisplay, (PVOID)lpfnDisplay);
}

HWND GetSlotDisplayWindow(WORD lana) {
    if (lana >= MAX_LANA_SLOTS)
        return NULL;
    return (HWND)ReadSharedPointer((PVOID volatile *)&LanaSlots[lana].hwndDisplay);
}

void SetSlotDisplayWindow(WORD lana, HWND hwndDisplay) {
    if (lana < MAX_LANA_SLOTS)
        InterlockedExchangePointer((PVOID volatile *)&LanaSlots[lana].hwndDisplay, (PVOID)hwndDisplay);
}
