// The named-pipe calls of the Win32 API. Supported: message and byte pipes in blocking mode, one instance
// per name (across processes), synchronous I/O only.
#include "dos_paths.h"
#include "handle_table.h"
#include "named_pipe.h"

#include <chrono>

using namespace platform::kernel;

namespace {

HANDLE insert_or_fail(std::shared_ptr<KernelObject> object) {
    HANDLE handle = insert_handle(std::move(object));
    if (!handle) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

}  // namespace

extern "C" HANDLE WINAPI CreateNamedPipeA(LPCSTR lpName, DWORD dwOpenMode, DWORD dwPipeMode, DWORD nMaxInstances,
                                          DWORD nOutBufferSize, DWORD nInBufferSize, DWORD nDefaultTimeOut,
                                          LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    auto name = lpName ? pipe_name(lpName) : std::nullopt;
    if (!name) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    bool message_pipe = dwPipeMode & PIPE_TYPE_MESSAGE;
    bool message_read = dwPipeMode & PIPE_READMODE_MESSAGE;
    if ((dwOpenMode & PIPE_ACCESS_DUPLEX) == 0 || nMaxInstances == 0 || nMaxInstances > PIPE_UNLIMITED_INSTANCES ||
        (message_read && !message_pipe)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if ((dwOpenMode & FILE_FLAG_OVERLAPPED) || (dwPipeMode & PIPE_NOWAIT)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    const void *descriptor = lpSecurityAttributes ? lpSecurityAttributes->lpSecurityDescriptor : nullptr;
    auto server = NamedPipeServer::create(*name, message_pipe, message_read, nDefaultTimeOut, descriptor);
    if (!server)
        return INVALID_HANDLE_VALUE;
    return insert_or_fail(std::move(server));
}

extern "C" BOOL WINAPI ConnectNamedPipe(HANDLE hNamedPipe, LPOVERLAPPED lpOverlapped) {
    if (lpOverlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto server = lookup_handle_as<NamedPipeServer>(hNamedPipe);
    return server && server->connect();
}

extern "C" BOOL WINAPI DisconnectNamedPipe(HANDLE hNamedPipe) {
    auto server = lookup_handle_as<NamedPipeServer>(hNamedPipe);
    return server && server->disconnect();
}

extern "C" BOOL WINAPI WaitNamedPipeA(LPCSTR lpNamedPipeName, DWORD nTimeOut) {
    auto name = lpNamedPipeName ? pipe_name(lpNamedPipeName) : std::nullopt;
    if (!name) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    return wait_for_pipe(*name, nTimeOut);
}

extern "C" BOOL WINAPI SetNamedPipeHandleState(HANDLE hNamedPipe, LPDWORD lpMode, LPDWORD lpMaxCollectionCount,
                                               LPDWORD lpCollectDataTimeout) {
    auto pipe = lookup_handle_as<PipeEnd>(hNamedPipe);
    if (!pipe)
        return FALSE;
    if (lpMode) {
        if (*lpMode & ~(PIPE_READMODE_MESSAGE | PIPE_NOWAIT)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (*lpMode & PIPE_NOWAIT) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
        bool message_read = *lpMode & PIPE_READMODE_MESSAGE;
        if (message_read && !pipe->is_message_pipe()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        pipe->set_message_read_mode(message_read);
    }
    // Collection count and time-out concern byte pipes to remote machines only: accepted and ignored.
    return TRUE;
}

extern "C" BOOL WINAPI TransactNamedPipe(HANDLE hNamedPipe, LPVOID lpInBuffer, DWORD nInBufferSize, LPVOID lpOutBuffer,
                                         DWORD nOutBufferSize, LPDWORD lpBytesRead, LPOVERLAPPED lpOverlapped) {
    if (lpBytesRead)
        *lpBytesRead = 0;
    if (lpOverlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto pipe = lookup_handle_as<PipeEnd>(hNamedPipe);
    if (!pipe)
        return FALSE;
    if (!pipe->message_read_mode()) {
        SetLastError(ERROR_BAD_PIPE);
        return FALSE;
    }
    DWORD done = 0;
    if (!pipe->write(lpInBuffer, nInBufferSize, done))
        return FALSE;
    bool ok = pipe->read(lpOutBuffer, nOutBufferSize, done);
    if (lpBytesRead)
        *lpBytesRead = done;
    return ok;
}

extern "C" BOOL WINAPI CallNamedPipeA(LPCSTR lpNamedPipeName, LPVOID lpInBuffer, DWORD nInBufferSize,
                                      LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesRead, DWORD nTimeOut) {
    if (lpBytesRead)
        *lpBytesRead = 0;
    auto name = lpNamedPipeName ? pipe_name(lpNamedPipeName) : std::nullopt;
    if (!name) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    DWORD done = 0;
    bool ok = call_pipe(*name, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize, done, nTimeOut);
    if (lpBytesRead)
        *lpBytesRead = done;
    return ok;
}
