#include "named_pipe_channel.h"

#include "errno_map.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <linux/sockios.h>
#include <thread>

namespace platform::kernel {

bool send_control(int fd, char tag, const void *extra, std::size_t extra_size) {
    iovec parts[2] = {{&tag, 1}, {const_cast<void *>(extra), extra_size}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = extra_size ? 2 : 1;
    ssize_t sent;
    do
        sent = sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(1 + extra_size);
}

bool PipeChannel::send(const void *buffer, DWORD size, DWORD &done) {
    done = 0;
    char tag = pipe_protocol::data;
    iovec parts[2] = {{&tag, 1}, {const_cast<void *>(buffer), size}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    ssize_t sent;
    do
        sent = sendmsg(fd_.get(), &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        if (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN)
            SetLastError(disconnected_by_server_ ? ERROR_PIPE_NOT_CONNECTED : ERROR_NO_DATA);
        else
            set_last_error_from_errno(errno);
        return false;
    }
    done = size;
    return true;
}

bool PipeChannel::receive_remainder(void *buffer, DWORD size, DWORD &done, bool message_mode) {
    std::size_t left = remainder_.size() - remainder_offset_;
    std::size_t take = std::min<std::size_t>(left, size);
    if (take)
        std::memcpy(buffer, remainder_.data() + remainder_offset_, take);
    remainder_offset_ += take;
    done = static_cast<DWORD>(take);
    if (take < left) {
        if (message_mode) {
            SetLastError(ERROR_MORE_DATA);
            return false;
        }
        return true;
    }
    remainder_.clear();
    remainder_offset_ = 0;
    remainder_pending_ = false;
    return true;
}

void PipeChannel::set_first_message(const char *data, std::size_t size) {
    std::lock_guard guard(read_lock_);
    remainder_.assign(data, data + size);
    remainder_offset_ = 0;
    remainder_pending_ = true;
    heard_from_ = true;
}

bool PipeChannel::wait_for_message(int milliseconds) {
    {
        std::lock_guard guard(read_lock_);
        if (heard_from_)
            return true;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        char tag;
        if (recv(fd_.get(), &tag, 1, MSG_PEEK | MSG_DONTWAIT) >= 0 || (errno != EAGAIN && errno != EINTR))
            return true;  // a message, the end of the connection, or an error the read will report
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd watched{fd_.get(), POLLIN, 0};
        poll(&watched, 1, static_cast<int>(left.count()));
    }
}

bool PipeChannel::receive(void *buffer, DWORD size, DWORD &done, bool message_mode, ControlMessage *control) {
    std::lock_guard guard(read_lock_);
    done = 0;
    if (remainder_pending_)
        return receive_remainder(buffer, size, done, message_mode);
    for (;;) {
        ssize_t length;
        do
            length = recv(fd_.get(), nullptr, 0, MSG_PEEK | MSG_TRUNC);
        while (length < 0 && errno == EINTR);
        if (length <= 0) {
            // A closed connection. After DisconnectNamedPipe the client hears that it is no longer
            // connected; a closed other end is a broken pipe.
            if (length == 0 || errno == ECONNRESET || errno == EPIPE || errno == ENOTCONN)
                SetLastError(disconnected_by_server_ ? ERROR_PIPE_NOT_CONNECTED : ERROR_BROKEN_PIPE);
            else
                set_last_error_from_errno(errno);
            return false;
        }
        std::size_t payload = static_cast<std::size_t>(length) - 1;
        char tag = 0;
        const char *extra = static_cast<const char *>(buffer);
        std::vector<char> whole;
        ssize_t got;
        if (payload <= size) {
            iovec parts[2] = {{&tag, 1}, {buffer, payload}};
            msghdr message{};
            message.msg_iov = parts;
            message.msg_iovlen = 2;
            do
                got = recvmsg(fd_.get(), &message, 0);
            while (got < 0 && errno == EINTR);
            if (got == length && tag == pipe_protocol::data) {
                done = static_cast<DWORD>(payload);
                heard_from_ = true;
                return true;
            }
        } else {
            whole.resize(static_cast<std::size_t>(length));
            do
                got = recv(fd_.get(), whole.data(), whole.size(), 0);
            while (got < 0 && errno == EINTR);
            if (got == length && whole[0] == pipe_protocol::data) {
                remainder_.assign(whole.begin() + 1, whole.end());
                remainder_offset_ = 0;
                remainder_pending_ = true;
                heard_from_ = true;
                return receive_remainder(buffer, size, done, message_mode);
            }
            tag = got > 0 ? whole[0] : 0;
            extra = whole.data() + 1;
        }
        if (got < 0) {
            set_last_error_from_errno(errno);
            return false;
        }
        if (tag == pipe_protocol::disconnected) {
            disconnected_by_server_ = true;
        } else if (control && got > 0) {
            control->tag = tag;
            std::memcpy(control->extra, extra, std::min(payload, sizeof control->extra));
            SetLastError(ERROR_PIPE_BUSY);
            return false;
        }
        // Any other control message is not data: skip it.
    }
}

bool PipeChannel::flush() {
    for (;;) {
        int unread = 0;
        if (ioctl(fd_.get(), SIOCOUTQ, &unread) != 0 || unread == 0)
            return true;
        pollfd peer{fd_.get(), 0, 0};
        if (poll(&peer, 1, 0) > 0 && (peer.revents & (POLLHUP | POLLERR)))
            return true;  // the reader is gone; nothing more will be read
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void PipeChannel::disconnect() {
    send_control(fd_.get(), pipe_protocol::disconnected);
    shutdown(fd_.get(), SHUT_RDWR);
}

}  // namespace platform::kernel
