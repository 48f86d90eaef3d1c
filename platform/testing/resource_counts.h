// What the platform holds for a process at the moment: a test compares the counts before and after a piece of
// work to prove that it released every handle, memory block, window and GDI object it took.
#pragma once

#include <cstddef>

namespace platform::testing {

std::size_t open_handle_count();
std::size_t live_global_block_count();
std::size_t window_count();
std::size_t gdi_object_count();
std::size_t device_context_count();

// Makes handle creation fail (ERROR_NOT_ENOUGH_MEMORY, as an exhausted table does) once `capacity` handles
// are open; SIZE_MAX lifts the limit.
void limit_open_handles(std::size_t capacity);

}  // namespace platform::testing
