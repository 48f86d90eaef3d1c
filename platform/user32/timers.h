// The timers of one message queue. An elapsed timer has one WM_TIMER waiting, made when its owner finds
// nothing else in the queue, and starts its next period when the owner takes that message: a busy owner
// gets one message per timer, never a backlog. The queue uses these with the kernel's sync lock held.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <vector>

namespace platform::user {

class TimerList {
public:
    using Clock = std::chrono::steady_clock;

    // Starts a timer, or starts the one with the same window and id afresh. A thread timer (null window)
    // whose id is not in the list gets a new id. Returns the id that kills the timer.
    UINT_PTR set(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc, Clock::time_point now);
    bool kill(HWND hwnd, UINT_PTR id);
    void kill_window(HWND hwnd);
    bool has_proc(TIMERPROC proc) const;

    bool any_elapsed(Clock::time_point now) const;
    // When the next timer that has not elapsed yet will.
    std::optional<Clock::time_point> next_elapse(Clock::time_point now) const;
    // The WM_TIMER of the timer that elapsed first among those whose window passes the GetMessage filter.
    // Taking it (`remove`) starts the timer's next period.
    bool take_elapsed(MSG &out, HWND filter, Clock::time_point now, bool remove);

private:
    struct Timer {
        HWND hwnd;
        UINT_PTR id;
        Clock::duration period;
        TIMERPROC proc;
        Clock::time_point due;
    };
    std::vector<Timer> timers_;
};

// Calls the timer procedure that a WM_TIMER names in its lParam, as DispatchMessage does in place of the
// window procedure. False when the message names none.
bool dispatch_to_timer_proc(const MSG &message);

}  // namespace platform::user
