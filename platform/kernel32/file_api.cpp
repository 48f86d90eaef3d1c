// CreateFileA, ReadFile, WriteFile and FlushFileBuffers on files, devices and named pipes. Synchronous only;
// share modes are not enforced (Linux has no mandatory sharing).
#include "dos_paths.h"
#include "file_object.h"
#include "handle_table.h"
#include "named_pipe.h"

using namespace platform::kernel;

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    if (!lpFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    std::shared_ptr<KernelObject> object;
    if (auto name = pipe_name(lpFileName)) {
        object = PipeClient::connect(*name);
        if (object)
            SetLastError(ERROR_SUCCESS);
    } else if (auto path = unix_path(lpFileName)) {
        object = FileObject::open(*path, dwDesiredAccess, dwCreationDisposition);
    }
    if (!object)
        return INVALID_HANDLE_VALUE;
    DWORD error = GetLastError();  // ERROR_ALREADY_EXISTS or 0, as the open left it
    HANDLE handle = insert_handle(std::move(object));
    if (!handle) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(error);
    return handle;
}

namespace {

// The checks ReadFile and WriteFile share: the count starts at 0, overlapped I/O is not offered, and a
// transfer needs a buffer.
bool io_arguments_valid(LPCVOID buffer, DWORD bytes, LPDWORD transferred, LPOVERLAPPED overlapped) {
    if (transferred)
        *transferred = 0;
    if (overlapped || (!buffer && bytes)) {
        SetLastError(overlapped ? ERROR_INVALID_PARAMETER : ERROR_NOACCESS);
        return false;
    }
    return true;
}

}  // namespace

extern "C" BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                                LPOVERLAPPED lpOverlapped) {
    if (!io_arguments_valid(lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped))
        return FALSE;
    auto object = lookup_handle_as<IoObject>(hFile);
    if (!object)
        return FALSE;
    DWORD done = 0;
    bool ok = object->read(lpBuffer, nNumberOfBytesToRead, done);
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = done;  // also on ERROR_MORE_DATA, which delivers a full buffer
    return ok;
}

extern "C" BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (!io_arguments_valid(lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped))
        return FALSE;
    auto object = lookup_handle_as<IoObject>(hFile);
    if (!object)
        return FALSE;
    DWORD done = 0;
    bool ok = object->write(lpBuffer, nNumberOfBytesToWrite, done);
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = done;
    return ok;
}

extern "C" BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    auto object = lookup_handle_as<IoObject>(hFile);
    return object && object->flush();
}
