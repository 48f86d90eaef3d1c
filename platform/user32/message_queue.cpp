#include "message_queue.h"

#include "window.h"

#include <mutex>
#include <unordered_map>

namespace platform::user {
namespace {

bool in_range(UINT message, UINT min, UINT max) {
    return (min == 0 && max == 0) || (message >= min && message <= max);
}

bool is_pointer_input(display::InputType type) {
    return type == display::InputType::button_down || type == display::InputType::button_up ||
           type == display::InputType::double_click;
}

// The queues by thread id, for posting to a thread.
struct QueueRegistry {
    std::mutex lock;
    std::unordered_map<DWORD, std::weak_ptr<MessageQueue>> queues;
};

QueueRegistry &registry() {
    static auto *instance = new QueueRegistry;  // outlives every thread that may still end at exit
    return *instance;
}

// Ends the queue with its thread, so that no sender waits for a thread that is gone.
struct ThreadQueue {
    std::shared_ptr<MessageQueue> queue;
    ~ThreadQueue() {
        if (!queue)
            return;
        {
            std::lock_guard lock(registry().lock);
            registry().queues.erase(queue->thread_id());
        }
        queue->abandon();
    }
};

}  // namespace

void SentMessage::complete(LRESULT value) {
    result = value;
    done = true;
    wake_waiters();
}

void MessageQueue::post(const MSG &message) {
    std::lock_guard lock(kernel::sync_lock());
    posted_.push_back(message);
    wake_waiters();
}

void MessageQueue::post_input(const display::InputEvent &event) {
    std::lock_guard lock(kernel::sync_lock());
    input_.push_back(event);
    wake_waiters();
}

void MessageQueue::send(std::shared_ptr<SentMessage> message) {
    std::lock_guard lock(kernel::sync_lock());
    if (abandoned_) {
        message->complete(0);
        return;
    }
    sent_.push_back(std::move(message));
    wake_waiters();
}

void MessageQueue::post_quit(int exit_code) {
    std::lock_guard lock(kernel::sync_lock());
    quit_ = true;
    quit_code_ = exit_code;
    wake_waiters();
}

void MessageQueue::add_paint(int delta) {
    std::lock_guard lock(kernel::sync_lock());
    paint_windows_ += delta;
    if (paint_windows_ < 0)
        paint_windows_ = 0;
    if (delta > 0)
        wake_waiters();
}

void MessageQueue::abandon() {
    std::lock_guard lock(kernel::sync_lock());
    abandoned_ = true;
    for (auto &message : sent_)
        message->complete(0);
    sent_.clear();
}

UINT_PTR MessageQueue::set_timer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    std::lock_guard lock(kernel::sync_lock());
    id = timers_.set(hwnd, id, elapse, proc, Clock::now());
    deadline_moved();
    return id;
}

bool MessageQueue::kill_timer(HWND hwnd, UINT_PTR id) {
    std::lock_guard lock(kernel::sync_lock());
    return timers_.kill(hwnd, id);
}

void MessageQueue::kill_window_timers(HWND hwnd) {
    std::lock_guard lock(kernel::sync_lock());
    timers_.kill_window(hwnd);
}

std::shared_ptr<SentMessage> MessageQueue::next_sent() {
    std::lock_guard lock(kernel::sync_lock());
    if (sent_.empty())
        return nullptr;
    auto message = std::move(sent_.front());
    sent_.pop_front();
    return message;
}

bool MessageQueue::take_posted(MSG &out, HWND filter, UINT min, UINT max, bool remove) {
    std::lock_guard lock(kernel::sync_lock());
    for (auto it = posted_.begin(); it != posted_.end(); ++it) {
        if (!in_range(it->message, min, max) || !matches_window_filter(it->hwnd, filter))
            continue;
        out = *it;
        if (remove)
            posted_.erase(it);
        return true;
    }
    return false;
}

bool MessageQueue::take_input(display::InputEvent &out) {
    std::lock_guard lock(kernel::sync_lock());
    if (input_.empty())
        return false;
    out = input_.front();
    input_.pop_front();
    return true;
}

