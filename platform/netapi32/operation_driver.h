// Drives an operation to its end on the calling thread: sleeps in ppoll on the operation's descriptor until it is
// readable or its next wake comes, then advances it. Header-only, so that a transport drives its own operations
// with the same loop as Netbios() without a library of its own in between.
#pragma once

#include "transport.h"

#include <poll.h>

namespace platform::netbios {

// The operation's reply; nullopt, with the operation left where it was, once `interrupt` (a descriptor, or -1
// for none) turns readable while the thread waits.
inline std::optional<Reply> run_operation(Operation &operation, int interrupt = -1) {
    for (;;) {
        // Waiting first: right after a request nothing has arrived yet, and a read that can only fail would cost
        // a system call.
        auto now = Clock::now();
        auto wake = operation.next_wake();
        if (wake > now) {
            auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now);
            timespec timeout{static_cast<time_t>(wait.count() / 1'000'000'000),
                             static_cast<long>(wait.count() % 1'000'000'000)};
            // poll leaves out a negative descriptor: an operation without one, or no interrupt.
            pollfd watched[2] = {{operation.descriptor(), POLLIN, 0}, {interrupt, POLLIN, 0}};
            ::ppoll(watched, 2, &timeout, nullptr);
            if (watched[1].revents & POLLIN)
                return std::nullopt;
            now = Clock::now();
        }
        if (auto reply = operation.advance(now))
            return reply;
    }
}

}  // namespace platform::netbios
