// One NetBIOS command as Netbios() understands it once the NCB has been checked: what to ask the transport and
// where the reply goes. It holds copies of the NCB's fields, so running it never reads the caller's NCB.
#pragma once

#include "transport.h"

#include <nb30.h>

namespace platform::netbios {

enum class CommandKind { enumerate, reset, adapter_status, session_status };

struct Command {
    CommandKind kind = CommandKind::enumerate;
    bool asynchronous = false;
    std::uint8_t lana = 0;
    Name callname{};
    Name name{};
    PUCHAR buffer = nullptr;
    WORD length = 0;
};

// Checks the NCB against the transport. NRC_GOODRET with the command filled in, or the code the NCB is refused
// with at once.
UCHAR check_ncb(const NCB &ncb, Transport &transport, Command &command);

// Asks the transport; the reply is complete and not yet cut to the caller's buffer. A transport that throws
// fails the command with NRC_SYSTEM.
Reply execute(Transport &transport, const Command &command, Deadline deadline) noexcept;

// Copies as much of the reply as fits into the command's buffer and returns the command's final code:
// NRC_INCOMP when a good reply had to be cut.
UCHAR deliver(const Reply &reply, const Command &command);

}  // namespace platform::netbios
