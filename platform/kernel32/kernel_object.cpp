#include "kernel_object.h"

#include "handle_table.h"
#include "thread_object.h"

#include <algorithm>
#include <chrono>
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

}  // namespace

std::mutex &sync_lock() {
    static std::mutex *lock = new std::mutex;  // outlives every thread that may still wait at exit
    return *lock;
}

void WaitableObject::remove_waiter(Waiter *waiter) {
    std::erase(waiters_, waiter);
}

void WaitableObject::wake_waiters() {
    // Completing a wait removes its waiter from this list, so walk a copy. Every waiter in it stays alive:
    // its thread cannot leave the wait before it gets the lock that the caller holds.
    auto waiters = waiters_;
    for (auto *waiter : waiters)
        if (!waiter->result && try_complete_wait(*waiter))
            waiter->wake.notify_one();
}

void WaitableObject::deadline_moved() {
    for (auto *waiter : waiters_)
        waiter->wake.notify_one();
}

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
    for (auto &object : objects)
        object->remove_waiter(&waiter);
    waiter.result = result;
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
    Waiter waiter{self.get(), self->id(), &objects, wait_all, std::nullopt, {}};
    if (try_complete_wait(waiter))
        return *waiter.result;
    if (milliseconds == 0)
        return WAIT_TIMEOUT;

    for (auto &object : objects)
        object->add_waiter(&waiter);
    self->set_current_wait(&waiter);
    auto parked = parked_threads().insert(self->id());
    parked_changed().notify_all();
    while (!waiter.result) {
        auto wake = next_wake(objects, deadline);
        if (!wake) {
            waiter.wake.wait(guard.lock());
            continue;
        }
        if (waiter.wake.wait_until(guard.lock(), *wake) == std::cv_status::no_timeout)
            continue;
        if (try_complete_wait(waiter) || (deadline && Clock::now() >= *deadline))
            break;
    }
    parked_threads().erase(parked);
    self->set_current_wait(nullptr);
    if (waiter.result)
        return *waiter.result;
    for (auto &object : objects)
        object->remove_waiter(&waiter);
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
