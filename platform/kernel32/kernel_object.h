// Kernel objects behind HANDLEs. Waitable objects keep their state under one process-wide lock, so that a
// wait on several objects can test and take all of them in one step.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::kernel {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    KernelObject() = default;
    KernelObject(const KernelObject &) = delete;
    KernelObject &operator=(const KernelObject &) = delete;
};

// The lock that guards the state of every waitable object.
std::mutex &sync_lock();

// One thread blocked in a wait. Objects wake it when they may have become signalled; it then re-tests.
struct Waiter {
    std::condition_variable wake;
};

class WaitableObject : public KernelObject {
public:
    // Both are called with sync_lock() held. `thread` is the waiting thread's id.
    virtual bool is_signaled_for(DWORD thread) const = 0;
    // Takes the signal as a satisfied wait does (an auto-reset event clears, a mutex becomes owned).
    // Returns true when the object was an abandoned mutex.
    virtual bool take(DWORD thread) = 0;

    void add_waiter(Waiter *waiter) { waiters_.push_back(waiter); }
    void remove_waiter(Waiter *waiter);

protected:
    // Call with sync_lock() held after the object may have become signalled.
    void wake_waiters();

private:
    std::vector<Waiter *> waiters_;
};

// Waits for objects as WaitForMultipleObjects does; returns WAIT_OBJECT_0 + i, WAIT_ABANDONED_0 + i or
// WAIT_TIMEOUT. An extra waitable (the caller's message queue, say) may be passed as the last object.
DWORD wait_for_objects(const std::vector<std::shared_ptr<WaitableObject>> &objects, bool wait_all,
                       DWORD milliseconds);

}  // namespace platform::kernel
