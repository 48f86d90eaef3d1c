#include "backend.h"

#include "headless_backend.h"
#include "x11_backend.h"
#include "prefix/prefix.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform::display {
namespace {

std::mutex backend_lock;
std::unique_ptr<Backend> current;

std::unique_ptr<Backend> make_configured_backend() {
    auto choice = prefix::setting("display", "backend");
    bool want_x11 = choice ? *choice == "x11" : (std::getenv("DISPLAY") && *std::getenv("DISPLAY"));
    if (want_x11) {
        if (auto x11 = open_x11_backend())
            return x11;
        std::fprintf(stderr, "display: cannot open the X display; using the headless screen\n");
    }
    return std::make_unique<HeadlessBackend>();
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
