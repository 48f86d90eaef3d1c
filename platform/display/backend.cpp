#include "display/backend.h"

#include "display/headless_backend.h"
#include "prefix/prefix.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform::display {
namespace {

std::mutex backend_lock;
std::unique_ptr<Backend> current;
BackendFactory x11_factory = nullptr;

std::unique_ptr<Backend> make_configured_backend() {
    auto choice = prefix::setting("display", "backend");
    bool want_x11 = choice ? *choice == "x11" : (std::getenv("DISPLAY") && *std::getenv("DISPLAY"));
    if (want_x11 && x11_factory) {
        if (auto x11 = x11_factory())
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

void install_backend(std::unique_ptr<Backend> replacement) {
    std::lock_guard lock(backend_lock);
    current = std::move(replacement);
}

void register_x11_factory(BackendFactory factory) {
    std::lock_guard lock(backend_lock);
    x11_factory = factory;
}

}  // namespace platform::display
