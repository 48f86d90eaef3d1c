#include "backend.h"

#include "headless_backend.h"
#include "x11_backend.h"
#include "prefix/prefix.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace platform::display {
namespace {

std::mutex backend_lock;
std::unique_ptr<Backend> current;

// A program that shows windows and has no screen for them ends at once, saying why: running on an invisible
// screen would look like a hung terminal to whoever started it.
[[noreturn]] void end_without_display(const std::string &why) {
    std::fprintf(stderr,
                 "%s: %s.\n"
                 "Run it where an X display is reachable (a desktop session, or ssh -X), or set\n"
                 "PLATFORM_DISPLAY_BACKEND=headless to run it on a screen of its own that nobody sees.\n",
                 program_invocation_short_name, why.c_str());
    std::fflush(nullptr);
    _exit(1);  // not exit(): other threads of the program may be running, and the destructors are theirs too
}

// x11 unless the prefix's [display] backend (or PLATFORM_DISPLAY_BACKEND) asks for the headless screen.
std::unique_ptr<Backend> make_configured_backend() {
    auto choice = prefix::setting("display", "backend").value_or("x11");
    if (choice == "headless")
        return std::make_unique<HeadlessBackend>();
    if (choice != "x11")
        end_without_display("PLATFORM_DISPLAY_BACKEND (or [display] backend) is \"" + choice +
                            "\", neither x11 nor headless");
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display)
        end_without_display("no X display: $DISPLAY is not set");
    if (auto x11 = open_x11_backend())
        return x11;
    end_without_display(std::string("cannot open the X display $DISPLAY=") + display);
}

}  // namespace

Backend &backend() {
    std::lock_guard lock(backend_lock);
    if (!current)
        current = make_configured_backend();
    return *current;
}

Backend *existing_backend() {
    std::lock_guard lock(backend_lock);
    return current.get();
}

void install_backend(std::unique_ptr<Backend> replacement) {
    std::lock_guard lock(backend_lock);
    current = std::move(replacement);
}

}  // namespace platform::display
