// A scripted NetBIOS transport for tests. Creating a ScriptedNetbios installs it for every Netbios() call in the
// process; destroying it restores what was there before and waits until no command is outstanding.
//
// Per LANA a test sets whether it exists, the reset code, and the adapter-status and session-status replies
// (bytes, return code, delay). Replies can be held until the test releases them, to keep commands in flight.
// Every NCB that reaches Netbios() is recorded and can be read back.
#pragma once

#include <netapi32/netbios_hooks.h>
#include <netapi32/transport.h>

#include <nb30.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::testing {

using netbios::IssuedNcb;
using netbios::Name;

// One scripted answer. A delay longer than the command's timeout makes it complete with NRC_CMDTMO.
struct ScriptedReply {
    UCHAR retcode = NRC_GOODRET;
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds delay{0};
};

class ScriptedNetbios {
public:
    ScriptedNetbios();
    ~ScriptedNetbios();
    ScriptedNetbios(const ScriptedNetbios &) = delete;
    ScriptedNetbios &operator=(const ScriptedNetbios &) = delete;

    // The LANAs an enumeration lists, in order (none at first). Commands for any other LANA get NRC_BRIDGE.
    void set_lanas(std::vector<std::uint8_t> lanas);
    // A code other than NRC_GOODRET makes every enumeration fail with it.
    void set_enumeration_retcode(UCHAR retcode);
    // The timeout Netbios() gives every command (default 30 seconds).
    void set_command_timeout(std::chrono::milliseconds timeout);

    // Replies for one LANA. Unscripted: reset answers NRC_GOODRET, the status commands a record with no entries.
    void set_reset(std::uint8_t lana, UCHAR retcode, std::chrono::milliseconds delay = {});
    void set_adapter_status(std::uint8_t lana, ScriptedReply reply);
    // Overrides the adapter-status reply for one call name (compared without trailing blanks and zeros).
    void set_adapter_status_for(std::uint8_t lana, std::string_view callname, ScriptedReply reply);
    void set_session_status(std::uint8_t lana, ScriptedReply reply);

    // Holding a LANA keeps every reply for it back (after its delay) until release(), or until the command's
    // deadline, when it completes with NRC_CMDTMO. With ignore_deadline the transport overruns the deadline
    // and waits for release() only, as a broken transport would; Netbios() must time the command out itself
    // (a synchronous command runs on its caller's thread, so that caller waits for release() and then gets
    // NRC_CMDTMO).
    void hold(std::uint8_t lana, bool ignore_deadline = false);
    void release(std::uint8_t lana);
    // Waits until `count` transport calls are held; false when that did not happen within the limit.
    bool wait_until_held(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(30)) const;

    // Every NCB that reached Netbios() while this object was installed, in order.
    std::vector<IssuedNcb> issued() const;
    // Waits until `count` transport calls have returned their answer.
    bool wait_until_answered(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(30)) const;
    // Waits until every command issued so far has completed and its post routine has returned.
    bool wait_until_idle(std::chrono::milliseconds limit = std::chrono::seconds(30)) const;
    // Number of calls that reached the transport (reset, adapter status, session status).
    std::size_t transport_calls() const;

    class State;

private:
    std::shared_ptr<State> state_;
    std::shared_ptr<netbios::Transport> previous_transport_;
    std::shared_ptr<netbios::NcbObserver> previous_observer_;
};

// Reply builders.
// A 16-byte NetBIOS name: the text, padded with `pad` (blanks by default), the 16th byte set to `suffix`
// when given.
Name netbios_name(std::string_view text, std::uint8_t pad = ' ');
Name netbios_name(std::string_view text, std::uint8_t pad, std::uint8_t suffix);
NAME_BUFFER name_buffer(const Name &name, UCHAR number, UCHAR flags);
SESSION_BUFFER session_buffer(UCHAR lsn, UCHAR state, const Name &local_name, const Name &remote_name,
                              UCHAR receives = 0, UCHAR sends = 0);
// An ADAPTER_STATUS followed by its NAME_BUFFERs; name_count is set to the number of names.
std::vector<std::uint8_t> adapter_status_reply(ADAPTER_STATUS status, const std::vector<NAME_BUFFER> &names);
// A SESSION_HEADER followed by its SESSION_BUFFERs; num_sess is set to the number of sessions.
std::vector<std::uint8_t> session_status_reply(SESSION_HEADER header, const std::vector<SESSION_BUFFER> &sessions);

}  // namespace platform::testing
