#include "outstanding_commands.h"

#include "netbios_hooks.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <unordered_set>

namespace platform::netbios {
namespace {

struct Activity {
    std::mutex mutex;
    std::condition_variable idle;
    std::size_t outstanding = 0;
    std::unordered_set<const NCB *> ncbs_in_use;
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

bool claim_ncb(const NCB *ncb) {
    std::lock_guard lock(activity().mutex);
    return activity().ncbs_in_use.insert(ncb).second;
}

void release_ncb(const NCB *ncb) {
    std::lock_guard lock(activity().mutex);
    activity().ncbs_in_use.erase(ncb);
}

bool wait_until_idle(std::chrono::milliseconds limit) {
    std::unique_lock lock(activity().mutex);
    return activity().idle.wait_for(lock, limit, [] { return activity().outstanding == 0; });
}

}  // namespace platform::netbios
