#include "resource_counts.h"

#include "gdi32/gdi_objects.h"
#include "kernel32/global_memory.h"
#include "kernel32/handle_table.h"
#include "user32/window.h"

namespace platform::testing {

std::size_t open_handle_count() {
    return kernel::open_handle_count();
}
std::size_t live_global_block_count() {
    return kernel::live_global_block_count();
}
std::size_t window_count() {
    return user::all_windows().size();
}
std::size_t gdi_object_count() {
    return gdi::live_object_count();
}
std::size_t device_context_count() {
    return gdi::live_dc_count();
}
void limit_open_handles(std::size_t capacity) {
    kernel::limit_open_handles(capacity);
}

}  // namespace platform::testing
