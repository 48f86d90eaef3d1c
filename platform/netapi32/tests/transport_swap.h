// Installs a test's own transport for the lifetime of this object; afterwards waits until every command is done
// with it and puts back the transport that was there before.
#pragma once

#include <netapi32/netbios_hooks.h>
#include <netapi32/transport.h>

#include <chrono>
#include <memory>

class TransportSwap {
public:
    explicit TransportSwap(std::shared_ptr<platform::netbios::Transport> transport)
        : previous_(platform::netbios::current_transport()) {
        platform::netbios::install_transport(std::move(transport));
    }
    ~TransportSwap() {
        platform::netbios::wait_until_idle(std::chrono::seconds(30));
        platform::netbios::install_transport(previous_);
    }
    TransportSwap(const TransportSwap &) = delete;
    TransportSwap &operator=(const TransportSwap &) = delete;

private:
    std::shared_ptr<platform::netbios::Transport> previous_;
};
