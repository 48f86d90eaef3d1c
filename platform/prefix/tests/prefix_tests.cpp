#include "ini_file.h"
#include "prefix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace platform::prefix {
namespace {

TEST(IniFile, SectionsKeysCommentsAndErrors) {
    auto parsed = parse_ini(
        "; heading comment\n"
        "[netbios]\n"
        "lana.0 = eth0            ; trailing comment\n"
        "wins=192.0.2.1\n"
        "[accounts]\n"
        "Power Users = staff\n"
        "[eventlog]\n"
        "target = file:events.log\n"
        "no equals sign here\n"
        "[broken\n"
        "= value without key\n");
    ASSERT_EQ(parsed.entries.size(), 4u);
    EXPECT_EQ(parsed.entries[0].key, "lana.0");
    EXPECT_EQ(parsed.entries[0].value, "eth0");
    EXPECT_EQ(parsed.entries[1].value, "192.0.2.1");
    EXPECT_EQ(parsed.entries[2].key, "Power Users");
    EXPECT_EQ(parsed.entries[3].value, "file:events.log");
    ASSERT_EQ(parsed.errors.size(), 3u);
    EXPECT_EQ(parsed.errors[0].substr(0, 2), "9:");
}

TEST(IniFile, KeyBeforeAnySectionIsAnError) {
    auto parsed = parse_ini("key = value\n");
    EXPECT_TRUE(parsed.entries.empty());
    ASSERT_EQ(parsed.errors.size(), 1u);
}

class PrefixTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/prefix-test-XXXXXX";
        dir_ = mkdtemp(pattern);
        setenv("PLATFORM_PREFIX", (dir_ / "p").c_str(), 1);
        reload();
    }
    void TearDown() override {
        unsetenv("PLATFORM_PREFIX");
        unsetenv("PLATFORM_UI_SCRIPT");
        reload();
        std::filesystem::remove_all(dir_);
    }
    std::filesystem::path dir_;
};

TEST_F(PrefixTest, FirstUseCreatesTheDefaultLayout) {
    auto r = root();
    EXPECT_EQ(r, dir_ / "p");
    EXPECT_EQ(std::filesystem::read_symlink(r / "dosdevices" / "a:"), "/dev/fd0");
    EXPECT_EQ(std::filesystem::read_symlink(r / "dosdevices" / "b:"), "/dev/fd1");
    EXPECT_EQ(std::filesystem::read_symlink(r / "dosdevices" / "c:"), "../drive_c");
    EXPECT_TRUE(std::filesystem::is_directory(r / "drive_c"));
    EXPECT_TRUE(std::filesystem::is_directory(r / "pipe"));
    EXPECT_TRUE(std::filesystem::exists(r / "platform.conf"));
    EXPECT_FALSE(setting("netbios", "wins"));  // the default file holds only comments
}

TEST_F(PrefixTest, SettingsComeFromTheFileAndTheEnvironmentOverrides) {
    std::filesystem::create_directories(dir_ / "p");
    std::ofstream(dir_ / "p" / "platform.conf") << "[Display]\nScript = demo.ui\n[netbios]\nretries = 5\n";
    reload();
    EXPECT_EQ(setting("display", "script"), "demo.ui");
    EXPECT_EQ(setting("NETBIOS", "RETRIES"), "5");
    EXPECT_EQ(resolve("demo.ui"), dir_ / "p" / "demo.ui");
    EXPECT_EQ(resolve("/abs/x"), "/abs/x");
    setenv("PLATFORM_UI_SCRIPT", "/other.ui", 1);
    EXPECT_EQ(setting("display", "script"), "/other.ui");
}

}  // namespace
}  // namespace platform::prefix
