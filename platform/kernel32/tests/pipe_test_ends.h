// The two ends of the test pipe, shared by the conformance tests and the platform's own pipe tests.
#pragma once

#include <windows.h>

namespace pipe_ends {

constexpr const char *pipe_path = "\\\\.\\pipe\\conformance";

// One instance, with room for what the tests write before they read: a write that finds no room waits.
inline HANDLE create_pipe(const char *name = pipe_path, DWORD mode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                          DWORD timeout = 1000) {
    return CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, mode, 1, 4096, 4096, timeout, nullptr);
}

inline HANDLE open_client() {
    return CreateFileA(pipe_path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Opens the pipe once the instance listens, as a client of a busy server does.
inline HANDLE open_client_when_listening() {
    HANDLE client = INVALID_HANDLE_VALUE;
    while (client == INVALID_HANDLE_VALUE && WaitNamedPipeA(pipe_path, NMPWAIT_WAIT_FOREVER))
        client = open_client();
    return client;
}

}  // namespace pipe_ends
