// Threads as kernel objects: a thread handle is signalled when its thread has ended.
#pragma once

#include "kernel_object.h"

#include <atomic>

namespace platform::kernel {

class ThreadObject : public WaitableObject {
public:
    explicit ThreadObject(DWORD id) : id_(id) {}
    DWORD id() const { return id_; }

    bool is_signaled_for(DWORD) const override { return ended_; }
    bool take(DWORD) override { return false; }

    // With sync_lock() held.
    bool ended() const { return ended_; }
    DWORD exit_code() const { return ended_ ? exit_code_ : STILL_ACTIVE; }
    void mark_ended(DWORD exit_code);

    // Suspension with a count, as SuspendThread and ResumeThread keep it. A thread created suspended starts
    // its routine when the count first reaches zero; a running thread is stopped by a signal whose handler
    // sleeps until the count is zero again.
    DWORD suspend();  // the previous count, or (DWORD)-1 with the last error set
    DWORD resume();   // the previous count
    void start_suspended(DWORD count) { suspend_count_ = count; }
    void wait_until_released();  // the new thread, before its start routine
    void set_native(unsigned long native);
    std::atomic<DWORD> &suspend_count() { return suspend_count_; }

private:
    DWORD id_;
    bool ended_ = false;
    DWORD exit_code_ = STILL_ACTIVE;
    std::atomic<DWORD> suspend_count_ = 0;
    bool released_ = false;  // past the start gate
    unsigned long native_ = 0;
    bool has_native_ = false;
    std::condition_variable gate_;
};

// The calling thread's object; threads not started by CreateThread get one on first use.
std::shared_ptr<ThreadObject> current_thread_object();

// Called when the calling thread first owns a mutex / no longer owns it, so that a thread that ends while
// owning one abandons it.
class MutexObject;
void note_mutex_owned(const std::shared_ptr<MutexObject> &mutex);
void note_mutex_released(const MutexObject *mutex);

}  // namespace platform::kernel
