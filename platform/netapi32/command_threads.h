// The threads that run transport calls. A slow command (a remote node that does not answer) holds only its own
// thread, so the others keep moving; threads are kept for reuse and added while all are busy, up to a limit.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace platform::netbios {

class CommandThreads {
public:
    static CommandThreads &instance();

    // Runs the job on a command thread. Throws std::system_error when no thread can run it.
    void run(std::function<void()> job);

private:
    CommandThreads() = default;
    void serve();

    static constexpr std::size_t max_threads = 32;
    std::mutex mutex_;
    std::condition_variable work_;
    std::deque<std::function<void()>> jobs_;
    std::size_t threads_ = 0;
    std::size_t idle_ = 0;
};

}  // namespace platform::netbios
