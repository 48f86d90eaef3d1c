#include "nbt_configuration.h"

#include "prefix/prefix.h"

#include <iostream>
#include <set>
#include <string>

namespace platform::nbt {
namespace {

// Configuration problems are told once each, not on every command that derives the settings again.
void tell_problems(const std::vector<std::string> &problems) {
    static std::mutex lock;
    static std::set<std::string> told;
    std::lock_guard guard(lock);
    for (auto &problem : problems)
        if (told.insert(problem).second)
            std::cerr << prefix::root().string() << "/platform.conf: " << problem << " (ignored)\n";
}

}  // namespace

NbtSettings NbtConfiguration::settings() {
    // Read before the settings: a reload while they are derived leaves the next call a generation to see.
    auto generation = prefix::generation();
    std::lock_guard guard(lock_);
    if (settings_generation_ != generation) {
        std::vector<std::string> problems;
        settings_ = parse_settings(prefix::setting("netbios", "wins"), prefix::setting("netbios", "retries"),
                                   prefix::setting("netbios", "retry_interval_ms"), problems);
        settings_generation_ = generation;
        tell_problems(problems);
    }
    return settings_;
}

std::shared_ptr<const std::vector<LanaBinding>> NbtConfiguration::lanas(std::chrono::milliseconds max_age) {
    auto generation = prefix::generation();
    auto interfaces = interfaces_.get(max_age);
    std::lock_guard guard(lock_);
    if (lanas_generation_ != generation || numbered_interfaces_ != interfaces) {
        std::vector<std::string> problems;
        lanas_ = std::make_shared<const std::vector<LanaBinding>>(
            number_lanas(*interfaces, prefix::section_entries("netbios"), problems));
        lanas_generation_ = generation;
        numbered_interfaces_ = interfaces;
        tell_problems(problems);
    }
    return lanas_;
}

std::optional<LanaBinding> NbtConfiguration::find_lana(std::uint8_t lana, std::chrono::milliseconds max_age) {
    for (auto &binding : *lanas(max_age))
        if (binding.lana == lana)
            return binding;
    return std::nullopt;
}

}  // namespace platform::nbt
