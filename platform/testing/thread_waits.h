// What a test needs to know before it acts on another thread: that the thread is blocked in a wait, or that a
// SuspendThread has stopped it. Both are reported by the kernel as they happen, so a test waits for the event
// instead of guessing how long it takes.
#pragma once

#include <windows.h>

namespace platform::testing {

// True once the thread with this id is blocked in a wait (WaitForSingleObject, WaitForMultipleObjects), so
// that a signal given now completes that wait; false if it is not within `milliseconds`.
bool wait_until_parked(DWORD thread_id, DWORD milliseconds = 30000);

// How many times so far a suspension has stopped a running thread in this process, and a wait until more
// than `count` have.
unsigned stops_so_far();
bool wait_until_stops_exceed(unsigned count, DWORD milliseconds = 30000);

}  // namespace platform::testing
