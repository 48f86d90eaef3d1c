#include "kernel_object.h"

#include "handle_table.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace platform::kernel {

std::mutex &sync_lock() {
    static std::mutex *lock = new std::mutex;  // outlives every thread that may still wait at exit
    return *lock;
}

void WaitableObject::remove_waiter(Waiter *waiter) { std::erase(waiters_, waiter); }

void WaitableObject::wake_waiters() {
    for (auto *waiter : waiters_)
        waiter->wake.notify_one();
}

DWORD wait_for_objects(const std::vector<std::shared_ptr<WaitableObject>> &objects, bool wait_all,
                       DWORD milliseconds) {
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> deadline;
    if (milliseconds != INFINITE)
        deadline = Clock::now() + std::chrono::milliseconds(milliseconds);

    DWORD self = GetCurrentThreadId();
    std::unique_lock lock(sync_lock());
    Waiter waiter;
    bool registered = false;
    auto unregister = [&] {
        if (registered)
            for (auto &object : objects)
                object->remove_waiter(&waiter);
    };

    for (;;) {
        if (wait_all) {
            bool all = std::all_of(objects.begin(), objects.end(),
                                   [&](auto &object) { return object->is_signaled_for(self); });
            if (all) {
                std::optional<DWORD> abandoned;
                for (DWORD i = 0; i < objects.size(); ++i)
                    if (objects[i]->take(self) && !abandoned)
                        abandoned = i;
                unregister();
                return abandoned ? WAIT_ABANDONED_0 + *abandoned : WAIT_OBJECT_0;
            }
        } else {
            for (DWORD i = 0; i < objects.size(); ++i) {
                if (objects[i]->is_signaled_for(self)) {
                    bool abandoned = objects[i]->take(self);
                    unregister();
                    return (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
                }
            }
        }
        if (milliseconds == 0 || (deadline && Clock::now() >= *deadline)) {
            unregister();
            return WAIT_TIMEOUT;
        }
        if (!registered) {
            for (auto &object : objects)
                object->add_waiter(&waiter);
            registered = true;
        }
        if (deadline)
            waiter.wake.wait_until(lock, *deadline);
        else
            waiter.wake.wait(lock);
    }
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
