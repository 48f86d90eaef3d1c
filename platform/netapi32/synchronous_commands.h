// Synchronous commands in flight, so that a reset of their LANA can end them as it ends the asynchronous ones.
// Each runs on its caller's thread, which waits on the command's socket and on an eventfd of its own; a reset
// marks the commands of its LANA cancelled and writes their threads' eventfds.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform::netbios {

// Registers the calling thread's command for as long as it lives.
class SynchronousCommand {
public:
    explicit SynchronousCommand(std::uint8_t lana);
    ~SynchronousCommand();
    SynchronousCommand(const SynchronousCommand &) = delete;
    SynchronousCommand &operator=(const SynchronousCommand &) = delete;

    // Readable once the command is cancelled; -1 when the thread has none (no descriptor was left), and the
    // command then runs to its reply or its deadline.
    int interrupt_descriptor() const { return interrupt_; }
    bool cancelled() const { return cancelled_.load(); }

private:
    friend void cancel_synchronous_commands(std::uint8_t lana);
    std::uint8_t lana_;
    int interrupt_;
    std::atomic<bool> cancelled_{false};
};

// Cancels every synchronous command in flight on the LANA.
void cancel_synchronous_commands(std::uint8_t lana);

}  // namespace platform::netbios
