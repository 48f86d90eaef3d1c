#include "named_pipe_location.h"

#include "prefix/prefix.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace platform::kernel {

PipeLocation pipe_location(std::string_view pipe_name) {
    PipeLocation location;
    location.folder = (platform::prefix::root() / "pipe").string();
    for (unsigned char c : pipe_name) {
        c = static_cast<unsigned char>(std::tolower(c));
        if (std::isalnum(c) || c == '_' || c == '-' || (c == '.' && !location.file.empty())) {
            location.file += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            location.file += escaped;
        }
    }
    return location;
}

std::string pipe_socket_path(std::string_view pipe_name) {
    return pipe_location(pipe_name).path();
}

SocketAddress::SocketAddress(const std::string &folder, const std::string &file) {
    address_.sun_family = AF_UNIX;
    std::string path = folder + "/" + file;
    if (path.size() >= sizeof address_.sun_path) {
        folder_fd_.reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder_fd_)
            return;
        path = "/proc/self/fd/" + std::to_string(folder_fd_.get()) + "/" + file;
        if (path.size() >= sizeof address_.sun_path)
            return;
    }
    std::memcpy(address_.sun_path, path.c_str(), path.size() + 1);
    valid_ = true;
}

}  // namespace platform::kernel
