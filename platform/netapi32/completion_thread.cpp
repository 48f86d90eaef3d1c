#include "completion_thread.h"

#include "outstanding_commands.h"

#include <windows.h>

#include <thread>

namespace platform::netbios {

CompletionThread &CompletionThread::instance() {
    // Never destroyed: post routines may still run while the process exits.
    static CompletionThread *thread = [] {
        auto *created = new CompletionThread;
        std::thread(&CompletionThread::serve, created).detach();
        return created;
    }();
    return *thread;
}

// Both notify outside the lock: the completion thread, woken while the lock is still held, would only block on
// it again.

void CompletionThread::track(const std::shared_ptr<PendingCommand> &pending) {
    bool sooner;
    {
        std::lock_guard lock(mutex_);
        pending->watch = watched_.emplace(pending->deadline, pending);
        sooner = pending->deadline < sleeping_until_;
    }
    // A deadline the thread would pass in its sleep needs it awake; any other it finds when it next looks. Most
    // commands are answered long before their deadline, and waking the thread only to go back to sleep would
    // compete with the command thread that is about to send the request.
    if (sooner)
        changed_.notify_one();
}

void CompletionThread::finish(const std::shared_ptr<PendingCommand> &pending, Reply reply) {
    {
        std::lock_guard lock(mutex_);
        if (pending->finished)
            return;
        pending->finished = true;
        pending->reply = std::move(reply);
        watched_.erase(pending->watch);
        ready_.push_back(pending);
    }
    changed_.notify_one();
}

void CompletionThread::expire_overdue(Deadline now) {
    while (!watched_.empty() && watched_.begin()->first <= now) {
        auto pending = std::move(watched_.begin()->second);
        watched_.erase(watched_.begin());
        pending->finished = true;
        pending->reply = Reply{NRC_CMDTMO, {}};
        ready_.push_back(std::move(pending));
    }
}

void CompletionThread::serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        expire_overdue(Clock::now());
        if (ready_.empty()) {
            // Idle, the thread sleeps until a command comes: a viewer that waits for its user costs nothing.
            if (watched_.empty()) {
                sleeping_until_ = Deadline::max();
                changed_.wait(lock);
            } else {
                // A copy: the earliest entry may be erased while this thread waits.
                sleeping_until_ = watched_.begin()->first;
                Deadline until = sleeping_until_;
                changed_.wait_until(lock, until);
            }
            sleeping_until_ = Deadline::min();
            continue;
        }
        auto pending = std::move(ready_.front());
        ready_.pop_front();
        lock.unlock();
        complete(*pending);
        pending.reset();
        lock.lock();
    }
}

void CompletionThread::complete(PendingCommand &pending) {
    // The reply is guarded by the lock until `finished` is set; from then on only this thread touches it.
    UCHAR retcode = deliver(pending.reply, pending.command);
    pending.reply = Reply{};
    pending.ncb->ncb_retcode = retcode;
    pending.ncb->ncb_cmd_cplt = retcode;
    if (pending.event)
        SetEvent(pending.event);
    // The caller may free the NCB as soon as the post routine returns; nothing touches it afterwards.
    if (pending.post) {
        try {
            pending.post(pending.ncb);
        } catch (...) {
            // A post routine that throws must not take the completion thread, and every later command, with it.
        }
    }
    command_finished();
}

}  // namespace platform::netbios
