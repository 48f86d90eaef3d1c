#include "command.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace platform::netbios {
namespace {

bool lana_is_listed(Transport &transport, std::uint8_t lana) {
    auto listed = transport.lanas();
    return std::find(listed.begin(), listed.end(), lana) != listed.end();
}

// The smallest buffer a reply can be cut to and still say anything: its fixed part.
std::size_t fixed_reply_size(CommandKind kind) {
    switch (kind) {
        case CommandKind::enumerate:
            return sizeof(UCHAR);
        case CommandKind::adapter_status:
            return sizeof(ADAPTER_STATUS);
        case CommandKind::session_status:
            return sizeof(SESSION_HEADER);
        case CommandKind::reset:
            break;
    }
    return 0;
}

bool command_kind_of(UCHAR code, CommandKind &kind) {
    switch (code) {
        case NCBENUM:
            kind = CommandKind::enumerate;
            return true;
        case NCBRESET:
            kind = CommandKind::reset;
            return true;
        case NCBASTAT:
            kind = CommandKind::adapter_status;
            return true;
        case NCBSSTAT:
            kind = CommandKind::session_status;
            return true;
        default:
            return false;
    }
}

Reply enumerate(Transport &transport) {
    Reply reply;
    reply.retcode = transport.enumeration_retcode();
    if (reply.retcode != NRC_GOODRET)
        return reply;
    auto lanas = transport.lanas();
    // LANA_ENUM holds a count byte and at most MAX_LANA + 1 numbers.
    if (lanas.size() > MAX_LANA + 1)
        lanas.resize(MAX_LANA + 1);
    reply.bytes.reserve(lanas.size() + 1);
    reply.bytes.push_back(static_cast<std::uint8_t>(lanas.size()));
    reply.bytes.insert(reply.bytes.end(), lanas.begin(), lanas.end());
    return reply;
}

}  // namespace

UCHAR check_ncb(const NCB &ncb, Transport &transport, Command &command) {
    command = Command{};
    command.asynchronous = (ncb.ncb_command & ASYNCH) != 0;
    if (!command_kind_of(static_cast<UCHAR>(ncb.ncb_command & ~ASYNCH), command.kind))
        return NRC_ILLCMD;

    command.lana = ncb.ncb_lana_num;
    std::memcpy(command.callname.data(), ncb.ncb_callname, NCBNAMSZ);
    std::memcpy(command.name.data(), ncb.ncb_name, NCBNAMSZ);
    if (command.kind != CommandKind::enumerate && !lana_is_listed(transport, command.lana))
        return NRC_BRIDGE;

    if (command.kind != CommandKind::reset) {
        if (!ncb.ncb_buffer || ncb.ncb_length < fixed_reply_size(command.kind))
            return NRC_BUFLEN;
        command.buffer = ncb.ncb_buffer;
        command.length = ncb.ncb_length;
    }
    return NRC_GOODRET;
}

Reply execute(Transport &transport, const Command &command, Deadline deadline) noexcept {
    // A command that waited for a thread until its deadline has no time left to ask anybody.
    if (command.kind != CommandKind::enumerate && Clock::now() >= deadline)
        return Reply{NRC_CMDTMO, {}};
    try {
        switch (command.kind) {
            case CommandKind::enumerate:
                return enumerate(transport);
            case CommandKind::reset:
                return Reply{transport.reset(command.lana, deadline), {}};
            case CommandKind::adapter_status:
                return transport.adapter_status(command.lana, command.callname, deadline);
            case CommandKind::session_status:
                return transport.session_status(command.lana, command.name, deadline);
        }
    } catch (const std::bad_alloc &) {
        return Reply{NRC_OSRESNOTAV, {}};
    } catch (...) {
        // A transport's failure is the command's failure; it never reaches the caller as an exception.
    }
    return Reply{NRC_SYSTEM, {}};
}

UCHAR deliver(const Reply &reply, const Command &command) {
    if (!command.buffer || reply.bytes.empty())
        return reply.retcode;
    std::size_t fits = std::min<std::size_t>(reply.bytes.size(), command.length);
    std::memcpy(command.buffer, reply.bytes.data(), fits);
    if (fits < reply.bytes.size() && reply.retcode == NRC_GOODRET)
        return NRC_INCOMP;
    return reply.retcode;
}

}  // namespace platform::netbios
