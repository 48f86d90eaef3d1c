// NetBIOS over TCP/IP for Netbios(): LANAs are the machine's IPv4 interfaces, adapter status comes from the
// name service (name query, node status) and the interface itself, session status from the kernel's TCP table.
#pragma once

#include "netapi32/transport.h"

#include <memory>

namespace platform::nbt {

std::shared_ptr<netbios::Transport> make_nbt_transport();

}  // namespace platform::nbt
