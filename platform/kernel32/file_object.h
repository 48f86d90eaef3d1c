// A file or device opened with CreateFileA.
#pragma once

#include "io_object.h"
#include "unique_fd.h"

#include <memory>
#include <string>

namespace platform::kernel {

class FileObject : public IoObject {
public:
    // Opens the Linux path as CreateFileA asks; null with the last error set when it cannot. On success the
    // last error is ERROR_ALREADY_EXISTS when OPEN_ALWAYS or CREATE_ALWAYS found the file, else 0.
    static std::shared_ptr<FileObject> open(const std::string &path, DWORD access, DWORD disposition);

    explicit FileObject(UniqueFd fd) : fd_(std::move(fd)) {}

    bool read(void *buffer, DWORD size, DWORD &done) override;
    bool write(const void *buffer, DWORD size, DWORD &done) override;
    bool flush() override;

private:
    UniqueFd fd_;
};

}  // namespace platform::kernel
