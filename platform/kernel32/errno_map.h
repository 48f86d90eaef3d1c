// The one table that turns a Linux errno into the Win32 error code a caller of the file, device, pipe and
// security calls sees. Callers with a more precise meaning for an errno in their context (a refused
// connection to a pipe, say) decide that themselves before falling back to this table.
#pragma once

#include <windows.h>

namespace platform::kernel {

DWORD win32_error_from_errno(int error);

// SetLastError(win32_error_from_errno(error)); for the common "fail with errno" path.
void set_last_error_from_errno(int error);

// As above for a failed call on `path`: a missing file whose folder is missing too is ERROR_PATH_NOT_FOUND,
// as Windows tells the two apart.
DWORD win32_error_for_path(int error, const char *path);

}  // namespace platform::kernel
