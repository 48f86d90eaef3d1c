// Keeps a slot's report buffer alive while a display window uses it. DisplayDlgProc holds the guard for the
// whole of each message; the worker that frees a buffer takes it around clearing hwndDisplay and GlobalFree,
// so a message that has found its slot never meets a freed buffer. Neither side may wait for the other
// while holding it.
#pragma once

#include <windows.h>

void LockDisplayedReports(void);
void UnlockDisplayedReports(void);
