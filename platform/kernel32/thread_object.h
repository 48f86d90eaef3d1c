// Threads as kernel objects: a thread handle is signalled when its thread has ended.
#pragma once

#include "kernel_object.h"

#include <pthread.h>

#include <atomic>

namespace platform::kernel {

class ThreadObject : public WaitableObject {
public:
    ThreadObject(DWORD id, DWORD initial_suspend_count) : id_(id), suspend_count_(initial_suspend_count) {}
    DWORD id() const { return id_; }

    bool is_signaled_for(DWORD) const override { return ended_; }
    bool take(DWORD) override { return false; }

    // All with sync_lock() held.
    DWORD exit_code() const { return ended_ ? exit_code_ : STILL_ACTIVE; }
    void mark_ended(DWORD exit_code);
    void set_current_wait(Waiter *waiter) { current_wait_ = waiter; }
    // Called by the thread itself once it runs (with the lock held, or before anybody else knows the
    // object): from then on suspension stops it with a signal.
    void attach(pthread_t native);

    // Suspension with a count, as SuspendThread and ResumeThread keep it. A thread created suspended starts
    // its routine when the count first reaches zero; a running thread is stopped by a signal whose handler
    // sleeps until the count is zero again; a suspended thread's waits take nothing.
    DWORD suspend();            // the previous count, or (DWORD)-1 with the last error set
    DWORD resume();             // the previous count
    void wait_until_started();  // the new thread, before its start routine
    std::atomic<DWORD> &suspend_count() { return suspend_count_; }

private:
    DWORD id_;
    bool ended_ = false;
    DWORD exit_code_ = STILL_ACTIVE;
    std::atomic<DWORD> suspend_count_;
    bool started_ = false;  // past the start gate
    bool attached_ = false;
    pthread_t native_{};
    Waiter *current_wait_ = nullptr;
    std::condition_variable start_gate_;
};

// The calling thread's object; threads not started by CreateThread get one on first use.
std::shared_ptr<ThreadObject> current_thread_object();

}  // namespace platform::kernel
