#include "display_guard.h"

// Made on first use, so no start-up code has to remember it; the language makes that first use safe when
// two threads race to it.
static LPCRITICAL_SECTION DisplayGuard(void) {
    static CRITICAL_SECTION csDisplayedReports;
    static BOOL fReady = (InitializeCriticalSection(&csDisplayedReports), TRUE);

    (void)fReady;
    return &csDisplayedReports;
}

void LockDisplayedReports(void) {
    EnterCriticalSection(DisplayGuard());
}

void UnlockDisplayedReports(void) {
    LeaveCriticalSection(DisplayGuard());
}
