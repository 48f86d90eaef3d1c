#include "handle_table.h"
#include "mutex_object.h"
#include "thread_object.h"

namespace platform::kernel {

bool MutexObject::take(DWORD thread) {
    if (owner_ == thread) {
        ++recursion_;
        return false;
    }
    owner_ = thread;
    recursion_ = 1;
    note_mutex_owned(shared_from_this());
    bool was_abandoned = abandoned_;
    abandoned_ = false;
    return was_abandoned;
}

bool MutexObject::release(DWORD thread) {
    if (owner_ != thread || owner_ == 0)
        return false;
    if (--recursion_ == 0) {
        owner_ = 0;
        note_mutex_released(this);
        wake_waiters();
    }
    return true;
}

void MutexObject::abandon() {
    owner_ = 0;
    recursion_ = 0;
    abandoned_ = true;
    wake_waiters();
}

}  // namespace platform::kernel

using platform::kernel::MutexObject;

extern "C" HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
    if (lpName) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto mutex = std::make_shared<MutexObject>();
    if (bInitialOwner) {
        std::lock_guard lock(platform::kernel::sync_lock());
        mutex->take(GetCurrentThreadId());
    }
    HANDLE handle = platform::kernel::insert_handle(mutex);
    if (!handle)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return handle;
}

extern "C" BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    auto mutex = platform::kernel::lookup_handle_as<MutexObject>(hMutex);
    if (!mutex)
        return FALSE;
    std::lock_guard lock(platform::kernel::sync_lock());
    if (!mutex->release(GetCurrentThreadId())) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}
