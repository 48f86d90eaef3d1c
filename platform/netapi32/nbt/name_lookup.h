// The name service questions one command asks on one LANA: where a name lives (name query) and what a node
// holds (node status). Both retry and keep the command's deadline, and take only a reply that answers the
// question asked: same transaction id, the right source, port 137, the name or wildcard asked about.
#pragma once

#include "lana_map.h"
#include "name_service_socket.h"
#include "nbt_settings.h"

#include <optional>

namespace platform::nbt {

class NameLookup {
public:
    NameLookup(SocketPool &pool, const LanaBinding &binding, NbtSettings settings, Clock::time_point deadline);
    ~NameLookup();
    NameLookup(const NameLookup &) = delete;
    NameLookup &operator=(const NameLookup &) = delete;

    // False when no socket could be made on the LANA's address.
    bool usable() const { return socket_.has_value(); }

    // The address that holds `name`: unicast to WINS when one is configured, otherwise broadcast on the
    // LANA's subnet. nullopt when nobody answers or the name is not known.
    std::optional<Ipv4Address> resolve(const NetbiosName &name);

    // The node status of the node at `address`, or nullopt when it does not answer.
    std::optional<NodeStatusResponse> node_status(const Ipv4Address &address);

private:
    RetryPolicy policy() const { return {settings_.retries, settings_.retry_interval}; }

    SocketPool &pool_;
    const LanaBinding &binding_;
    NbtSettings settings_;
    Clock::time_point deadline_;
    std::optional<NameServiceSocket> socket_;
};

}  // namespace platform::nbt
