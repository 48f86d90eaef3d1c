#include "outstanding_commands.h"

#include "netbios_hooks.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace platform::netbios {
namespace {

struct Activity {
    std::mutex mutex;
    std::condition_variable idle;
    std::size_t outstanding = 0;
};

Activity &activity() {
    static auto *instance = new Activity;
    return *instance;
}

}  // namespace

void command_started() {
    std::lock_guard lock(activity().mutex);
    ++activity().outstanding;
}

void command_finished() {
    std::lock_guard lock(activity().mutex);
    if (--activity().outstanding == 0)
        activity().idle.notify_all();
}

bool wait_until_idle(std::chrono::milliseconds limit) {
    std::unique_lock lock(activity().mutex);
    return activity().idle.wait_for(lock, limit, [] { return activity().outstanding == 0; });
}

}  // namespace platform::netbios