bool MessageQueue::peek_input(display::InputEvent &out) const {
    std::lock_guard lock(kernel::sync_lock());
    if (input_.empty())
        return false;
    out = input_.front();
    return true;
}

bool MessageQueue::take_quit(int &exit_code) {
    std::lock_guard lock(kernel::sync_lock());
    if (!quit_)
        return false;
    quit_ = false;
    exit_code = quit_code_;
    return true;
}

bool MessageQueue::has_paint() const {
    std::lock_guard lock(kernel::sync_lock());
    return paint_windows_ > 0;
}

bool MessageQueue::take_timer(MSG &out, HWND filter, bool remove) {
    std::lock_guard lock(kernel::sync_lock());
    return timers_.take_elapsed(out, filter, Clock::now(), remove);
}

bool MessageQueue::has_timer_proc(TIMERPROC proc) const {
    std::lock_guard lock(kernel::sync_lock());
    return timers_.has_proc(proc);
}

DWORD MessageQueue::status_locked() const {
    DWORD bits = 0;
    if (!posted_.empty() || quit_)
        bits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    for (auto &event : input_)
        bits |= (event.type == display::InputType::key_down || event.type == display::InputType::key_up ||
                 event.type == display::InputType::character)
                    ? QS_KEY
                : event.type == display::InputType::mouse_move ? QS_MOUSEMOVE
                : is_pointer_input(event.type)                 ? QS_MOUSEBUTTON
                                                               : QS_POSTMESSAGE;  // the window manager's doing
    if (!sent_.empty())
        bits |= QS_SENDMESSAGE;
    if (paint_windows_ > 0)
        bits |= QS_PAINT;
    if (timers_.any_elapsed(Clock::now()))
        bits |= QS_TIMER;
    return bits;
}

DWORD MessageQueue::status() const {
    std::lock_guard lock(kernel::sync_lock());
    return status_locked();
}

void MessageQueue::set_wake_mask(DWORD mask) {
    std::lock_guard lock(kernel::sync_lock());
    wake_mask_ = mask;
}

void MessageQueue::set_owner_waiting(bool waiting) {
    std::lock_guard lock(kernel::sync_lock());
    owner_waiting_ = waiting;
    idle_changed_.notify_all();
}

bool MessageQueue::wait_until_idle(DWORD mask, std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock lock(kernel::sync_lock());
    return idle_changed_.wait_until(lock, deadline, [&] { return owner_waiting_ && !(status_locked() & mask); });
}

bool MessageQueue::is_signaled_for(DWORD) const {
    // Sent messages always wake the owner: it must handle them whenever it waits for messages.
    return (status_locked() & (wake_mask_ | QS_SENDMESSAGE)) != 0;
}

std::optional<MessageQueue::Clock::time_point> MessageQueue::next_deadline() const {
    // Only a waiter that an elapsed timer would wake needs to wake when one elapses.
    if (!(wake_mask_ & QS_TIMER))
        return std::nullopt;
    return timers_.next_elapse(Clock::now());
}

std::shared_ptr<MessageQueue> current_queue() {
    thread_local ThreadQueue mine;
    if (!mine.queue) {
        mine.queue = std::make_shared<MessageQueue>(GetCurrentThreadId());
        std::lock_guard lock(registry().lock);
        registry().queues[mine.queue->thread_id()] = mine.queue;
    }
    return mine.queue;
}

std::shared_ptr<MessageQueue> queue_of_thread(DWORD thread_id) {
    std::lock_guard lock(registry().lock);
    auto found = registry().queues.find(thread_id);
    return found == registry().queues.end() ? nullptr : found->second.lock();
}

bool matches_window_filter(HWND hwnd, HWND filter) {
    if (!filter)
        return true;
    if (hwnd == filter)
        return true;
    // A filter window also passes the messages of its descendants.
    for (auto window = find_window_quiet(hwnd); window && window->parent; window = find_window_quiet(window->parent))
        if (window->parent == filter)
            return true;
    return false;
}

}  // namespace platform::user
