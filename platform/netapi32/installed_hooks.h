// The process-wide choices Netbios() reads on every call: the transport and the test observer.
#pragma once

#include "netbios_hooks.h"

namespace platform::netbios {

// The observer installed by a test, or null.
std::shared_ptr<NcbObserver> current_ncb_observer();

}  // namespace platform::netbios
