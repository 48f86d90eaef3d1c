// The transport the platform starts with: NetBIOS over TCP/IP on this machine's interfaces.
#include "transport.h"
#include "netapi32/nbt/nbt_transport.h"

namespace platform::netbios {

std::shared_ptr<Transport> make_default_transport() {
    return platform::nbt::make_nbt_transport();
}

}  // namespace platform::netbios
