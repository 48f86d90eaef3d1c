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
constexpr char call_request = 'C';  // client: connect me; the rest of this message is my first pipe message
constexpr char wait_request = 'W';  // client: is the instance listening? (WaitNamedPipe)
constexpr char connected = 'K';     // server: you are the instance's client; next byte: 1 for a message pipe
constexpr char busy = 'B';          // server: the instance is serving someone else; next four bytes: the
                                    // pipe's default time-out in ms
constexpr char available = 'A';     // server: the instance listens now
constexpr char data = 'D';          // either: one pipe message follows
constexpr char disconnected = 'X';  // server: DisconnectNamedPipe; nothing more will come

// The largest first message a call request carries; a longer one is sent after the connection.
constexpr std::size_t max_call_payload = 4096;

}  // namespace platform::kernel::pipe_protocol

namespace platform::kernel {

// A control message that ended a read.
struct ControlMessage {
    char tag = 0;
    unsigned char extra[4] = {};
};

class PipeChannel {
public:
    explicit PipeChannel(UniqueFd fd) : fd_(std::move(fd)) {}

    int fd() const { return fd_.get(); }

    // WriteFile: one message, sent whole.
    bool send(const void *buffer, DWORD size, DWORD &done);
    // ReadFile: the next message, or what is left of a message read in part. A message longer than the buffer
    // fills the buffer and keeps the rest for the next read; in message read mode the read then fails with
    // ERROR_MORE_DATA, as on Windows. A control message other than a disconnect ends the read when `control` is
    // given (it receives the message and the read fails with ERROR_PIPE_BUSY); otherwise it is skipped.
    bool receive(void *buffer, DWORD size, DWORD &done, bool message_mode, ControlMessage *control = nullptr);
    // FlushFileBuffers: waits until the other end has read everything sent so far (or has gone).
    bool flush();
    // The server's DisconnectNamedPipe: tells the client, then cuts the connection both ways.
    void disconnect();

    // A message that came with the client's connection request, read before anything on the socket.
    void set_first_message(const char *data, std::size_t size);
    // True once a message has arrived; otherwise waits up to `milliseconds` for one (or for the end of the
    // connection) and says whether anything came.
    bool wait_for_message(int milliseconds);

private:
    bool receive_remainder(void *buffer, DWORD size, DWORD &done, bool message_mode);

    UniqueFd fd_;
    std::mutex read_lock_;
    std::vector<char> remainder_;
    std::size_t remainder_offset_ = 0;
    bool remainder_pending_ = false;  // remainder_ holds the rest of a message (possibly empty)
    bool heard_from_ = false;
    bool disconnected_by_server_ = false;
};

// Sends a control message (tag and optional bytes) without blocking; false when it could not be sent.
bool send_control(int fd, char tag, const void *extra = nullptr, std::size_t extra_size = 0);

}  // namespace platform::kernel
