// Global memory seen from inside the platform.
#pragma once

#include <cstddef>

namespace platform::kernel {

// Number of blocks allocated and not yet freed; tests use it to show that nothing leaks.
std::size_t live_global_block_count();

}  // namespace platform::kernel
