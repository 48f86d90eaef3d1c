// pipecall: sends one request message to a named pipe through the Win32 client calls and prints the text of
// the reply (up to its first NUL). Only Win32 and the C and C++ standard libraries, so that the same source
// builds as a Windows program.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD default_wait_ms = 5000;
constexpr DWORD longest_wait_ms = 0xFFFFFFFEu;  // one below INFINITE, which "forever" stands for

const char usage_text[] =
    "Usage: pipecall [--wait MS|forever] PIPENAME REQUEST\n"
    "       pipecall --help\n";

const char help_text[] =
    "Sends REQUEST as one message to the named pipe PIPENAME and prints the text of the reply, up to its\n"
    "first NUL byte, on standard output.\n"
    "\n"
    "Options:\n"
    "  --wait MS       how long to wait in all, in milliseconds, for a free instance of the pipe and for the\n"
    "                  reply: 1 to 4294967294 (default 5000)\n"
    "  --wait forever  wait as long as it takes\n"
    "  --help          show this text and exit\n"
    "\n"
    "Exit status: 0 when the reply came, 1 when the pipe could not be reached or gave no reply in time (the\n"
    "reason is printed on standard error), 2 on bad usage.\n"
#ifndef _WIN32
    "\n"
    "Environment:\n"
    "  PLATFORM_PREFIX  the platform prefix whose pipes are reached (default ~/.platform, or\n"
    "                   /var/lib/platform for root without a home); a service's pipe is found only under the\n"
    "                   prefix the service runs in\n"
#endif
    "\n"
    "Example:\n"
    "  pipecall '\\\\.\\pipe\\sd_flppy' Q    asks the floppy lock service whether the drives are locked\n";

int usage_error(const char *why) {
    std::fprintf(stderr, "pipecall: %s\n%s", why, usage_text);
    return 2;
}

// "forever", or a whole number of milliseconds in range; false for anything else.
bool parse_wait(const char *text, DWORD &wait) {
    if (std::strcmp(text, "forever") == 0) {
        wait = INFINITE;
        return true;
    }
    if (*text < '0' || *text > '9')  // strtoull would take a sign or leading space
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > longest_wait_ms)
        return false;
    wait = static_cast<DWORD>(value);
    return true;
}

// The system's text for an error, on one line.
std::string error_text(DWORD error) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, text,
                                  sizeof text, NULL);
    std::string result(text, length);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
        result.pop_back();
    return result.empty() ? "unknown error" : result;
}

// What to look at next, for the failures a user can do something about.
const char *hint(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
#ifdef _WIN32
            return "no such pipe: is the service running?";
#else
            return "no such pipe: is the service running? is PLATFORM_PREFIX the service's?";
#endif
        case ERROR_ACCESS_DENIED:
            return "the pipe's owner does not admit this user";
        case ERROR_PIPE_BUSY:
        case ERROR_SEM_TIMEOUT:
            return "every instance of the pipe stayed busy: try a longer --wait";
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return "a pipe's name looks like \\\\.\\pipe\\NAME";
        case ERROR_TIMEOUT:
            return "the pipe's server did not answer: is the service paused?";
        default:
            return nullptr;
    }
}

// One exchange, run on a thread of its own so that the main thread can give up on a server that never
// answers: CallNamedPipeA's own time-out covers only the wait for a free instance.
struct Exchange {
    const char *pipe;
    std::string request;
    std::vector<char> reply = std::vector<char>(65536);
    DWORD wait = default_wait_ms;
    DWORD received = 0;
    DWORD error = ERROR_SUCCESS;
};

DWORD WINAPI run_exchange(LPVOID parameter) {
    auto *exchange = static_cast<Exchange *>(parameter);
    if (!CallNamedPipeA(exchange->pipe, exchange->request.data(), static_cast<DWORD>(exchange->request.size()),
                        exchange->reply.data(), static_cast<DWORD>(exchange->reply.size()), &exchange->received,
                        exchange->wait == INFINITE ? NMPWAIT_WAIT_FOREVER : exchange->wait))
        exchange->error = GetLastError();
    return 0;
}

int report_failure(const char *pipe, DWORD error, const std::string &what) {
    std::fprintf(stderr, "pipecall: %s: %s: %s (error %lu)\n", pipe, what.c_str(), error_text(error).c_str(),
                 static_cast<unsigned long>(error));
    if (const char *next = hint(error))
        std::fprintf(stderr, "pipecall: %s\n", next);
    return 1;
}

}  // namespace

int main(int argc, char **argv) {
    Exchange exchange;
    std::vector<const char *> operands;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (options_done || argument[0] != '-' || argument[1] == '\0') {
            operands.push_back(argument);
        } else if (std::strcmp(argument, "--") == 0) {
            options_done = true;
        } else if (std::strcmp(argument, "--help") == 0) {
            std::printf("%s\n%s", usage_text, help_text);
            return 0;
        } else if (std::strcmp(argument, "--wait") == 0) {
            if (++i == argc)
                return usage_error("--wait needs a number of milliseconds or \"forever\"");
            if (!parse_wait(argv[i], exchange.wait)) {
                std::string why = std::string("--wait ") + argv[i] + ": not a number of milliseconds from 1 to " +
                                  std::to_string(longest_wait_ms) + ", nor \"forever\"";
                return usage_error(why.c_str());
            }
        } else {
            return usage_error((std::string("unknown option ") + argument).c_str());
        }
    }
    if (operands.size() != 2)
        return usage_error("a pipe name and a request are needed");
    exchange.pipe = operands[0];
    exchange.request = operands[1];

    HANDLE thread = CreateThread(NULL, 0, run_exchange, &exchange, 0, NULL);
    if (!thread)
        return report_failure(exchange.pipe, GetLastError(), "cannot start the exchange");
    if (WaitForSingleObject(thread, exchange.wait) != WAIT_OBJECT_0) {
        // The exchange is still under way: end the process at once, without running the destructors of
        // what that thread still uses.
        report_failure(exchange.pipe, ERROR_TIMEOUT, "no reply within " + std::to_string(exchange.wait) + " ms");
        std::fflush(nullptr);
        std::_Exit(1);
    }
    CloseHandle(thread);
    if (exchange.error != ERROR_SUCCESS)
        return report_failure(exchange.pipe, exchange.error, "the exchange failed");
    std::string text(exchange.reply.data(), strnlen(exchange.reply.data(), exchange.received));
    std::printf("%s\n", text.c_str());
    return 0;
}
