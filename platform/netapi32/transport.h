// The interface between Netbios() and whatever carries NetBIOS for a LANA. Netbios() checks the NCB, makes the
// transport call and copies the reply into the caller's buffer, cutting it to ncb_length; a transport never sees
// the caller's NCB. A synchronous command makes the call on the caller's thread. An asynchronous one starts it as
// an Operation that the completion loop drives; a transport without operations has its call made on a command
// thread instead. Calls come from any number of threads at once.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform::netbios {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;
using Name = std::array<std::uint8_t, 16>;

struct Reply {
    std::uint8_t retcode = 0;         // NRC_* code; NRC_GOODRET with the whole record in bytes
    std::vector<std::uint8_t> bytes;  // the full reply record; Netbios() cuts it to ncb_length
};

// A transport call that waits for the network without a thread of its own. It is started on the caller's thread
// (the first request goes out then) and advanced by whoever drives it: the completion loop, or a blocking wait.
// advance() never blocks and reads at most a bounded batch of datagrams, so that its driver looks at the clock
// between batches however fast datagrams arrive.
class Operation {
public:
    virtual ~Operation() = default;
    // The descriptor whose readability calls for advance(); -1 when only time does.
    virtual int descriptor() const = 0;
    // When advance() is due at the latest: the next retry, or the deadline.
    virtual Deadline next_wake() const = 0;
    // Reads what has arrived and acts on the time: the reply once the call is over, nullopt while it waits.
    virtual std::optional<Reply> advance(Clock::time_point now) = 0;
};

class Transport {
public:
    virtual ~Transport() = default;
    // LANA numbers, in the order NCBENUM lists them.
    virtual std::vector<std::uint8_t> lanas() = 0;
    // The code an enumeration completes with; anything but NRC_GOODRET fails it and lists nothing.
    virtual std::uint8_t enumeration_retcode() { return 0; }
    // How long one command may take. Netbios() gives every call the deadline now + this, and completes a
    // command whose transport call overruns it with NRC_CMDTMO.
    virtual std::chrono::milliseconds command_timeout() { return std::chrono::seconds(30); }

    // Each call returns by its deadline (NRC_CMDTMO when the network did not answer in time).
    virtual std::uint8_t reset(std::uint8_t lana, Deadline deadline) = 0;
    // callname is the 16-byte name as the caller put it in ncb_callname ("*" padded for the local adapter).
    virtual Reply adapter_status(std::uint8_t lana, const Name &callname, Deadline deadline) = 0;
    // name is ncb_name ("*" followed by zeros for every local name).
    virtual Reply session_status(std::uint8_t lana, const Name &name, Deadline deadline) = 0;

    // The two status calls as operations, ending by the deadline as the calls above do. Null when the transport
    // has none; Netbios() then makes the call above on a command thread.
    virtual std::unique_ptr<Operation> start_adapter_status(std::uint8_t, const Name &, Deadline) { return nullptr; }
    virtual std::unique_ptr<Operation> start_session_status(std::uint8_t, const Name &, Deadline) { return nullptr; }
};

// The transport every Netbios() call uses from now on. Passing null restores the default transport.
void install_transport(std::shared_ptr<Transport> transport);
std::shared_ptr<Transport> current_transport();

// The transport the platform starts with.
std::shared_ptr<Transport> make_default_transport();

}  // namespace platform::netbios
