// The service side of servicectl: a listening control socket that only the service's owner (and root) may
// connect to, and the status file servicectl reads for queries and while it waits for a start or stop.
#include "service_manager_link.h"

#include "kernel32/named_pipe_location.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace platform::services {
namespace {

// How long a connected servicectl may take to send its request before the dispatcher moves on.
constexpr int request_timeout_ms = 5000;

class ServicectlLink final : public ManagerLink {
public:
    ServicectlLink(std::string_view name, UniqueFd listener, ino_t socket_inode)
        : files_(name), listener_(std::move(listener)), socket_inode_(socket_inode) {}

    ~ServicectlLink() override {
        // Remove the socket only while it is still ours; a newer instance may have replaced it.
        struct stat info {};
        if (stat(files_.control_socket().c_str(), &info) == 0 && info.st_ino == socket_inode_)
            unlink(files_.control_socket().c_str());
    }

    void publish(const SERVICE_STATUS &status) override { files_.write_status({status, getpid(), start_time_}); }

    int control_fd() const override { return listener_.get(); }

    void serve_control(const DeliverControl &deliver) override {
        UniqueFd client(accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client)
            return;
        pollfd waiting{client.get(), POLLIN, 0};
        if (poll(&waiting, 1, request_timeout_ms) != 1)
            return;
        ControlRequest request{};
        ssize_t received = recv(client.get(), &request, sizeof request, 0);
        ControlReply reply{};
        if (received == static_cast<ssize_t>(sizeof request))
            reply = deliver(request.control);
        else
            reply.error = ERROR_INVALID_PARAMETER;
        send(client.get(), &reply, sizeof reply, MSG_NOSIGNAL);
    }

private:
    ServiceFiles files_;
    UniqueFd listener_;
    ino_t socket_inode_;
    unsigned long long start_time_ = process_start_time(getpid()).value_or(0);
};

}  // namespace

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (fd_ >= 0)
        close(fd_);
}

std::unique_ptr<ManagerLink> connect_servicectl(std::string_view service_name, DWORD &error) {
    error = ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
    if (!valid_service_name(service_name))
        return nullptr;
    ServiceFiles files(service_name);
    std::string path = files.control_socket().string();
    // Reached through the services folder's descriptor when the path is too long for a socket address.
    kernel::SocketAddress address(files.control_socket().parent_path().string(),
                                  files.control_socket().filename().string());
    if (!address.valid())
        return nullptr;

    UniqueFd listener(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    if (!listener)
        return nullptr;
    unlink(path.c_str());  // left over from an instance that did not end cleanly
    mode_t old_mask = umask(0077);
    int bound = bind(listener.get(), address.get(), address.size());
    umask(old_mask);
    // Only the owner (and root) may send controls, whatever the umask was.
    struct stat info {};
    if (bound != 0 || chmod(path.c_str(), 0600) != 0 || listen(listener.get(), 8) != 0 ||
        stat(path.c_str(), &info) != 0)
        return nullptr;
    error = ERROR_SUCCESS;
    return std::make_unique<ServicectlLink>(service_name, std::move(listener), info.st_ino);
}

}  // namespace platform::services
