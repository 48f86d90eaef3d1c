#include "ini_file.h"
#include "prefix.h"
#include "prefix_trust.h"
#include "testing/temporary_prefix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <tuple>

namespace platform::prefix {
namespace {

namespace fs = std::filesystem;

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

TEST_F(Prefix, FirstUseMakesTheDefaultLayoutAndSettingsComeFromTheFileOrTheEnvironment) {
    EXPECT_EQ(root(), fs::path(std::getenv("PLATFORM_PREFIX")));
    for (auto [link, target] : {std::pair{"a:", "/dev/fd0"}, {"b:", "/dev/fd1"}, {"c:", "../drive_c"}})
        EXPECT_EQ(fs::read_symlink(prefix_ / "dosdevices" / link), target);
    EXPECT_TRUE(is_directory(prefix_ / "drive_c") && is_directory(prefix_ / "pipe"));
    EXPECT_FALSE(setting("netbios", "wins"));  // the default platform.conf holds only comments
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

TEST(PrefixDefault, NeverASharedFolder) {
    // HOME, the user, the default (empty: none)
    const std::tuple<const char *, uid_t, std::string> cases[] = {{"/home/u", 1000, "/home/u/.platform"},
                                                                  {"/root", 0, "/root/.platform"},
                                                                  {nullptr, 0, "/var/lib/platform"},
                                                                  {"", 0, "/var/lib/platform"},
                                                                  {nullptr, 1000, ""},
                                                                  {"", 1000, ""}};
    for (auto &[home, user, path] : cases) {
        auto found = default_location(home, user);
        EXPECT_EQ(found.path, path) << (home ? home : "(no home)") << " uid " << user;
        EXPECT_EQ(found.problem.empty(), !path.empty());
    }
}

// A folder or link of another user: nobody's when root runs the test (the rows that need one run only then).
class PrefixTrust : public platform::testing::PrefixTest {
protected:
    uid_t me_ = geteuid();

    std::string problem(const fs::path &path) const {
        std::string text;
        return open_prefix(path, me_, text) ? std::string() : text.empty() ? "refused without a reason" : text;
    }
    fs::path folder(const std::string &name, mode_t mode) const {
        fs::create_directories(folder_ / name);
        chmod((folder_ / name).c_str(), mode);
        return folder_ / name;
    }
    fs::path nobodys(const fs::path &path) const {
        EXPECT_EQ(lchown(path.c_str(), 65534, 65534), 0);
        return path;
    }
    fs::path link(const std::string &name) const {
        fs::create_directory_symlink(folder(name + "-target", 0700), folder_ / name);
        return folder_ / name;
    }
};

TEST_F(PrefixTrust, OwnerModeStickyFolderAndLinksOnTheWay) {
    const std::string sticky = (folder_ / "sticky").string(), me = std::to_string(me_);
    const std::tuple<const char *, std::function<fs::path()>, std::string> cases[] = {
        // what, how it is made, part of the refusal (empty: trusted); giving to another user needs root
        {"new, in a folder of ours", [&] { return folder_ / "new" / "deeper"; }, ""},
        {"group-writable", [&] { return folder("group", 0775); }, "writable by group or others (mode 0775)"},
        {"another user's", [&] { return nobodys(folder("theirs", 0700)); }, "owned by uid 65534, not by uid 0"},
        {"under a writable folder", [&] { return folder("shared", 0777) / "p"; },
         "shared: writable by group or others"},
        {"in a private folder of a sticky one", [&] { return folder("sticky", 01777) / "mine" / "p"; }, ""},
        {"directly in a sticky folder, 0700", [&] { return folder("sticky/private", 0700); }, ""},
        {"directly in a sticky folder, 0711", [&] { return folder("sticky/open", 0711); },
         "in the shared folder " + sticky + " only a folder of uid " + me + " with mode 0700 is trusted"},
        {"through a link of ours", [&] { return link("link") / "p"; }, ""},
        {"through a link of another user", [&] { return nobodys(link("theirs-link")) / "p"; },
         "theirs-link: a symbolic link owned by uid 65534, not by uid 0"},
        {"a file", [&] { return fs::path("/etc/passwd"); }, "not a folder"},
    };
    for (auto &[what, make, wanted] : cases)
        if (me_ == 0 || wanted.find("65534") == std::string::npos) {
            auto said = problem(make());
            EXPECT_TRUE(wanted.empty() ? said.empty() : said.find(wanted) != std::string::npos) << what << ": " << said;
        }
}

TEST_F(PrefixTrust, TheLayoutGetsItsModesWhateverTheUmaskAndItsEntriesAreChecked) {
    mode_t old_mask = umask(0);
    std::string said = problem(folder_ / "fresh");
    umask(old_mask);  // before any assertion can end the test
    ASSERT_EQ(said, "");
    const std::pair<const char *, mode_t> modes[] = {{"", 0711},     {"dosdevices", 0700}, {"drive_c", 0700},
                                                     {"pipe", 0711}, {"services", 0700},   {"platform.conf", 0644}};
    for (auto [name, mode] : modes)
        EXPECT_EQ(fs::symlink_status(folder_ / "fresh" / name).permissions(), fs::perms(mode)) << name;
    for (auto name : {"platform.conf", "services"}) {
        chmod((folder_ / "fresh" / name).c_str(), 0775);
        EXPECT_EQ(problem(folder_ / "fresh"), name + std::string(": writable by group or others (mode 0775)"));
        chmod((folder_ / "fresh" / name).c_str(), 0700);
    }
    fs::remove(folder_ / "fresh" / "pipe");
    fs::create_directory_symlink(folder_, folder_ / "fresh" / "pipe");
    EXPECT_EQ(problem(folder_ / "fresh"), "pipe: a symbolic link, not a folder");
}

TEST_F(PrefixTrust, AProgramRefusesAnUntrustedPrefixWithItsPathAndReason) {
    auto path = folder("writable", 0777);
    setenv("PLATFORM_PREFIX", path.c_str(), 1);
    reload();
    EXPECT_EXIT(root(), ::testing::ExitedWithCode(1),
                "platform: refusing prefix " + path.string() + ": writable by group or others \\(mode 0777\\)");
}

}  // namespace
}  // namespace platform::prefix
