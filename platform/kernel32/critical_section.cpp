// Critical sections: a recursive lock kept on the heap behind the record's LockSemaphore field, with the
// owner and recursion count mirrored into the published fields.
#include <windows.h>

#include <mutex>

namespace {
std::recursive_mutex &lock_of(LPCRITICAL_SECTION section) {
    return *static_cast<std::recursive_mutex *>(section->LockSemaphore);
}
}  // namespace

extern "C" void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    *lpCriticalSection = {};
    lpCriticalSection->LockCount = -1;
    lpCriticalSection->LockSemaphore = new std::recursive_mutex;
}

extern "C" void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    lock_of(lpCriticalSection).lock();
    ++lpCriticalSection->RecursionCount;
    lpCriticalSection->OwningThread = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GetCurrentThreadId()));
}

extern "C" BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (!lock_of(lpCriticalSection).try_lock())
        return FALSE;
    ++lpCriticalSection->RecursionCount;
    lpCriticalSection->OwningThread = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GetCurrentThreadId()));
    return TRUE;
}

extern "C" void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (--lpCriticalSection->RecursionCount == 0)
        lpCriticalSection->OwningThread = nullptr;
    lock_of(lpCriticalSection).unlock();
}

extern "C" void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    delete &lock_of(lpCriticalSection);
    lpCriticalSection->LockSemaphore = nullptr;
}
