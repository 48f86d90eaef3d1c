// The bridge from kernel calls that take a security descriptor (CreateNamedPipeA) to the security library,
// which turns descriptors into POSIX ACLs. The security library defines it; a program that never builds a
// descriptor does not link it, and a call that is handed a descriptor then fails rather than ignore it.
#pragma once

#include <windows.h>

// Applies the descriptor's DACL to the Linux file at `path`; returns a Win32 error code, 0 on success.
extern "C" DWORD platform_apply_file_security(const char *path, const void *security_descriptor) __attribute__((weak));
