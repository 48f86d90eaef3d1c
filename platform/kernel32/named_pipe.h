// Both ends of a named pipe as kernel objects. The server end owns two listening sockets: the pipe's, where
// clients ask to be connected, and a second one (NAME%wait) where WaitNamedPipeA waits. Arrivals are answered
// at once, so that a client learns without waiting whether it is connected or the one instance is busy, as on
// Windows: by the thread in ConnectNamedPipe while there is one, and by a thread of the server's own otherwise.
// Waiters sit in the wait socket's queue, which the server empties only while the instance listens, so they
// cost the server no descriptor.
#pragma once

#include "io_object.h"
#include "named_pipe_channel.h"
#include "named_pipe_location.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform::kernel {

class PipeEnd : public IoObject {
public:
    bool message_read_mode() const { return message_read_mode_; }
    void set_message_read_mode(bool on) { message_read_mode_ = on; }
    virtual bool is_message_pipe() const = 0;

protected:
    std::atomic<bool> message_read_mode_{false};
};

class PipeClient : public PipeEnd {
public:
    // CreateFileA on "\\.\pipe\NAME"; null with the last error set (ERROR_FILE_NOT_FOUND, ERROR_PIPE_BUSY,
    // ERROR_ACCESS_DENIED, ...).
    static std::shared_ptr<PipeClient> connect(std::string_view pipe_name);

    PipeClient(std::shared_ptr<PipeChannel> channel, bool message_pipe)
        : channel_(std::move(channel)), message_pipe_(message_pipe) {}

    bool read(void *buffer, DWORD size, DWORD &done) override;
    bool write(const void *buffer, DWORD size, DWORD &done) override;
    bool flush() override { return channel_->flush(); }
    bool is_message_pipe() const override { return message_pipe_; }

private:
    std::shared_ptr<PipeChannel> channel_;
    bool message_pipe_;
};

// WaitNamedPipeA.
bool wait_for_pipe(std::string_view pipe_name, DWORD timeout);

// CallNamedPipeA: connects (waiting up to `timeout` while the instance is busy), sends one message and reads
// the reply.
bool call_pipe(std::string_view pipe_name, const void *request, DWORD request_size, void *reply, DWORD reply_size,
               DWORD &received, DWORD timeout);

// What the server end and its answering thread share.
struct PipeInstance {
    enum class State { listening, connected, disconnected };

    std::mutex lock;
    State state = State::listening;
    std::shared_ptr<PipeChannel> client;
    bool closing = false;
    bool connector_present = false;  // a thread in ConnectNamedPipe answers arrivals itself
    // After DisconnectNamedPipe: until then, a ConnectNamedPipe is expected to follow and take the arrivals.
    std::chrono::steady_clock::time_point connector_expected_until;
    bool message_pipe = false;
    DWORD default_timeout = 50;
    // How long a connected client may keep the instance without sending anything ([pipes] idle_client_ms);
    // 0 for no limit.
    int idle_client_ms = 0;
    std::chrono::steady_clock::time_point connected_at;
    UniqueFd wake;  // eventfd of the answering thread: state changed, or closing
    void wake_answerer();
};

class Reception;

class NamedPipeServer : public PipeEnd {
public:
    // CreateNamedPipeA after its arguments were checked; null with the last error set.
    static std::shared_ptr<NamedPipeServer> create(std::string_view pipe_name, bool message_pipe,
                                                   bool message_read_mode, DWORD default_timeout,
                                                   const void *security_descriptor);
    ~NamedPipeServer() override;

    bool connect();     // ConnectNamedPipe
    bool disconnect();  // DisconnectNamedPipe
    bool read(void *buffer, DWORD size, DWORD &done) override;
    bool write(const void *buffer, DWORD size, DWORD &done) override;
    bool flush() override;
    bool is_message_pipe() const override { return instance_->message_pipe; }

    NamedPipeServer(PipeLocation location, UniqueFd listener, UniqueFd wait_listener, UniqueFd lock_file,
                    std::shared_ptr<PipeInstance> instance);

private:
    // The connected client's channel, or null with the last error that the state means.
    std::shared_ptr<PipeChannel> connected_client();

    PipeLocation location_;
    UniqueFd listener_;
    UniqueFd wait_listener_;
    UniqueFd lock_file_;
    std::shared_ptr<PipeInstance> instance_;
    std::mutex reception_lock_;  // one thread at a time answers arrivals
    std::unique_ptr<Reception> reception_;
    std::thread answerer_;
};

}  // namespace platform::kernel
