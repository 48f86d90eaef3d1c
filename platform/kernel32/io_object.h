// Kernel objects that ReadFile, WriteFile and FlushFileBuffers work on: files, devices and both ends of
// named pipes. Each call sets the last error itself when it fails.
#pragma once

#include "kernel_object.h"

namespace platform::kernel {

class IoObject : public KernelObject {
public:
    virtual bool read(void *buffer, DWORD size, DWORD &done) = 0;
    virtual bool write(const void *buffer, DWORD size, DWORD &done) = 0;
    virtual bool flush() = 0;
};

}  // namespace platform::kernel
