// The name service questions a command asks on one LANA: where a name lives (name query) and what a node holds
// (node status). Each takes only a reply that answers the question asked: same transaction id, the right source,
// port 137, the name or wildcard asked about. Both are asked on the command's call and hand their answer on.
#pragma once

#include "lana_map.h"
#include "name_service_call.h"
#include "nbt_settings.h"

#include <functional>
#include <optional>

namespace platform::nbt {

using ResolveThen = std::function<std::optional<netbios::Reply>(std::optional<Ipv4Address>)>;
using NodeStatusThen = std::function<std::optional<netbios::Reply>(std::optional<NodeStatusResponse>)>;

// Asks for the address that holds `name`: unicast to WINS when one is configured, otherwise broadcast on the
// LANA's subnet. `then` gets nullopt when nobody answers or the name is not known.
void ask_address(NameServiceCall &call, const LanaBinding &binding, const NbtSettings &settings,
                 const NetbiosName &name, ResolveThen then);

// Asks the node at `address` for its status; `then` gets nullopt when it does not answer.
void ask_node_status(NameServiceCall &call, const NbtSettings &settings, const Ipv4Address &address,
                     NodeStatusThen then);

}  // namespace platform::nbt
