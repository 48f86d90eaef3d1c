// SuspendThread on Linux: a signal stops the target thread inside its handler until its suspend count is
// zero again. A thread inside the platform's own locked sections defers the stop to the end of the section.
#pragma once

#include <windows.h>

#include <pthread.h>

#include <atomic>

namespace platform::kernel {

// While one is alive on a thread, a stop request for that thread waits until the last one ends.
class SuspensionDeferral {
public:
    SuspensionDeferral();
    ~SuspensionDeferral();
    SuspensionDeferral(const SuspensionDeferral &) = delete;
    SuspensionDeferral &operator=(const SuspensionDeferral &) = delete;
};

// The calling thread's suspend count, which the stop waits on; null when the thread has ended.
void set_own_suspend_count(std::atomic<DWORD> *count);

// Asks a thread to stop (its count has just become non-zero) or to check its count again.
void send_stop(pthread_t thread);
void send_restart(pthread_t thread);

// For tests: how many stops have taken effect in this process (a stopped thread counts once it sleeps), and a
// wait of up to `milliseconds` until that number exceeds `count`. True when it does.
unsigned stops_taken();
bool wait_until_stops_exceed(unsigned count, DWORD milliseconds);

}  // namespace platform::kernel
