// The one long-lived thread on which asynchronous commands complete: it writes the reply and the final codes into
// the caller's NCB, signals ncb_event and calls ncb_post, one command at a time. It also keeps each command's
// deadline, so a command whose transport call overruns it still completes, with NRC_CMDTMO.
#pragma once

#include "command.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <deque>

namespace platform::netbios {

struct PendingCommand {
    NCB *ncb = nullptr;
    Command command;
    void(CALLBACK *post)(NCB *) = nullptr;
    HANDLE event = nullptr;
    Deadline deadline;
    // Guarded by the completion thread's lock.
    bool finished = false;
    Reply reply;
    std::multimap<Deadline, std::shared_ptr<PendingCommand>>::iterator watch;
};

class CompletionThread {
public:
    // Starts the thread on first use. Throws std::system_error when it cannot be started.
    static CompletionThread &instance();

    // Watches the command's deadline from now on.
    void track(const std::shared_ptr<PendingCommand> &pending);
    // Hands over the transport's reply; ignored when the command has already timed out.
    void finish(const std::shared_ptr<PendingCommand> &pending, Reply reply);

private:
    CompletionThread() = default;
    void serve();
    void expire_overdue(Deadline now);
    void complete(PendingCommand &pending);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<PendingCommand>> ready_;
    std::multimap<Deadline, std::shared_ptr<PendingCommand>> watched_;
    // When the thread wakes by itself next; Deadline::min() while it is awake and will look at watched_ before
    // it sleeps again, Deadline::max() while it sleeps with nothing to watch (then the next command wakes it).
    Deadline sleeping_until_ = Deadline::min();
};

}  // namespace platform::netbios
