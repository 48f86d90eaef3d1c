#include "ini_file.h"
#include "prefix.h"
#include "testing/temporary_prefix.h"

#include <cstdlib>

namespace platform::prefix {
namespace {

TEST(IniFile, SectionsKeysCommentsAndErrors) {
    auto parsed = parse_ini(
        "key = before any section\n; heading comment\n[netbios]\n"
        "lana.0 = eth0            ; trailing comment\nwins=192.0.2.1\n[accounts]\nPower Users = staff\n"
        "no equals sign here\n[broken\n= value without key\n");
    std::string entries, errors;
    for (const auto &entry : parsed.entries)
        entries += entry.section + "/" + entry.key + "=" + entry.value + "|";
    for (const auto &error : parsed.errors)
        errors += error.substr(0, error.find(':')) + " ";
    EXPECT_EQ(entries, "netbios/lana.0=eth0|netbios/wins=192.0.2.1|accounts/Power Users=staff|");
    EXPECT_EQ(errors, "1 8 9 10 ");  // the line numbers
}

class Prefix : public platform::testing::PrefixTest {};

TEST_F(Prefix, FirstUseCreatesTheDefaultLayoutWhereTheEnvironmentSays) {
    EXPECT_EQ(root(), std::filesystem::path(std::getenv("PLATFORM_PREFIX")));
    for (auto [link, target] : {std::pair{"a:", "/dev/fd0"}, {"b:", "/dev/fd1"}, {"c:", "../drive_c"}})
        EXPECT_EQ(std::filesystem::read_symlink(prefix_ / "dosdevices" / link), target);
    EXPECT_TRUE(is_directory(prefix_ / "drive_c") && is_directory(prefix_ / "pipe"));
    EXPECT_FALSE(setting("netbios", "wins"));  // the default platform.conf holds only comments
}

TEST_F(Prefix, SettingsComeFromTheFileAndTheEnvironmentOverrides) {
    temporary_.write_config("[Display]\nScript = demo.ui\n[netbios]\nretries = 5\n");
    EXPECT_EQ(setting("display", "script"), "demo.ui");
    EXPECT_EQ(setting("NETBIOS", "RETRIES"), "5");
    EXPECT_FALSE(setting("display", "retries"));
    EXPECT_EQ(resolve("demo.ui"), prefix_ / "demo.ui");
    EXPECT_EQ(resolve("/abs/x"), "/abs/x");
    setenv("PLATFORM_UI_SCRIPT", "/other.ui", 1);
    EXPECT_EQ(setting("display", "script"), "/other.ui");
    unsetenv("PLATFORM_UI_SCRIPT");
}

}  // namespace
}  // namespace platform::prefix
