// Hooks for tests: an observer that sees every NCB handed to Netbios(), and a wait for all commands to finish.
#pragma once

#include "transport.h"

#include <nb30.h>

#include <memory>

namespace platform::netbios {

// What an NCB held when it reached Netbios(), before any checking.
struct IssuedNcb {
    const NCB *ncb = nullptr;
    std::uint8_t command = 0;  // ncb_command, asynchronous bit included
    std::uint8_t lana = 0;
    Name callname{};
    Name name{};
    std::uint16_t length = 0;
    PUCHAR buffer = nullptr;
    void(CALLBACK *post)(NCB *) = nullptr;
    HANDLE event = nullptr;
    DWORD thread = 0;  // the calling thread
    NCB contents{};    // the whole NCB, for the fields not named above
};

class NcbObserver {
public:
    virtual ~NcbObserver() = default;
    // Called on the caller's thread for every non-null NCB, before Netbios() checks it.
    virtual void issued(const IssuedNcb &ncb) = 0;
};

// Replaces the observer (null: none) and returns the one it replaced.
std::shared_ptr<NcbObserver> install_ncb_observer(std::shared_ptr<NcbObserver> observer);

// How much later than it would have a command completes while a post routine of another command blocks: the
// completion loop goes to a standby thread once a post routine has blocked for 50 ms, and waking that thread on a
// busy machine takes the rest.
inline constexpr std::chrono::milliseconds blocked_post_delay_bound{100};

// Waits until no command is outstanding: every synchronous call has returned and every accepted asynchronous
// command has run its post routine. False when that did not happen within the limit.
bool wait_until_idle(std::chrono::milliseconds limit);

}  // namespace platform::netbios
