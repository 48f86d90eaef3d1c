// Where asynchronous commands wait and complete. One thread at a time runs the loop: it waits (epoll) for the
// sockets of the commands' operations, for their retry times and deadlines (a timerfd) and for replies of calls
// made on command threads (an eventfd); it advances an operation whose socket is readable, and completes a
// command once it has its reply: writes the reply and the final codes into the caller's NCB, signals ncb_event
// and calls ncb_post, on that same thread, with no hand-off between receiving the reply and posting it.
//
// A post routine that blocks holds the thread that runs it. When one has run for takeover_delay, a standby
// thread takes the loop over and the blocked thread steps back once its post routine returns; so other
// commands complete at most takeover_delay (plus the time to wake a thread) later than they would have.
#pragma once

#include "command.h"
#include "netbios_hooks.h"

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace platform::netbios {

struct PendingCommand {
    NCB *ncb = nullptr;
    Command command;
    void(CALLBACK *post)(NCB *) = nullptr;
    HANDLE event = nullptr;
    // When the command completes with NRC_CMDTMO whatever its call is doing.
    Deadline deadline;
    // The transport's operation, driven by the loop; null when the call runs on a command thread. Only the thread
    // that runs the loop touches it once the command is tracked.
    std::unique_ptr<Operation> operation;
    // Guarded by the loop's lock.
    bool finished = false;
    Reply reply;
    std::multimap<Deadline, std::shared_ptr<PendingCommand>>::iterator timer;
    bool timed = false;            // `timer` is in the loop's timer list
    bool socket_reported = false;  // the one-shot watch of the operation's socket went off
};

class CompletionLoop {
public:
    // Starts the loop's threads on first use. Throws std::system_error when they cannot be started.
    static CompletionLoop &instance();

    // How long a post routine may block before another thread takes the loop over.
    static constexpr std::chrono::milliseconds takeover_delay{50};
    static_assert(takeover_delay < blocked_post_delay_bound);

    // Watches the command from now on: its operation's socket and wake time, or only its deadline.
    void track(const std::shared_ptr<PendingCommand> &pending);
    // Hands over the reply of a call made on a command thread; ignored when the command has already completed.
    void finish(const std::shared_ptr<PendingCommand> &pending, Reply reply);
    // Completes every command in flight on the LANA with `retcode`; their calls' late replies go nowhere.
    void cancel_lana(std::uint8_t lana, UCHAR retcode);

private:
    CompletionLoop();
    void start_thread(unsigned token, bool runner);
    void serve(unsigned token, bool runner);
    void run_loop(unsigned token);
    bool wait_to_take_over(unsigned token);
    void advance(const std::shared_ptr<PendingCommand> &pending, Clock::time_point now);
    // Both return false when the calling thread no longer runs the loop.
    bool complete_ready(unsigned token);
    bool complete(PendingCommand &pending, unsigned token);

    // With the lock held.
    void finish_locked(const std::shared_ptr<PendingCommand> &pending, Reply reply);
    void schedule_locked(const std::shared_ptr<PendingCommand> &pending, Deadline wake);
    void unschedule_locked(PendingCommand &pending);
    void arm_locked();
    void watch_socket(int descriptor);
    void wake();

    int epoll_ = -1;
    int wake_ = -1;   // eventfd: a reply from a command thread, a cancellation
    int timer_ = -1;  // timerfd: the earliest retry or deadline
    int watch_ = -1;  // timerfd: a post routine that has run for takeover_delay

    std::mutex mutex_;
    std::deque<std::shared_ptr<PendingCommand>> ready_;
    std::multimap<Deadline, std::shared_ptr<PendingCommand>> timers_;
    std::unordered_map<int, std::shared_ptr<PendingCommand>> watched_sockets_;
    Deadline armed_ = Deadline::max();  // what timer_ is set to; max once it went off
    bool watch_set_ = false;            // watch_ is set and the standby will look

    // Which thread runs the loop, and since when it has been in a post routine.
    unsigned runner_ = 0;
    std::optional<Clock::time_point> runner_posting_since_;
    bool standby_waiting_ = false;
    unsigned threads_ = 0;
    unsigned next_token_ = 1;
    static constexpr unsigned max_threads = 16;
};

}  // namespace platform::netbios
