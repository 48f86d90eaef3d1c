// What every command reads before it sends anything: the [netbios] settings and the LANA numbering of the
// interfaces. Both are derived once and kept until the prefix's settings are reloaded or the interfaces are
// read again, so that a command costs no parsing, no environment look-ups and no copies of the interface list.
// Problems in the configuration are told on standard error, once each.
#pragma once

#include "interfaces.h"
#include "lana_map.h"
#include "nbt_settings.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace platform::nbt {

class NbtConfiguration {
public:
    NbtSettings settings();
    // The LANAs on interfaces read at most `max_age` ago.
    std::shared_ptr<const std::vector<LanaBinding>> lanas(std::chrono::milliseconds max_age);
    std::optional<LanaBinding> find_lana(std::uint8_t lana, std::chrono::milliseconds max_age);

private:
    InterfaceCache interfaces_;
    std::mutex lock_;
    std::optional<std::uint64_t> settings_generation_;
    NbtSettings settings_;
    std::optional<std::uint64_t> lanas_generation_;
    std::shared_ptr<const std::vector<InterfaceInfo>> numbered_interfaces_;
    std::shared_ptr<const std::vector<LanaBinding>> lanas_;
};

}  // namespace platform::nbt
