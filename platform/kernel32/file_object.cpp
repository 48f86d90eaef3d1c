#include "file_object.h"

#include "errno_map.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform::kernel {
namespace {

constexpr DWORD read_rights = GENERIC_READ | GENERIC_ALL | 0x0001 /* FILE_READ_DATA */;
constexpr DWORD write_rights =
    GENERIC_WRITE | GENERIC_ALL | 0x0002 /* FILE_WRITE_DATA */ | 0x0004 /* FILE_APPEND_DATA */;

int access_flags(DWORD access) {
    bool reads = access & read_rights, writes = access & write_rights;
    if (reads && writes)
        return O_RDWR;
    if (writes)
        return O_WRONLY;
    if (reads)
        return O_RDONLY;
    return O_PATH;  // no data access: the handle can name the file and nothing more
}

// A file the platform makes is its creator's alone (no security attributes are applied here), whatever the
// umask; O_EXCL also keeps a creating open from following a link.
constexpr mode_t created_mode = 0600;

int open_retrying(const std::string &path, int flags) {
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, created_mode);
    while (fd < 0 && errno == EINTR);
    if (fd >= 0 && (flags & O_EXCL))
        fchmod(fd, created_mode);
    return fd;
}

}  // namespace

std::shared_ptr<FileObject> FileObject::open(const std::string &path, DWORD access, DWORD disposition) {
    int flags = access_flags(access);
    if (flags == O_PATH && disposition != OPEN_EXISTING)
        flags = O_RDONLY;  // creating or truncating needs a real open
    bool existed = false;
    int fd = -1;
    switch (disposition) {
        case CREATE_NEW:
            fd = open_retrying(path, flags | O_CREAT | O_EXCL);
            break;
        case OPEN_EXISTING:
            fd = open_retrying(path, flags);
            break;
        case TRUNCATE_EXISTING:
            if (!(access & write_rights)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            fd = open_retrying(path, flags | O_TRUNC);
            break;
        case CREATE_ALWAYS:
        case OPEN_ALWAYS: {
            int extra = disposition == CREATE_ALWAYS ? O_TRUNC : 0;
            // Whether the file was there decides the last error; retry if it appears or vanishes in between.
            for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
                fd = open_retrying(path, flags | O_CREAT | O_EXCL);
                if (fd >= 0 || errno != EEXIST)
                    break;
                fd = open_retrying(path, flags | extra);
                existed = fd >= 0;
                if (fd < 0 && errno != ENOENT)
                    break;
            }
            break;
        }
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
    }
    if (fd < 0) {
        SetLastError(win32_error_for_path(errno, path.c_str()));
        return nullptr;
    }
    UniqueFd owned(fd);
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);  // folders open only with backup semantics on Windows
        return nullptr;
    }
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return std::make_shared<FileObject>(std::move(owned));
}

bool FileObject::read(void *buffer, DWORD size, DWORD &done) {
    ssize_t n;
    do
        n = ::read(fd_.get(), buffer, size);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        set_last_error_from_errno(errno == EBADF ? EACCES : errno);  // EBADF: opened without read access
        return false;
    }
    done = static_cast<DWORD>(n);
    return true;
}

bool FileObject::write(const void *buffer, DWORD size, DWORD &done) {
    auto *bytes = static_cast<const char *>(buffer);
    done = 0;
    while (done < size) {
        ssize_t n = ::write(fd_.get(), bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            set_last_error_from_errno(errno == EBADF ? EACCES : errno);
            return false;
        }
        done += static_cast<DWORD>(n);
    }
    return true;
}

bool FileObject::flush() {
    if (::fsync(fd_.get()) != 0 && errno != EINVAL) {  // EINVAL: a device or pipe that keeps no buffers
        set_last_error_from_errno(errno == EBADF ? EACCES : errno);
        return false;
    }
    return true;
}

}  // namespace platform::kernel
