// A security descriptor's DACL written to a Linux file as its POSIX access ACL.
//
// Each access-allowed ACE gives the Unix group its SID maps to the rwx bits its mask means (read: GENERIC_READ,
// GENERIC_ALL, FILE_READ_DATA; write: GENERIC_WRITE, GENERIC_ALL, FILE_WRITE_DATA, FILE_APPEND_DATA; execute:
// GENERIC_EXECUTE, GENERIC_ALL, FILE_EXECUTE). Everyone else gets nothing; an "Everyone" ACE gives every
// entry its bits. The owner entry gets what the ACEs give the owner's groups, since POSIX never lets an owner
// fall through to group entries. A null DACL (or none) gives everyone rwx. The file's owner and group stay.
#pragma once

#include <windows.h>

namespace platform::security {

// Returns a Win32 error code, 0 on success.
DWORD apply_descriptor_to_file(const char *path, const void *descriptor);

}  // namespace platform::security
