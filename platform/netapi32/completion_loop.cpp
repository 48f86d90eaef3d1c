#include "completion_loop.h"

#include "outstanding_commands.h"

#include <windows.h>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>
#include <thread>
#include <vector>

namespace platform::netbios {
namespace {

int checked(int result) {
    if (result < 0)
        throw std::system_error(errno, std::generic_category(), "completion loop");
    return result;
}

// Sets a timerfd to go off at `when` on the monotonic clock the steady clock reads; disarms it for max().
void set_timer(int timer, Deadline when) {
    itimerspec setting{};
    if (when != Deadline::max()) {
        auto since_epoch = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
        // Zero would disarm the timer: a time already past still has to go off.
        since_epoch = std::max<long long>(since_epoch, 1);
        setting.it_value = {static_cast<time_t>(since_epoch / 1'000'000'000),
                            static_cast<long>(since_epoch % 1'000'000'000)};
    }
    ::timerfd_settime(timer, TFD_TIMER_ABSTIME, &setting, nullptr);
}

void drain(int descriptor) {
    std::uint64_t count;
    [[maybe_unused]] auto ignored = ::read(descriptor, &count, sizeof count);
}

}  // namespace

CompletionLoop &CompletionLoop::instance() {
    // Never destroyed: post routines may still run while the process exits.
    static CompletionLoop *loop = [] {
        auto *created = new CompletionLoop;
        std::lock_guard lock(created->mutex_);
        created->runner_ = created->next_token_++;
        created->start_thread(created->runner_, true);
        created->start_thread(created->next_token_++, false);
        return created;
    }();
    return *loop;
}

CompletionLoop::CompletionLoop() {
    epoll_ = checked(::epoll_create1(EPOLL_CLOEXEC));
    wake_ = checked(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    timer_ = checked(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
    watch_ = checked(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC));
    for (int descriptor : {wake_, timer_}) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = descriptor;
        checked(::epoll_ctl(epoll_, EPOLL_CTL_ADD, descriptor, &event));
    }
}

// With the lock held.
void CompletionLoop::start_thread(unsigned token, bool runner) {
    std::thread(&CompletionLoop::serve, this, token, runner).detach();
    ++threads_;
}

void CompletionLoop::track(const std::shared_ptr<PendingCommand> &pending) {
    std::lock_guard lock(mutex_);
    auto wake = pending->deadline;
    if (pending->operation) {
        wake = std::min(wake, pending->operation->next_wake());
        int descriptor = pending->operation->descriptor();
        if (descriptor >= 0) {
            watch_socket(descriptor);
            watched_sockets_[descriptor] = pending;
        }
    }
    // Setting the timer wakes nobody now: the loop finds the command when its socket or the timer says so.
    schedule_locked(pending, wake);
    arm_locked();
}

// One-shot: a readable socket is reported once and then left alone until it is watched again. A socket stays
// registered when its command completes and goes back to the pool with it, which saves a system call per command;
// should a stray datagram reach it there, the loop is told once and finds no command for it.
void CompletionLoop::watch_socket(int descriptor) {
    epoll_event event{};
    event.events = EPOLLIN | EPOLLONESHOT;
    event.data.fd = descriptor;
    if (::epoll_ctl(epoll_, EPOLL_CTL_MOD, descriptor, &event) != 0)
        checked(::epoll_ctl(epoll_, EPOLL_CTL_ADD, descriptor, &event));
}

void CompletionLoop::finish(const std::shared_ptr<PendingCommand> &pending, Reply reply) {
    {
        std::lock_guard lock(mutex_);
        if (pending->finished)
            return;
        finish_locked(pending, std::move(reply));
    }
    wake();
}

void CompletionLoop::cancel_lana(std::uint8_t lana, UCHAR retcode) {
    bool cancelled = false;
    {
        std::lock_guard lock(mutex_);
        // Every command in flight has a place in the timer list until it finishes.
        std::vector<std::shared_ptr<PendingCommand>> in_flight;
        for (auto &[wake, pending] : timers_)
            if (pending->command.lana == lana)
                in_flight.push_back(pending);
        for (auto &pending : in_flight)
            finish_locked(pending, Reply{retcode, {}});
        cancelled = !in_flight.empty();
    }
    if (cancelled)
        wake();
}

void CompletionLoop::finish_locked(const std::shared_ptr<PendingCommand> &pending, Reply reply) {
    pending->finished = true;
    pending->reply = std::move(reply);
    unschedule_locked(*pending);
    ready_.push_back(pending);
}

void CompletionLoop::schedule_locked(const std::shared_ptr<PendingCommand> &pending, Deadline wake) {
    unschedule_locked(*pending);
    pending->timer = timers_.emplace(wake, pending);
    pending->timed = true;
}

void CompletionLoop::unschedule_locked(PendingCommand &pending) {
    if (pending.timed)
        timers_.erase(pending.timer);
    pending.timed = false;
}

// Only ever sooner: a timer left set for a command that has completed goes off once for nothing, which costs less
// than the two system calls of disarming it and setting it again for the next command.
void CompletionLoop::arm_locked() {
    if (!timers_.empty() && timers_.begin()->first < armed_) {
        armed_ = timers_.begin()->first;
        set_timer(timer_, armed_);
    }
}

void CompletionLoop::wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(wake_, &one, sizeof one);
}

void CompletionLoop::serve(unsigned token, bool runner) {
    for (;;) {
        if (runner)
            run_loop(token);
        // The loop went to another thread while this one was in a post routine.
        {
            std::lock_guard lock(mutex_);
            if (standby_waiting_) {
                --threads_;
                return;
            }
            standby_waiting_ = true;
        }
        runner = wait_to_take_over(token);
    }
}

// Waits until the thread running the loop has been in one post routine for takeover_delay, and takes the loop.
bool CompletionLoop::wait_to_take_over(unsigned token) {
    for (;;) {
        std::uint64_t expirations;
        if (::read(watch_, &expirations, sizeof expirations) < 0 && errno != EINTR)
            continue;
        std::unique_lock lock(mutex_);
        if (!runner_posting_since_) {
            watch_set_ = false;  // that post routine has returned since
            continue;
        }
        if (Clock::now() - *runner_posting_since_ < takeover_delay) {
            // A later post routine than the one the watch was set for: watch it for its whole delay.
            set_timer(watch_, *runner_posting_since_ + takeover_delay);
            continue;
        }
        watch_set_ = false;
        runner_ = token;
        runner_posting_since_.reset();
        standby_waiting_ = false;
        // A standby for this thread in turn; none past the limit, until a blocked thread steps back.
        if (threads_ < max_threads) {
            try {
                start_thread(next_token_++, false);
            } catch (const std::system_error &) {
            }
        }
        return true;
    }
}

void CompletionLoop::run_loop(unsigned token) {
    std::array<epoll_event, 32> events;
    std::vector<std::shared_ptr<PendingCommand>> due;
    for (;;) {
        // First what is ready already: a thread that takes the loop over finds what the blocked one left.
        if (!complete_ready(token))
            return;
        int count = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), -1);
        if (count < 0 && errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "completion loop");
        Clock::time_point now;
        {
            std::lock_guard lock(mutex_);
            for (int i = 0; i < count; ++i) {
                int descriptor = events[i].data.fd;
                if (descriptor == wake_ || descriptor == timer_) {
                    drain(descriptor);
                    if (descriptor == timer_)
                        armed_ = Deadline::max();  // went off: set again below
                    continue;
                }
                auto watched = watched_sockets_.find(descriptor);
                if (watched != watched_sockets_.end() && !watched->second->finished) {
                    watched->second->socket_reported = true;
                    due.push_back(watched->second);
                }
            }
            now = Clock::now();
            // A due operation keeps its place in the list until it is advanced, so that a reset finds it there.
            for (auto timer = timers_.begin(); timer != timers_.end() && timer->first <= now;) {
                auto pending = (timer++)->second;
                if (!pending->operation || now >= pending->deadline)
                    finish_locked(pending, Reply{NRC_CMDTMO, {}});
                else
                    due.push_back(std::move(pending));
            }
        }
        for (auto &pending : due)
            advance(pending, now);
        due.clear();
        std::lock_guard lock(mutex_);
        arm_locked();
    }
}

// Only the thread running the loop advances operations, and never while a post routine of its own runs.
void CompletionLoop::advance(const std::shared_ptr<PendingCommand> &pending, Clock::time_point now) {
    {
        // Once finished (cancelled, or advanced to its end earlier in this turn) the operation has nothing to do.
        std::lock_guard lock(mutex_);
        if (pending->finished)
            return;
    }
    std::optional<Reply> reply;
    try {
        reply = pending->operation->advance(now);
    } catch (const std::bad_alloc &) {
        reply = Reply{NRC_OSRESNOTAV, {}};
    } catch (...) {
        reply = Reply{NRC_SYSTEM, {}};
    }
    auto wake = std::min(pending->operation->next_wake(), pending->deadline);
    std::lock_guard lock(mutex_);
    if (pending->finished)
        return;  // cancelled meanwhile
    if (reply) {
        finish_locked(pending, std::move(*reply));
        return;
    }
    schedule_locked(pending, wake);
    if (pending->socket_reported) {
        pending->socket_reported = false;
        watch_socket(pending->operation->descriptor());
    }
}

bool CompletionLoop::complete_ready(unsigned token) {
    for (;;) {
        std::shared_ptr<PendingCommand> pending;
        {
            std::lock_guard lock(mutex_);
            if (ready_.empty())
                return true;
            pending = std::move(ready_.front());
            ready_.pop_front();
        }
        if (!complete(*pending, token))
            return false;
    }
}

bool CompletionLoop::complete(PendingCommand &pending, unsigned token) {
    if (pending.operation) {
        // The socket goes back to its pool with the operation.
        int descriptor = pending.operation->descriptor();
        if (descriptor >= 0) {
            std::lock_guard lock(mutex_);
            watched_sockets_.erase(descriptor);
        }
        pending.operation.reset();
    }
    // The reply was guarded by the lock until `finished` was set; from then on only this thread touches it.
    UCHAR retcode = deliver(pending.reply, pending.command);
    pending.reply = Reply{};
    // From the moment the final codes are there the caller may issue the NCB again.
    release_ncb(pending.ncb);
    pending.ncb->ncb_retcode = retcode;
    pending.ncb->ncb_cmd_cplt = retcode;
    if (pending.event)
        SetEvent(pending.event);
    bool still_running = true;
    // The caller may free the NCB as soon as the post routine returns; nothing touches it afterwards.
    if (pending.post) {
        {
            std::lock_guard lock(mutex_);
            runner_posting_since_ = Clock::now();
            // The standby looks when the watch goes off and sets it again while post routines keep coming, so
            // the watch is set here only after a quiet spell, not for every post routine.
            if (!watch_set_) {
                watch_set_ = true;
                set_timer(watch_, *runner_posting_since_ + takeover_delay);
            }
        }
        try {
            pending.post(pending.ncb);
        } catch (...) {
            // A post routine that throws must not take the loop, and every later command, with it.
        }
        std::lock_guard lock(mutex_);
        still_running = runner_ == token;
        if (still_running)
            runner_posting_since_.reset();
    }
    command_finished();
    return still_running;
}

}  // namespace platform::netbios
