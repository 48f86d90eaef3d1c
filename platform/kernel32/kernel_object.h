// Kernel objects behind HANDLEs. Waitable objects keep their state under one process-wide lock, so that a
// wait on several objects can test and take all of them in one step.
#pragma once

#include <windows.h>

#include <chrono>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "suspension.h"

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

// Holds sync_lock(). While it is held, SuspendThread aimed at this thread takes effect only once it is
// released, so that a suspended thread never sits on the lock that every other thread's waits need.
class SyncGuard {
public:
    SyncGuard() : lock_(sync_lock()) {}
    std::unique_lock<std::mutex> &lock() { return lock_; }

private:
    SuspensionDeferral deferral_;  // declared first: taken before the lock, given up after it
    std::unique_lock<std::mutex> lock_;
};

class ThreadObject;
class WaitableObject;

// One thread blocked in a wait. Whoever makes one of its objects signalled completes the wait on the
// waiter's behalf, taking the objects, storing the result and ending the waiter's bookkeeping, so that a signal
// is handed to the waiters that were there when it came, in the order they began to wait. The waiting thread
// sleeps on `state` (a futex) and, once woken with its wait complete, returns without taking sync_lock()
// again: a thread handed a signal never queues for the lock its waker still holds.
struct Waiter {
    ThreadObject *thread;
    DWORD thread_id;
    const std::vector<std::shared_ptr<WaitableObject>> *objects;
    bool wait_all;
    std::optional<DWORD> result{};  // WAIT_OBJECT_0 + i or WAIT_ABANDONED_0 + i once the wait is satisfied
    // Counts the wake-ups; `complete` is set with the last one. With sync_lock() held, poke() and completing the
    // wait are the last things that touch the waiter: once `complete` is seen the waiting thread may be gone.
    static constexpr std::uint32_t complete = 1u << 31;
    std::atomic<std::uint32_t> state{0};
    bool parked = false;  // registered with its objects and its thread
    std::multiset<DWORD>::iterator parked_entry{};

    // With sync_lock() held: wakes the waiting thread to look at its objects' deadlines again.
    void poke();
};

class WaitableObject : public KernelObject {
public:
    using Clock = std::chrono::steady_clock;

    // All three are called with sync_lock() held. `thread` is the waiting thread's id.
    virtual bool is_signaled_for(DWORD thread) const = 0;
    // Takes the signal as a satisfied wait does (an auto-reset event clears, a mutex becomes owned).
    // Returns true when the object was an abandoned mutex.
    virtual bool take(DWORD thread) = 0;
    // The next moment, still to come, at which time alone may make the object signalled (a message queue's
    // timer elapsing): nobody calls wake_waiters() then, so a wait looks again itself.
    virtual std::optional<Clock::time_point> next_deadline() const { return std::nullopt; }

    void add_waiter(Waiter *waiter) { waiters_.push_back(waiter); }
    void remove_waiter(Waiter *waiter);

protected:
    // Call with sync_lock() held after the object may have become signalled: completes, oldest first, the
    // waits that it now satisfies.
    void wake_waiters();
    // Call with sync_lock() held after next_deadline() came nearer: the waiting threads sleep again, until
    // the new deadline.
    void deadline_moved();

private:
    std::vector<Waiter *> waiters_;
};

// With sync_lock() held: completes the waiter's wait if its objects allow it now (any one, or all of them
// at once) and its thread is not suspended, and wakes the thread when it is asleep in the wait. True when the
// wait is complete; a parked waiter must not be touched afterwards.
bool try_complete_wait(Waiter &waiter);

// Waits for objects as WaitForMultipleObjects does; returns WAIT_OBJECT_0 + i, WAIT_ABANDONED_0 + i or
// WAIT_TIMEOUT. An extra waitable (the caller's message queue, say) may be passed as the last object.
DWORD wait_for_objects(const std::vector<std::shared_ptr<WaitableObject>> &objects, bool wait_all, DWORD milliseconds);

// For tests: waits up to `milliseconds` until the thread with this id is blocked in wait_for_objects, where
// any signal of its objects completes its wait. True once it is.
bool wait_until_thread_parked(DWORD thread_id, DWORD milliseconds);

}  // namespace platform::kernel
