// SetTimer and KillTimer: window and thread timers that the owner's message queue turns into WM_TIMER.
#include "timers.h"

#include "window.h"

#include <algorithm>
#include <atomic>

namespace platform::user {
namespace {

// Thread timer ids are unique in the process, so that one never names another thread's timer.
std::atomic<UINT_PTR> next_thread_timer_id{1};

}  // namespace

UINT_PTR TimerList::set(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc, Clock::time_point now) {
    auto period = std::chrono::milliseconds(elapse);
    auto found = std::find_if(timers_.begin(), timers_.end(), [&](auto &t) { return t.hwnd == hwnd && t.id == id; });
    if (found != timers_.end()) {
        *found = Timer{hwnd, id, period, proc, now + period};
        return id;
    }
    if (!hwnd)
        id = next_thread_timer_id++;
    timers_.push_back(Timer{hwnd, id, period, proc, now + period});
    return id;
}

bool TimerList::kill(HWND hwnd, UINT_PTR id) {
    return std::erase_if(timers_, [&](auto &t) { return t.hwnd == hwnd && t.id == id; }) != 0;
}

void TimerList::kill_window(HWND hwnd) {
    std::erase_if(timers_, [&](auto &t) { return t.hwnd == hwnd; });
}

bool TimerList::has_proc(TIMERPROC proc) const {
    return std::any_of(timers_.begin(), timers_.end(), [&](auto &t) { return t.proc == proc; });
}

bool TimerList::any_elapsed(Clock::time_point now) const {
    return std::any_of(timers_.begin(), timers_.end(), [&](auto &t) { return t.due <= now; });
}

std::optional<TimerList::Clock::time_point> TimerList::next_elapse(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    for (auto &t : timers_)
        if (t.due > now && (!next || t.due < *next))
            next = t.due;
    return next;
}

bool TimerList::take_elapsed(MSG &out, HWND filter, Clock::time_point now, bool remove) {
    Timer *first = nullptr;
    for (auto &t : timers_)
        if (t.due <= now && (!first || t.due < first->due) && matches_window_filter(t.hwnd, filter))
            first = &t;
    if (!first)
        return false;
    out = MSG{};
    out.hwnd = first->hwnd;
    out.message = WM_TIMER;
    out.wParam = first->id;
    out.lParam = reinterpret_cast<LPARAM>(first->proc);
    out.time = GetTickCount();
    if (remove)
        first->due = now + first->period;
    return true;
}

bool dispatch_to_timer_proc(const MSG &message) {
    if (message.message != WM_TIMER || !message.lParam)
        return false;
    // Anyone may post a WM_TIMER: only a procedure that one of this thread's timers was set with is called.
    auto proc = reinterpret_cast<TIMERPROC>(message.lParam);
    if (current_queue()->has_timer_proc(proc))
        proc(message.hwnd, WM_TIMER, message.wParam, GetTickCount());
    return true;
}

namespace {

// The queue that a window's timers, or this thread's own, belong to; null (with the last error set) for a
// handle that names no window.
std::shared_ptr<MessageQueue> timer_queue(HWND hwnd) {
    if (!hwnd)
        return current_queue();
    auto window = find_window(hwnd);
    return window ? window->queue : nullptr;
}

}  // namespace
}  // namespace platform::user

using namespace platform::user;

extern "C" UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    auto queue = timer_queue(hWnd);
    if (!queue)
        return 0;
    UINT elapse = std::clamp<UINT>(uElapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    UINT_PTR id = queue->set_timer(hWnd, nIDEvent, elapse, lpTimerFunc);
    return id ? id : 1;  // a window timer may have id 0, but the result must say success
}

extern "C" BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    auto queue = timer_queue(hWnd);
    if (!queue)
        return FALSE;
    if (queue->kill_timer(hWnd, uIDEvent))
        return TRUE;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}
