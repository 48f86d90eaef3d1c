// The one process-wide table that turns HANDLE values into kernel objects.
#pragma once

#include "kernel_object.h"

#include <memory>

namespace platform::kernel {

// A new handle for the object, or null when the table is full.
HANDLE insert_handle(std::shared_ptr<KernelObject> object);
// The object behind a handle (pseudo-handles included), or null.
std::shared_ptr<KernelObject> lookup_handle(HANDLE handle);
// Removes the handle; false when it named nothing.
bool close_handle(HANDLE handle);
// Number of open handles; tests use it to show that nothing leaks.
std::size_t open_handle_count();
// Lowers the table's capacity (or restores it with SIZE_MAX), so that a test can make the next creation of
// a kernel object fail as it does when the table is full.
void limit_open_handles(std::size_t capacity);

// The object behind a handle when it has type T; otherwise null with ERROR_INVALID_HANDLE set.
template <typename T>
std::shared_ptr<T> lookup_handle_as(HANDLE handle) {
    auto object = std::dynamic_pointer_cast<T>(lookup_handle(handle));
    if (!object)
        SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

}  // namespace platform::kernel
