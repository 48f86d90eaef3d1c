#include "kernel_object.h"

#include "handle_table.h"
#include "thread_object.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <set>

namespace platform::kernel {
namespace {

// The threads blocked in a wait, under sync_lock(), and the condition that announces a new one.
std::multiset<DWORD> &parked_threads() {
    static auto *parked = new std::multiset<DWORD>;
    return *parked;
}

std::condition_variable &parked_changed() {
    static auto *changed = new std::condition_variable;
    return *changed;
}

// Wakes the thread asleep on `word`. Only the address is passed to the kernel, which reads nothing there, so
// this may follow the last store to a waiter whose thread has already returned.
void futex_wake(const std::atomic<std::uint32_t> *word) {
    ::syscall(SYS_futex, word, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

// Sleeps while `word` still holds `seen`, at most until `until` on the monotonic clock the steady clock reads.
// Returns on a wake-up, at the time, on a signal, or at once when the word has changed.
void futex_sleep(std::atomic<std::uint32_t> &word, std::uint32_t seen,
                 std::optional<std::chrono::steady_clock::time_point> until) {
    timespec at{};
    if (until) {
        auto since_epoch = std::chrono::duration_cast<std::chrono::nanoseconds>(until->time_since_epoch()).count();
        since_epoch = std::max<long long>(since_epoch, 0);
        at = {static_cast<time_t>(since_epoch / 1'000'000'000), static_cast<long>(since_epoch % 1'000'000'000)};
    }
    ::syscall(SYS_futex, &word, FUTEX_WAIT_BITSET_PRIVATE, seen, until ? &at : nullptr, nullptr,
              FUTEX_BITSET_MATCH_ANY);
}

}  // namespace

void Waiter::poke() {
    state.fetch_add(1, std::memory_order_release);
    futex_wake(&state);
}

std::mutex &sync_lock() {
    static std::mutex *lock = new std::mutex;  // outlives every thread that may still wait at exit
    return *lock;
}

void WaitableObject::remove_waiter(Waiter *waiter) {
    std::erase(waiters_, waiter);
}

void WaitableObject::wake_waiters() {
    // Completing a wait removes its waiter from this list, so walk a copy. A waiter completed here may be gone
    // at once and is not looked at again; every other one stays: its thread cannot leave the wait before it
    // gets the lock that the caller holds.
    auto waiters = waiters_;
    for (auto *waiter : waiters)
        if (!waiter->result)
            try_complete_wait(*waiter);
}

void WaitableObject::deadline_moved() {
    for (auto *waiter : waiters_)
        waiter->poke();
}

namespace {

// With sync_lock() held: registers the waiter with its objects and its thread, as blocked in its wait.
void park(Waiter &waiter) {
    for (auto &object : *waiter.objects)
        object->add_waiter(&waiter);
    waiter.thread->set_current_wait(&waiter);
    waiter.parked_entry = parked_threads().insert(waiter.thread_id);
    waiter.parked = true;
    parked_changed().notify_all();
}

// With sync_lock() held: the waiter's thread no longer waits.
void unpark(Waiter &waiter) {
    for (auto &object : *waiter.objects)
        object->remove_waiter(&waiter);
    waiter.thread->set_current_wait(nullptr);
    parked_threads().erase(waiter.parked_entry);
    waiter.parked = false;
}

}  // namespace

bool try_complete_wait(Waiter &waiter) {
    // A suspended thread takes nothing: what it waits for stays for the threads that run.
    if (waiter.thread->suspend_count().load() > 0)
        return false;
    const auto &objects = *waiter.objects;
    std::optional<DWORD> result;
    if (waiter.wait_all) {
        bool all = std::all_of(objects.begin(), objects.end(),
                               [&](auto &object) { return object->is_signaled_for(waiter.thread_id); });
        if (!all)
            return false;
        // A wait for all that takes an abandoned mutex says so without an index, as Windows does.
        bool abandoned = false;
        for (auto &object : objects)
            abandoned |= object->take(waiter.thread_id);
        result = abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
    } else {
        for (DWORD i = 0; i < objects.size() && !result; ++i)
            if (objects[i]->is_signaled_for(waiter.thread_id))
                result = (objects[i]->take(waiter.thread_id) ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
        if (!result)
            return false;
    }
    waiter.result = result;
    if (!waiter.parked)
        return true;
    // The waiting thread leaves without the lock: its bookkeeping ends here, and the store that tells it so is
    // the last touch of the waiter.
    unpark(waiter);
    auto *state = &waiter.state;
    state->fetch_add(Waiter::complete | 1, std::memory_order_release);
    futex_wake(state);
    return true;
}

namespace {

using Clock = WaitableObject::Clock;

// The earliest of the wait's own deadline and those of its objects.
std::optional<Clock::time_point> next_wake(const std::vector<std::shared_ptr<WaitableObject>> &objects,
                                           std::optional<Clock::time_point> deadline) {
    for (auto &object : objects)
        if (auto due = object->next_deadline(); due && (!deadline || *due < *deadline))
            deadline = due;
    return deadline;
}

}  // namespace

DWORD wait_for_objects(const std::vector<std::shared_ptr<WaitableObject>> &objects, bool wait_all, DWORD milliseconds) {
    std::optional<Clock::time_point> deadline;
    if (milliseconds != INFINITE)
        deadline = Clock::now() + std::chrono::milliseconds(milliseconds);

    auto self = current_thread_object();
    SyncGuard guard;
    Waiter waiter{self.get(), self->id(), &objects, wait_all};
    if (try_complete_wait(waiter))
        return *waiter.result;
    if (milliseconds == 0)
        return WAIT_TIMEOUT;

    park(waiter);
    for (;;) {
        auto wake = next_wake(objects, deadline);
        auto seen = waiter.state.load(std::memory_order_relaxed);
        guard.lock().unlock();
        futex_sleep(waiter.state, seen, wake);
        // Completed by another thread, which has also ended the bookkeeping: nothing here needs the lock.
        if (waiter.state.load(std::memory_order_acquire) & Waiter::complete)
            return *waiter.result;
        guard.lock().lock();
        if (waiter.result)
            return *waiter.result;
        // Woken early (a moved deadline, a signal): sleep again, with the deadlines as they are now.
        if (!wake || Clock::now() < *wake)
            continue;
        // A time has come that nobody announces: an object's own deadline, or the wait's.
        if (try_complete_wait(waiter))
            return *waiter.result;
        if (deadline && Clock::now() >= *deadline)
            break;
    }
    unpark(waiter);
    return WAIT_TIMEOUT;
}

bool wait_until_thread_parked(DWORD thread_id, DWORD milliseconds) {
    SyncGuard guard;
    return parked_changed().wait_for(guard.lock(), std::chrono::milliseconds(milliseconds),
                                     [&] { return parked_threads().count(thread_id) > 0; });
}

}  // namespace platform::kernel

namespace {

using platform::kernel::WaitableObject;

// Resolves the handles of a wait; false (with the last error set) when one names no waitable object.
bool resolve_waitables(DWORD count, const HANDLE *handles, std::vector<std::shared_ptr<WaitableObject>> &objects) {
    objects.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        auto object = std::dynamic_pointer_cast<WaitableObject>(platform::kernel::lookup_handle(handles[i]));
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        objects.push_back(std::move(object));
    }
    return true;
}

}  // namespace

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    std::vector<std::shared_ptr<WaitableObject>> objects;
    if (!resolve_waitables(1, &hHandle, objects))
        return WAIT_FAILED;
    return platform::kernel::wait_for_objects(objects, false, dwMilliseconds);
}

extern "C" DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll,
                                               DWORD dwMilliseconds) {
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<WaitableObject>> objects;
    if (!resolve_waitables(nCount, lpHandles, objects))
        return WAIT_FAILED;
    if (bWaitAll) {
        // Waiting for all of one object twice could never be satisfied atomically.
        for (DWORD i = 0; i < nCount; ++i)
            for (DWORD j = i + 1; j < nCount; ++j)
                if (objects[i] == objects[j]) {
                    SetLastError(ERROR_INVALID_PARAMETER);
                    return WAIT_FAILED;
                }
    }
    return platform::kernel::wait_for_objects(objects, bWaitAll, dwMilliseconds);
}
