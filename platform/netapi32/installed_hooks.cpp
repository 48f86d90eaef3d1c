// The installed transport and observer. Both are swapped under one lock and handed out as shared pointers, so a
// command that started with a transport keeps it alive until it completes.
#include "installed_hooks.h"

#include <mutex>

namespace platform::netbios {
namespace {

struct InstalledHooks {
    std::mutex mutex;
    std::shared_ptr<Transport> transport;
    std::shared_ptr<NcbObserver> observer;
};

// Never destroyed: commands may still be completing while the process exits.
InstalledHooks &installed() {
    static auto *instance = new InstalledHooks;
    return *instance;
}

}  // namespace

void install_transport(std::shared_ptr<Transport> transport) {
    if (!transport)
        transport = make_default_transport();
    std::lock_guard lock(installed().mutex);
    installed().transport = std::move(transport);
}

std::shared_ptr<Transport> current_transport() {
    std::lock_guard lock(installed().mutex);
    if (!installed().transport)
        installed().transport = make_default_transport();
    return installed().transport;
}

std::shared_ptr<NcbObserver> install_ncb_observer(std::shared_ptr<NcbObserver> observer) {
    std::lock_guard lock(installed().mutex);
    std::swap(installed().observer, observer);
    return observer;
}

std::shared_ptr<NcbObserver> current_ncb_observer() {
    std::lock_guard lock(installed().mutex);
    return installed().observer;
}

}  // namespace platform::netbios
