// The service side of systemd's notify protocol: one datagram of "KEY=VALUE" lines per status report on
// the Unix socket named by NOTIFY_SOCKET (a path, or an abstract name written with a leading '@').
// Controls arrive as signals, which the dispatcher handles for every manager alike.
#include "service_manager_link.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace platform::services {
namespace {

class SystemdLink final : public ManagerLink {
public:
    SystemdLink(UniqueFd fd, sockaddr_un address, socklen_t length)
        : fd_(std::move(fd)), address_(address), length_(length) {
        send_message("MAINPID=" + std::to_string(getpid()));
    }

    void publish(const SERVICE_STATUS &status) override { send_message(notify_text(status)); }

private:
    static std::string notify_text(const SERVICE_STATUS &status) {
        // A pending state with a wait hint asks for that much more time, as the hint promises progress.
        std::string extend;
        if (status.dwWaitHint != 0)
            extend = "\nEXTEND_TIMEOUT_USEC=" + std::to_string(uint64_t{status.dwWaitHint} * 1000);
        switch (status.dwCurrentState) {
            case SERVICE_START_PENDING:
                return "STATUS=Starting, checkpoint " + std::to_string(status.dwCheckPoint) + extend;
            case SERVICE_RUNNING:
                return "READY=1\nSTATUS=Running";
            case SERVICE_PAUSE_PENDING:
                return "STATUS=Pausing" + extend;
            case SERVICE_PAUSED:
                return "STATUS=Paused";
            case SERVICE_CONTINUE_PENDING:
                return "STATUS=Continuing" + extend;
            case SERVICE_STOP_PENDING:
                return "STOPPING=1\nSTATUS=Stopping" + extend;
            default:
                return "STOPPING=1\nSTATUS=Stopped, exit code " + std::to_string(status.dwWin32ExitCode);
        }
    }

    void send_message(const std::string &text) {
        sendto(fd_.get(), text.data(), text.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&address_),
               length_);
    }

    UniqueFd fd_;
    sockaddr_un address_;
    socklen_t length_;
};

}  // namespace

std::unique_ptr<ManagerLink> connect_systemd(const std::string &notify_socket, DWORD &error) {
    error = ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (notify_socket.size() < 2 || notify_socket.size() >= sizeof address.sun_path ||
        (notify_socket[0] != '/' && notify_socket[0] != '@'))
        return nullptr;
    std::memcpy(address.sun_path, notify_socket.data(), notify_socket.size());
    socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + notify_socket.size());
    if (notify_socket[0] == '@')
        address.sun_path[0] = '\0';  // abstract namespace: no terminating NUL counts
    else
        length += 1;
    UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd)
        return nullptr;
    error = ERROR_SUCCESS;
    return std::make_unique<SystemdLink>(std::move(fd), address, length);
}

}  // namespace platform::services
