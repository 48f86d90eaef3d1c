// Netbios(): checks the NCB, then runs the command. A synchronous call runs it on the caller's own thread, where a
// reset of its LANA from another thread can end it. An
// asynchronous one starts the transport's operation (its first request goes out from the caller's thread), returns
// at once and leaves the rest to the completion loop; a transport without operations has the call made on a
// command thread, and the command completes on the loop all the same.
#include "outstanding_commands.h"
#include "command.h"
#include "command_threads.h"
#include "completion_loop.h"
#include "installed_hooks.h"
#include "operation_driver.h"
#include "synchronous_commands.h"

#include <windows.h>

#include <cstring>
#include <new>
#include <system_error>

namespace platform::netbios {
namespace {

// How long past the transport's deadline a reply still counts, so that a transport that keeps its deadline always
// delivers its own answer. An asynchronous command is completed with NRC_CMDTMO when it has not answered by then.
constexpr std::chrono::milliseconds deadline_grace{500};

void set_codes(NCB &ncb, UCHAR retcode) {
    ncb.ncb_retcode = retcode;
    ncb.ncb_cmd_cplt = retcode;
}

// A command that was not accepted: nothing is pending and no post routine will run.
UCHAR refuse(NCB &ncb, UCHAR retcode) {
    set_codes(ncb, retcode);
    return retcode;
}

void report_to_observer(const NCB &ncb) {
    auto observer = current_ncb_observer();
    if (!observer)
        return;
    IssuedNcb issued;
    issued.ncb = &ncb;
    issued.command = ncb.ncb_command;
    issued.lana = ncb.ncb_lana_num;
    std::memcpy(issued.callname.data(), ncb.ncb_callname, NCBNAMSZ);
    std::memcpy(issued.name.data(), ncb.ncb_name, NCBNAMSZ);
    issued.length = ncb.ncb_length;
    issued.buffer = ncb.ncb_buffer;
    issued.post = ncb.ncb_post;
    issued.event = ncb.ncb_event;
    issued.thread = GetCurrentThreadId();
    issued.contents = ncb;
    observer->issued(issued);
}

// A synchronous command counts as outstanding for as long as its caller is inside Netbios().
struct ActiveCommand {
    ActiveCommand() { command_started(); }
    ~ActiveCommand() { command_finished(); }
    ActiveCommand(const ActiveCommand &) = delete;
    ActiveCommand &operator=(const ActiveCommand &) = delete;
};

// The transport's operation for the command, or null when the transport has none for it.
std::unique_ptr<Operation> start_operation(Transport &transport, const Command &command, Deadline deadline) {
    switch (command.kind) {
        case CommandKind::adapter_status:
            return transport.start_adapter_status(command.lana, command.callname, deadline);
        case CommandKind::session_status:
            return transport.start_session_status(command.lana, command.name, deadline);
        default:
            return nullptr;
    }
}

// The command's operation driven on the calling thread until its reply, its deadline or a reset of its LANA; the
// transport's blocking call when it has no operation for the command.
Reply run_here(Transport &transport, const Command &command, Deadline deadline) {
    SynchronousCommand registration(command.lana);
    try {
        if (auto operation = start_operation(transport, command, deadline)) {
            auto reply = run_operation(*operation, registration.interrupt_descriptor());
            return reply ? std::move(*reply) : Reply{NRC_CMDCAN, {}};
        }
    } catch (const std::bad_alloc &) {
        return Reply{NRC_OSRESNOTAV, {}};
    } catch (...) {
        return Reply{NRC_SYSTEM, {}};  // as when the transport's blocking call throws
    }
    return execute(transport, command, deadline);
}

// A synchronous command runs on its caller's thread: handing it to a command thread and waiting for the answer
// would cost two thread switches per command, which on a busy machine take longer than the network round trip.
// The caller waits for the transport call, so a transport that overruns its deadline delays it; the command still
// completes with NRC_CMDTMO then, and the late reply is dropped as an asynchronous command's would be.
UCHAR run_synchronous(NCB &ncb, Transport &transport, const Command &command) {
    auto deadline = Clock::now() + transport.command_timeout();
    Reply reply = run_here(transport, command, deadline);
    UCHAR retcode = reply.retcode == NRC_CMDCAN || Clock::now() <= deadline + deadline_grace ? deliver(reply, command)
                                                                                             : UCHAR{NRC_CMDTMO};
    set_codes(ncb, retcode);
    if (ncb.ncb_event)
        SetEvent(ncb.ncb_event);
    return retcode;
}

UCHAR start_asynchronous(NCB &ncb, const std::shared_ptr<Transport> &transport, const Command &command) {
    auto &completion = CompletionLoop::instance();
    auto deadline = Clock::now() + transport->command_timeout();
    auto pending = std::make_shared<PendingCommand>();
    pending->ncb = &ncb;
    pending->command = command;
    pending->post = ncb.ncb_post;
    pending->event = ncb.ncb_event;
    pending->deadline = deadline + deadline_grace;

    // Accepted: from here on the command completes on the completion thread, whatever happens.
    set_codes(ncb, NRC_PENDING);
    if (pending->event)
        ResetEvent(pending->event);
    command_started();
    std::optional<Reply> failed;
    try {
        pending->operation = start_operation(*transport, command, deadline);
    } catch (const std::bad_alloc &) {
        failed = Reply{NRC_OSRESNOTAV, {}};
    } catch (...) {
        failed = Reply{NRC_SYSTEM, {}};  // as when the transport call itself throws
    }
    // Once tracked, the command may complete on the loop at any moment: nothing of it is read here afterwards.
    bool on_loop = pending->operation != nullptr;
    try {
        completion.track(pending);
    } catch (...) {
        command_finished();
        set_codes(ncb, NRC_OSRESNOTAV);
        return NRC_OSRESNOTAV;
    }
    if (failed) {
        completion.finish(pending, std::move(*failed));
        return NRC_GOODRET;
    }
    if (on_loop)
        return NRC_GOODRET;
    try {
        CommandThreads::instance().run([&completion, transport, pending, deadline] {
            completion.finish(pending, execute(*transport, pending->command, deadline));
        });
    } catch (...) {
        completion.finish(pending, Reply{NRC_OSRESNOTAV, {}});
    }
    return NRC_GOODRET;
}

// The NCB is in use from the moment Netbios() takes it until its final codes are written. An asynchronous command
// that was accepted hands that over to the completion loop.
class NcbClaim {
public:
    explicit NcbClaim(const NCB &ncb) : ncb_(&ncb), held_(claim_ncb(&ncb)) {}
    ~NcbClaim() {
        if (held_)
            release_ncb(ncb_);
    }
    NcbClaim(const NcbClaim &) = delete;
    NcbClaim &operator=(const NcbClaim &) = delete;
    bool held() const { return held_; }
    void hand_over() { held_ = false; }

private:
    const NCB *ncb_;
    bool held_;
};

UCHAR issue(NCB &ncb) {
    // An NCB issued again while its command is pending is refused without a word written into it: the codes
    // there are the first command's.
    NcbClaim claim(ncb);
    if (!claim.held())
        return NRC_TOOMANY;
    auto transport = current_transport();
    Command command;
    UCHAR refused = check_ncb(ncb, *transport, command);
    if (refused != NRC_GOODRET)
        return refuse(ncb, refused);
    // A reset ends whatever is in flight on the adapter before it runs.
    if (command.kind == CommandKind::reset) {
        CompletionLoop::instance().cancel_lana(command.lana, NRC_CMDCAN);
        cancel_synchronous_commands(command.lana);
    }
    if (command.asynchronous) {
        UCHAR accepted = start_asynchronous(ncb, transport, command);
        if (accepted == NRC_GOODRET)
            claim.hand_over();
        return accepted;
    }
    ActiveCommand active;
    return run_synchronous(ncb, *transport, command);
}

// Exceptions end here: out of memory or threads, or a transport that failed while the NCB was checked. The
// command was not accepted then, so nothing is pending.
UCHAR issue_or_refuse(NCB &ncb) noexcept {
    try {
        report_to_observer(ncb);
        return issue(ncb);
    } catch (const std::bad_alloc &) {
        return refuse(ncb, NRC_OSRESNOTAV);
    } catch (const std::system_error &) {
        return refuse(ncb, NRC_OSRESNOTAV);
    } catch (...) {
        return refuse(ncb, NRC_SYSTEM);
    }
}

}  // namespace
}  // namespace platform::netbios

extern "C" UCHAR WINAPI Netbios(PNCB pncb) {
    if (!pncb)
        return NRC_INVADDRESS;
    // Netbios() reports through its return codes only; the caller's last error stays as it was.
    DWORD last_error = GetLastError();
    UCHAR retcode = platform::netbios::issue_or_refuse(*pncb);
    SetLastError(last_error);
    return retcode;
}
