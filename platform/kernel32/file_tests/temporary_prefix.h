// A fresh platform prefix in a temporary folder for each test, so that tests see only their own devices,
// drives and pipes.
#pragma once

#include "prefix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

class TemporaryPrefix : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kernel32-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        chmod(folder_.c_str(), 0755);  // other users' test processes must reach the pipe folder
        setenv("PLATFORM_PREFIX", (folder_ / "prefix").c_str(), 1);
        platform::prefix::reload();
        prefix_ = platform::prefix::root();
    }
    void TearDown() override {
        unsetenv("PLATFORM_PREFIX");
        platform::prefix::reload();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    // Points the DOS device (say "a:") at a path of the test's own.
    void point_device(const std::string &device, const std::filesystem::path &target) {
        auto link = prefix_ / "dosdevices" / device;
        std::filesystem::remove(link);
        std::filesystem::create_symlink(target, link);
    }

    std::filesystem::path folder_;
    std::filesystem::path prefix_;
};
