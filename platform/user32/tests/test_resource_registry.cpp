// A resource registry for the conformance tests, which register their own small templates.
#include "rc/resource_tables.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>

namespace platform::resources {
namespace {

std::string key_of(const ResourceId &id) {
    if (auto *number = std::get_if<std::uint16_t>(&id))
        return "#" + std::to_string(*number);
    std::string name(std::get<std::string_view>(id));
    std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    return name;
}

template <typename T>
struct Registry {
    std::mutex lock;
    std::map<std::string, const T *> entries;
    void add(const ResourceId &id, const T *value) {
        std::lock_guard guard(lock);
        entries[key_of(id)] = value;
    }
    const T *find(const ResourceId &id) {
        std::lock_guard guard(lock);
        auto found = entries.find(key_of(id));
        return found == entries.end() ? nullptr : found->second;
    }
};

Registry<Menu> menus;
Registry<Dialog> dialogs;
Registry<Icon> icons;

}  // namespace

void register_menu(ResourceId name, const Menu *menu) {
    menus.add(name, menu);
}
void register_dialog(ResourceId name, const Dialog *dialog) {
    dialogs.add(name, dialog);
}
void register_icon(ResourceId name, const Icon *icon) {
    icons.add(name, icon);
}
const Menu *find_menu(ResourceId name) {
    return menus.find(name);
}
const Dialog *find_dialog(ResourceId name) {
    return dialogs.find(name);
}
const Icon *find_icon(ResourceId name) {
    return icons.find(name);
}

}  // namespace platform::resources
