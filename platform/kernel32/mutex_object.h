// Mutexes: owned by one thread, recursive, abandoned when the owner ends without releasing.
#pragma once

#include "kernel_object.h"

namespace platform::kernel {

class MutexObject : public WaitableObject, public std::enable_shared_from_this<MutexObject> {
public:
    bool is_signaled_for(DWORD thread) const override { return owner_ == 0 || owner_ == thread; }
    bool take(DWORD thread) override;
    // With sync_lock() held. False when `thread` does not own the mutex.
    bool release(DWORD thread);
    // The owner ended: the mutex becomes free and the wait that takes it next is told it was abandoned.
    void abandon();

private:
    DWORD owner_ = 0;
    DWORD recursion_ = 0;
    bool abandoned_ = false;
};

// With sync_lock() held, when a thread ends: abandons every mutex it still owns.
void abandon_mutexes_owned_by(DWORD thread);

}  // namespace platform::kernel
