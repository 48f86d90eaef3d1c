// Events: a manual-reset event stays signalled until reset and releases every waiter; an auto-reset event is
// consumed by the one wait it satisfies.
#include "handle_table.h"

namespace platform::kernel {
namespace {

class EventObject : public WaitableObject {
public:
    EventObject(bool manual_reset, bool signaled) : manual_reset_(manual_reset), signaled_(signaled) {}

    bool is_signaled_for(DWORD) const override { return signaled_; }
    bool take(DWORD) override {
        if (!manual_reset_)
            signaled_ = false;
        return false;
    }
    void set() {
        signaled_ = true;
        wake_waiters();
    }
    void reset() { signaled_ = false; }

private:
    bool manual_reset_;
    bool signaled_;
};

}  // namespace
}  // namespace platform::kernel

using platform::kernel::EventObject;

extern "C" HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    if (lpName) {
        // Named objects are shared between processes on Windows; nothing here needs them.
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    HANDLE handle = platform::kernel::insert_handle(std::make_shared<EventObject>(bManualReset, bInitialState));
    if (!handle) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);  // as for a new named object: the caller may test for ERROR_ALREADY_EXISTS
    return handle;
}

extern "C" BOOL WINAPI SetEvent(HANDLE hEvent) {
    auto event = platform::kernel::lookup_handle_as<EventObject>(hEvent);
    if (!event)
        return FALSE;
    platform::kernel::SyncGuard guard;
    event->set();
    return TRUE;
}

extern "C" BOOL WINAPI ResetEvent(HANDLE hEvent) {
    auto event = platform::kernel::lookup_handle_as<EventObject>(hEvent);
    if (!event)
        return FALSE;
    platform::kernel::SyncGuard guard;
    event->reset();
    return TRUE;
}
