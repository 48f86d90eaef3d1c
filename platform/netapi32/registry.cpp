// The installed transport and observer. Both are swapped under one lock and handed out as shared pointers, so a
// command that started with a transport keeps it alive until it completes.
#include "registry.h"

#include <mutex>

namespace platform::netbios {
namespace {

struct Registry {
    std::mutex mutex;
    std::shared_ptr<Transport> transport;
    std::shared_ptr<NcbObserver> observer;
};

// Never destroyed: commands may still be completing while the process exits.
Registry &registry() {
    static auto *instance = new Registry;
    return *instance;
}

}  // namespace

void install_transport(std::shared_ptr<Transport> transport) {
    if (!transport)
        transport = make_default_transport();
    std::lock_guard lock(registry().mutex);
    registry().transport = std::move(transport);
}

std::shared_ptr<Transport> current_transport() {
    std::lock_guard lock(registry().mutex);
    if (!registry().transport)
        registry().transport = make_default_transport();
    return registry().transport;
}

std::shared_ptr<NcbObserver> install_ncb_observer(std::shared_ptr<NcbObserver> observer) {
    std::lock_guard lock(registry().mutex);
    std::swap(registry().observer, observer);
    return observer;
}

std::shared_ptr<NcbObserver> current_ncb_observer() {
    std::lock_guard lock(registry().mutex);
    return registry().observer;
}

}  // namespace platform::netbios
