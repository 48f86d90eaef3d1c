#include "command_threads.h"

#include <system_error>
#include <thread>

namespace platform::netbios {

CommandThreads &CommandThreads::instance() {
    // Never destroyed: its threads live as long as the process.
    static auto *threads = new CommandThreads;
    return *threads;
}

void CommandThreads::run(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        if (jobs_.size() > idle_ && threads_ < max_threads) {
            try {
                std::thread(&CommandThreads::serve, this).detach();
                ++threads_;
            } catch (const std::system_error &) {
                if (threads_ == 0) {
                    jobs_.pop_back();
                    throw;
                }
                // The threads there are will get to it.
            }
        }
    }
    // Outside the lock: a thread woken while the lock is still held would only block on it again, one more
    // switch before the job starts.
    work_.notify_one();
}

void CommandThreads::serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        work_.wait(lock, [this] { return !jobs_.empty(); });
        --idle_;
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
    }
}

}  // namespace platform::netbios
