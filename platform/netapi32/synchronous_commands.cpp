#include "synchronous_commands.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace platform::netbios {
namespace {

struct Registry {
    std::mutex lock;
    std::vector<SynchronousCommand *> commands;
};

Registry &registry() {
    static auto *instance = new Registry;  // commands may still run while the process exits
    return *instance;
}

// One eventfd per thread, made at its first synchronous command and closed when the thread ends. It is written
// only while a command of the thread is registered and cancelled, and emptied when that command ends, so the
// next command finds it empty.
class ThreadInterrupt {
public:
    ThreadInterrupt() : descriptor_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~ThreadInterrupt() {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }
    int descriptor() const { return descriptor_; }

private:
    int descriptor_;
};

int this_threads_interrupt() {
    thread_local ThreadInterrupt interrupt;
    return interrupt.descriptor();
}

}  // namespace

SynchronousCommand::SynchronousCommand(std::uint8_t lana) : lana_(lana), interrupt_(this_threads_interrupt()) {
    auto &commands = registry();
    std::lock_guard guard(commands.lock);
    commands.commands.push_back(this);
}

SynchronousCommand::~SynchronousCommand() {
    auto &commands = registry();
    std::lock_guard guard(commands.lock);
    std::erase(commands.commands, this);
    if (cancelled_ && interrupt_ >= 0) {
        std::uint64_t count;
        [[maybe_unused]] auto ignored = ::read(interrupt_, &count, sizeof count);
    }
}

void cancel_synchronous_commands(std::uint8_t lana) {
    auto &commands = registry();
    std::lock_guard guard(commands.lock);
    for (auto *command : commands.commands) {
        if (command->lana_ != lana || command->cancelled_.exchange(true))
            continue;
        std::uint64_t one = 1;
        if (command->interrupt_ >= 0) [[maybe_unused]]
            auto ignored = ::write(command->interrupt_, &one, sizeof one);
    }
}

}  // namespace platform::netbios
