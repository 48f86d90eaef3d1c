// A fresh platform prefix in a temporary folder, so that a test sees only its own devices, drives, pipes and
// services. Creating one points PLATFORM_PREFIX at it; destroying it restores the variable and removes the
// folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::testing {

// Makes the platform read $PLATFORM_PREFIX and its platform.conf again, for a test that changed either.
void reload_prefix();

class TemporaryPrefix {
public:
    // `leaf` is the prefix's name in the temporary folder (a long one tests paths past a socket address's size).
    explicit TemporaryPrefix(const std::string &leaf = "prefix");
    ~TemporaryPrefix();
    TemporaryPrefix(const TemporaryPrefix &) = delete;
    TemporaryPrefix &operator=(const TemporaryPrefix &) = delete;

    // The temporary folder (mode 0755, so that other users' test processes reach the prefix) and the prefix
    // inside it, created with its defaults.
    const std::filesystem::path &folder() const { return folder_; }
    const std::filesystem::path &root() const { return root_; }

    // Points the DOS device (say "a:") at a path of the test's own.
    void point_device(std::string_view device, const std::filesystem::path &target) const;
    // Replaces platform.conf and makes the platform read it again.
    void write_config(std::string_view text) const;

private:
    std::filesystem::path folder_;
    std::filesystem::path root_;
    std::optional<std::string> previous_;
};

// A GoogleTest fixture: each test gets a temporary prefix of its own.
class PrefixTest : public ::testing::Test {
protected:
    PrefixTest() = default;
    explicit PrefixTest(const std::string &leaf) : temporary_(leaf) {}

    void point_device(std::string_view device, const std::filesystem::path &target) const {
        temporary_.point_device(device, target);
    }

    TemporaryPrefix temporary_;
    const std::filesystem::path &folder_ = temporary_.folder();
    const std::filesystem::path &prefix_ = temporary_.root();
};

}  // namespace platform::testing
