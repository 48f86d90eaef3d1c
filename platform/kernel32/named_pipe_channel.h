// One connected end of a named pipe: a SOCK_SEQPACKET Unix socket whose every message starts with a tag byte.
// Data messages carry 'D' and the payload; the other tags belong to the connection handshake. The tag keeps a
// zero-byte pipe message apart from the end of the connection, which also reads as zero bytes.
#pragma once

#include "unique_fd.h"

#include <windows.h>

#include <cstddef>
#include <mutex>
#include <vector>

namespace platform::kernel::pipe_protocol {

constexpr char open_request = 'O';  // client: connect me to the instance
constexpr char wait_request = 'W';  // client: tell me when the instance listens (WaitNamedPipe)
constexpr char connected = 'K';     // server: you are the instance's client; next byte: 1 for a message pipe
constexpr char busy = 'B';          // server: the instance is serving someone else
constexpr char available = 'A';     // server: the instance listens now
constexpr char still_busy = 'T';    // server: busy; next four bytes: the pipe's default time-out in ms
constexpr char data = 'D';          // either: one pipe message follows
constexpr char disconnected = 'X';  // server: DisconnectNamedPipe; nothing more will come

}  // namespace platform::kernel::pipe_protocol

namespace platform::kernel {

class PipeChannel {
public:
    explicit PipeChannel(UniqueFd fd) : fd_(std::move(fd)) {}

    int fd() const { return fd_.get(); }

    // WriteFile: one message, sent whole.
    bool send(const void *buffer, DWORD size, DWORD &done);
    // ReadFile: the next message, or what is left of a message read in part. A message longer than the buffer
    // fills the buffer and keeps the rest for the next read; in message read mode the read then fails with
    // ERROR_MORE_DATA, as on Windows.
    bool receive(void *buffer, DWORD size, DWORD &done, bool message_mode);
    // FlushFileBuffers: waits until the other end has read everything sent so far (or has gone).
    bool flush();
    // The server's DisconnectNamedPipe: tells the client, then cuts the connection both ways.
    void disconnect();

private:
    bool receive_remainder(void *buffer, DWORD size, DWORD &done, bool message_mode);

    UniqueFd fd_;
    std::mutex read_lock_;
    std::vector<char> remainder_;
    std::size_t remainder_offset_ = 0;
    bool disconnected_by_server_ = false;
};

// Sends a control message (tag and optional bytes) without blocking; false when it could not be sent.
bool send_control(int fd, char tag, const void *extra = nullptr, std::size_t extra_size = 0);

}  // namespace platform::kernel
