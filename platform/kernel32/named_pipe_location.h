// Where the socket of a named pipe lives: \\.\pipe\NAME is the Unix socket pipe/NAME in the prefix, the name
// lower-cased (pipe names ignore case) and with every byte outside [a-z0-9._-] written as %XX.
#pragma once

#include "unique_fd.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <string>
#include <string_view>

namespace platform::kernel {

struct PipeLocation {
    std::string folder;  // the prefix's pipe/ folder
    std::string file;    // the encoded name

    std::string path() const { return folder + "/" + file; }
    // Held with flock by the process that serves the pipe, so that a leftover socket of a process that died
    // is told from a live one.
    std::string lock_path() const { return folder + "/" + file + "%lock"; }
    // The socket where WaitNamedPipeA waits for the instance to listen.
    std::string wait_file() const { return file + "%wait"; }
};

PipeLocation pipe_location(std::string_view pipe_name);

// The Linux path of the socket behind "\\.\pipe\NAME", for callers that set its security.
std::string pipe_socket_path(std::string_view pipe_name);

// A socket address for a file in a folder. Paths too long for sockaddr_un go through /proc/self/fd/N/file,
// N being the folder held open for as long as the address lives.
class SocketAddress {
public:
    SocketAddress(const std::string &folder, const std::string &file);
    bool valid() const { return valid_; }
    const sockaddr *get() const { return reinterpret_cast<const sockaddr *>(&address_); }
    socklen_t size() const { return sizeof address_; }

private:
    UniqueFd folder_fd_;
    sockaddr_un address_{};
    bool valid_ = false;
};

}  // namespace platform::kernel
