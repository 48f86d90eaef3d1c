// pipecall: sends one request message to a named pipe through the Win32 client calls and prints the text
// of the reply (up to its first NUL).
//   pipecall [--wait MS] PIPENAME REQUEST
// --wait is how long to wait for a busy pipe (default: the pipe's own time-out). Exit status 0 when the
// exchange worked, 1 when it failed (the Win32 error is printed), 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    DWORD wait = NMPWAIT_USE_DEFAULT_WAIT;
    int first = 1;
    if (argc == 5 && std::strcmp(argv[1], "--wait") == 0) {
        wait = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
        first = 3;
    }
    if (argc - first != 2) {
        std::fprintf(stderr, "usage: pipecall [--wait MS] PIPENAME REQUEST\n");
        return 2;
    }
    std::string request = argv[first + 1];
    std::vector<char> reply(65536);
    DWORD received = 0;
    if (!CallNamedPipeA(argv[first], request.data(), static_cast<DWORD>(request.size()), reply.data(),
                        static_cast<DWORD>(reply.size()), &received, wait)) {
        std::fprintf(stderr, "pipecall: %s: error %lu\n", argv[first], static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    std::string text(reply.data(), strnlen(reply.data(), received));
    std::printf("%s\n", text.c_str());
    return 0;
}
