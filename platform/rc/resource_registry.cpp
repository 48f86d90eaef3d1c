// The registry behind find_menu/find_dialog/find_icon: the generated tables register themselves during static
// initialisation, user32 looks them up afterwards.
#include "resource_tables.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <string>

namespace platform::resources {
namespace {

// Integer ids and names live apart, as they do for FindResource; names compare without regard to case.
struct ResourceKey {
    bool is_name;
    std::uint16_t number;
    std::string upper_name;

    auto operator<=>(const ResourceKey &) const = default;
};

ResourceKey key_of(const ResourceId &id) {
    if (const auto *number = std::get_if<std::uint16_t>(&id))
        return {false, *number, {}};
    std::string name(std::get<std::string_view>(id));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return {true, 0, std::move(name)};
}

template <typename Resource>
class Table {
public:
    void add(const ResourceId &id, const Resource *resource) {
        std::lock_guard lock(mutex_);
        entries_[key_of(id)] = resource;
    }
    const Resource *find(const ResourceId &id) const {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(key_of(id));
        return it == entries_.end() ? nullptr : it->second;
    }

private:
    mutable std::mutex mutex_;
    std::map<ResourceKey, const Resource *> entries_;
};

// Function-local statics: the generated registrations run during static initialisation of other files.
Table<Menu> &menus() {
    static Table<Menu> table;
    return table;
}
Table<Dialog> &dialogs() {
    static Table<Dialog> table;
    return table;
}
Table<Icon> &icons() {
    static Table<Icon> table;
    return table;
}

}  // namespace

void register_menu(ResourceId name, const Menu *menu) {
    menus().add(name, menu);
}
void register_dialog(ResourceId name, const Dialog *dialog) {
    dialogs().add(name, dialog);
}
void register_icon(ResourceId name, const Icon *icon) {
    icons().add(name, icon);
}

const Menu *find_menu(ResourceId name) {
    return menus().find(name);
}
const Dialog *find_dialog(ResourceId name) {
    return dialogs().find(name);
}
const Icon *find_icon(ResourceId name) {
    return icons().find(name);
}

}  // namespace platform::resources
