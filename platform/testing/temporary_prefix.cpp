#include "temporary_prefix.h"

#include "prefix/prefix.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace platform::testing {

void reload_prefix() {
    prefix::reload();
}

TemporaryPrefix::TemporaryPrefix(const std::string &leaf) {
    if (const char *value = std::getenv("PLATFORM_PREFIX"))
        previous_ = value;
    char pattern[] = "/tmp/platform-test-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("cannot create a temporary prefix folder");
    folder_ = pattern;
    chmod(folder_.c_str(), 0755);
    setenv("PLATFORM_PREFIX", (folder_ / leaf).c_str(), 1);
    prefix::reload();
    root_ = prefix::root();
}

TemporaryPrefix::~TemporaryPrefix() {
    if (previous_)
        setenv("PLATFORM_PREFIX", previous_->c_str(), 1);
    else
        unsetenv("PLATFORM_PREFIX");
    prefix::reload();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void TemporaryPrefix::point_device(std::string_view device, const std::filesystem::path &target) const {
    auto link = root_ / "dosdevices" / device;
    std::filesystem::remove(link);
    std::filesystem::create_symlink(target, link);
}

void TemporaryPrefix::write_config(std::string_view text) const {
    std::ofstream(root_ / "platform.conf", std::ios::trunc) << text;
    // An explicit mode: under a umask such as 0002 the platform rightly refuses a group-writable file.
    chmod((root_ / "platform.conf").c_str(), 0644);
    prefix::reload();
}

}  // namespace platform::testing
