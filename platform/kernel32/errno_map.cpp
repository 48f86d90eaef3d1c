#include "errno_map.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>

namespace platform::kernel {
namespace {

struct ErrnoMapping {
    int error;
    DWORD win32;
};

// Unlisted errno values become ERROR_GEN_FAILURE.
constexpr ErrnoMapping errno_table[] = {
    {0, ERROR_SUCCESS},
    {ENOENT, ERROR_FILE_NOT_FOUND},        // the file, or the device behind a drive letter, is missing
    {ENOTDIR, ERROR_PATH_NOT_FOUND},       // a folder on the way is not a folder
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},  // a symlink loop in dosdevices/
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EACCES, ERROR_ACCESS_DENIED},  // refused by mode bits or ACL
    {EPERM, ERROR_ACCESS_DENIED},   // not the owner (changing an ACL), or not permitted at all
    {EISDIR, ERROR_ACCESS_DENIED},  // Windows refuses to open a folder as a file the same way
    {EROFS, ERROR_WRITE_PROTECT},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {ENXIO, ERROR_NOT_READY},  // a device with no medium (a floppy drive without a disk)
    {ENODEV, ERROR_NOT_READY},
    {ENOMEDIUM, ERROR_NOT_READY},
    {EIO, ERROR_GEN_FAILURE},
    {EBUSY, ERROR_BUSY},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EEXIST, ERROR_FILE_EXISTS},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {EPIPE, ERROR_NO_DATA},  // writing to a pipe whose other end has gone
    {ECONNRESET, ERROR_BROKEN_PIPE},
    {ENOTCONN, ERROR_PIPE_NOT_CONNECTED},
    {ETIMEDOUT, ERROR_SEM_TIMEOUT},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},  // also ENOTSUP: e.g. a file system without POSIX ACLs
    {ENOSYS, ERROR_NOT_SUPPORTED},
    {EMSGSIZE, ERROR_NOT_ENOUGH_MEMORY},  // a pipe message larger than the socket can carry
    {ENOBUFS, ERROR_NOT_ENOUGH_MEMORY},
};

}  // namespace

DWORD win32_error_from_errno(int error) {
    for (auto &mapping : errno_table)
        if (mapping.error == error)
            return mapping.win32;
    return ERROR_GEN_FAILURE;
}

void set_last_error_from_errno(int error) {
    SetLastError(win32_error_from_errno(error));
}

DWORD win32_error_for_path(int error, const char *path) {
    if (error == ENOENT) {
        std::string folder(path);
        auto slash = folder.find_last_of('/');
        folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
        struct stat info {};
        if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            return ERROR_PATH_NOT_FOUND;
    }
    return win32_error_from_errno(error);
}

}  // namespace platform::kernel
