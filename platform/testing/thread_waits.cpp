#include "thread_waits.h"

#include "kernel32/kernel_object.h"
#include "kernel32/suspension.h"

namespace platform::testing {

bool wait_until_parked(DWORD thread_id, DWORD milliseconds) {
    return kernel::wait_until_thread_parked(thread_id, milliseconds);
}

unsigned stops_so_far() {
    return kernel::stops_taken();
}

bool wait_until_stops_exceed(unsigned count, DWORD milliseconds) {
    return kernel::wait_until_stops_exceed(count, milliseconds);
}

}  // namespace platform::testing
