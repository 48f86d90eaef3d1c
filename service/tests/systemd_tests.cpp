// vessamir as systemd runs it (Type=notify): readiness and states on the notify socket, SIGTERM as the
// stop control, which unlocks the drives.
#include "service_harness.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace vessamir_test {
namespace {

class UnderSystemd : public ServiceTest {
protected:
    // The next notify message, waiting generously; empty when none came.
    std::string next_message(int fd) {
        pollfd waiting{fd, POLLIN, 0};
        if (poll(&waiting, 1, 60000) != 1)
            return {};
        char buffer[4096];
        ssize_t size = recv(fd, buffer, sizeof buffer, 0);
        return size > 0 ? std::string(buffer, size) : std::string();
    }
    std::string message_with(int fd, const std::string &wanted) {
        for (int i = 0; i < 16; ++i) {
            std::string message = next_message(fd);
            if (message.empty() || message.find(wanted) != std::string::npos)
                return message;
        }
        return {};
    }
};

TEST_F(UnderSystemd, ReportsReadyAndStopsOnSigterm) {
    fs::path socket_path = prefix / "notify";
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("NOTIFY_SOCKET", socket_path.c_str(), 1);
        execl(VESSAMIR_PATH, "vessamir", static_cast<char *>(nullptr));
        _exit(127);
    }
    EXPECT_EQ(message_with(fd, "READY=1"), "READY=1\nSTATUS=Running");
    EXPECT_EQ(text_of(exchange("Q")), "Floppy status is: Locked");
    kill(child, SIGUSR1);
    EXPECT_EQ(message_with(fd, "STATUS="), "STATUS=Paused");
    kill(child, SIGUSR2);
    EXPECT_EQ(message_with(fd, "STATUS="), "READY=1\nSTATUS=Running");
    kill(child, SIGTERM);
    EXPECT_EQ(message_with(fd, "Stopped"), "STOPPING=1\nSTATUS=Stopped, exit code 0");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    close(fd);
    EXPECT_NE(acl_of(drive_file("a:")).find("other::rw"), std::string::npos);
}

}  // namespace
}  // namespace vessamir_test
