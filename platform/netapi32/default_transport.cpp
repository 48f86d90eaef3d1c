// The transport the platform starts with: it offers no LANAs, so every enumeration lists none and every
// command for a LANA is refused before it reaches here.
#include "transport.h"
#include "nbt/nbt_transport.h"

#include <nb30.h>

namespace platform::netbios {
namespace {

class NoLanaTransport final : public Transport {
public:
    std::vector<std::uint8_t> lanas() override { return {}; }
    std::uint8_t reset(std::uint8_t, Deadline) override { return NRC_BRIDGE; }
    Reply adapter_status(std::uint8_t, const Name &, Deadline) override { return {NRC_BRIDGE, {}}; }
    Reply session_status(std::uint8_t, const Name &, Deadline) override { return {NRC_BRIDGE, {}}; }
};

}  // namespace

std::shared_ptr<Transport> make_default_transport() {
    return platform::nbt::make_nbt_transport();
}

}  // namespace platform::netbios
