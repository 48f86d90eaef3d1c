#include "handle_table.h"
#include "mutex_object.h"

#include <unordered_map>

namespace platform::kernel {
namespace {

// The mutexes each thread owns, so that its end can abandon them. A wait may be completed by another thread
// on the owner's behalf, so this is kept by thread id rather than in the owner's own storage.
std::unordered_map<DWORD, std::vector<std::shared_ptr<MutexObject>>> &owned_mutexes() {
    static auto *owned = new std::unordered_map<DWORD, std::vector<std::shared_ptr<MutexObject>>>;
    return *owned;
}

}  // namespace

bool MutexObject::take(DWORD thread) {
    if (owner_ == thread) {
        ++recursion_;
        return false;
    }
    owner_ = thread;
    recursion_ = 1;
    owned_mutexes()[thread].push_back(shared_from_this());
    bool was_abandoned = abandoned_;
    abandoned_ = false;
    return was_abandoned;
}

bool MutexObject::release(DWORD thread) {
    if (owner_ != thread || owner_ == 0)
        return false;
    if (--recursion_ == 0) {
        owner_ = 0;
        auto found = owned_mutexes().find(thread);
        if (found != owned_mutexes().end()) {
            std::erase_if(found->second, [&](auto &owned) { return owned.get() == this; });
            if (found->second.empty())
                owned_mutexes().erase(found);
        }
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

void abandon_mutexes_owned_by(DWORD thread) {
    auto found = owned_mutexes().find(thread);
    if (found == owned_mutexes().end())
        return;
    auto mutexes = std::move(found->second);
    owned_mutexes().erase(found);
    for (auto &mutex : mutexes)
        mutex->abandon();
}

}  // namespace platform::kernel

using platform::kernel::MutexObject;

extern "C" HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
    if (lpName) {
        // Named objects are shared between processes on Windows; nothing here needs them.
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto mutex = std::make_shared<MutexObject>();
    DWORD self = GetCurrentThreadId();
    if (bInitialOwner) {
        platform::kernel::SyncGuard guard;
        mutex->take(self);
    }
    HANDLE handle = platform::kernel::insert_handle(mutex);
    if (!handle) {
        if (bInitialOwner) {
            platform::kernel::SyncGuard guard;
            mutex->release(self);
        }
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);  // as for a new named object: the caller may test for ERROR_ALREADY_EXISTS
    return handle;
}

extern "C" BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    auto mutex = platform::kernel::lookup_handle_as<MutexObject>(hMutex);
    if (!mutex)
        return FALSE;
    DWORD self = GetCurrentThreadId();
    platform::kernel::SyncGuard guard;
    if (!mutex->release(self)) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}
