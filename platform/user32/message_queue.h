// One message queue per thread. The queue is a waitable kernel object, so that a thread can wait for
// messages and kernel objects at once; its state is guarded by the kernel's sync lock.
#pragma once

#include "display/backend.h"
#include "kernel32/kernel_object.h"
#include "user32/timers.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>

namespace platform::user {

// A message sent from another thread; the sender waits until `done`.
class SentMessage : public kernel::WaitableObject {
public:
    SentMessage(HWND target, UINT id, WPARAM first, LPARAM second)
        : hwnd(target), message(id), wparam(first), lparam(second) {}
    bool is_signaled_for(DWORD) const override { return done; }
    bool take(DWORD) override { return false; }
    void complete(LRESULT value);  // call with the sync lock held

    HWND hwnd;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    // Set for the platform's own work on the owner's thread instead of a message to the window procedure.
    const std::function<LRESULT()> *internal_call = nullptr;
    LRESULT result = 0;
    bool done = false;
};

class MessageQueue : public kernel::WaitableObject {
public:
    explicit MessageQueue(DWORD thread_id) : thread_id_(thread_id) {}

    DWORD thread_id() const { return thread_id_; }

    // From any thread.
    void post(const MSG &message);
    void post_input(const display::InputEvent &event);
    void send(std::shared_ptr<SentMessage> message);
    void post_quit(int exit_code);
    void add_paint(int delta);  // windows of this queue whose update region became (in)valid
    // Completes every message still waiting here with 0; the owner thread is ending.
    void abandon();
    // Timers of the owner's windows (or of the owner itself, with a null window); see TimerList.
    UINT_PTR set_timer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
    bool kill_timer(HWND hwnd, UINT_PTR id);
    void kill_window_timers(HWND hwnd);

    // From the owner thread.
    std::shared_ptr<SentMessage> next_sent();
    bool take_posted(MSG &out, HWND filter, UINT min, UINT max, bool remove);
    bool take_input(display::InputEvent &out);
    bool peek_input(display::InputEvent &out) const;
    bool take_quit(int &exit_code);
    bool has_paint() const;
    bool take_timer(MSG &out, HWND filter, bool remove);
    bool has_timer_proc(TIMERPROC proc) const;
    DWORD status() const;  // QS_* bits of what waits
    void set_wake_mask(DWORD mask);
    // The owner parks in a wait for messages, or leaves it.
    void set_owner_waiting(bool waiting);

    // From another thread: waits until the owner is parked with nothing of `mask` waiting for it (it has
    // handled what came before); false when `deadline` passed first.
    bool wait_until_idle(DWORD mask, std::chrono::steady_clock::time_point deadline) const;

    bool is_signaled_for(DWORD) const override;
    bool take(DWORD) override { return false; }
    std::optional<Clock::time_point> next_deadline() const override;

private:
    DWORD status_locked() const;

    DWORD thread_id_;
    std::deque<MSG> posted_;
    std::deque<display::InputEvent> input_;
    std::deque<std::shared_ptr<SentMessage>> sent_;
    bool quit_ = false;
    int quit_code_ = 0;
    int paint_windows_ = 0;
    TimerList timers_;
    DWORD wake_mask_ = QS_ALLINPUT;
    bool abandoned_ = false;
    bool owner_waiting_ = false;
    mutable std::condition_variable idle_changed_;
};

// The calling thread's queue, made on first use.
std::shared_ptr<MessageQueue> current_queue();
// The queue of a running thread that has made one; null for any other id.
std::shared_ptr<MessageQueue> queue_of_thread(DWORD thread_id);

// Whether `hwnd` passes a GetMessage window filter (null passes everything).
bool matches_window_filter(HWND hwnd, HWND filter);

}  // namespace platform::user
