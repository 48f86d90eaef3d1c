// The service dispatcher's connection to whatever manages the service: servicectl (a control socket and a
// status file under the prefix) or systemd (the notify socket). The dispatcher publishes every status
// report through the link and serves the control requests that arrive on it.
#pragma once

#include "service_registry.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace platform::services {

// A file descriptor closed when its owner goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    ~UniqueFd();
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Hands one control code to the service and says what became of it.
using DeliverControl = std::function<ControlReply(DWORD control)>;

class ManagerLink {
public:
    virtual ~ManagerLink() = default;
    virtual void publish(const SERVICE_STATUS &status) = 0;
    // Readable when a control request is waiting; -1 when controls arrive only as signals.
    virtual int control_fd() const { return -1; }
    virtual void serve_control(const DeliverControl &deliver) {}
};

// Both return null with a Win32 error in `error` when the manager cannot be reached.
std::unique_ptr<ManagerLink> connect_servicectl(std::string_view service_name, DWORD &error);
std::unique_ptr<ManagerLink> connect_systemd(const std::string &notify_socket, DWORD &error);

}  // namespace platform::services
