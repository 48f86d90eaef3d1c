#include "ini_file.h"
#include "prefix.h"
#include "prefix_trust.h"
#include "testing/temporary_prefix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>

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

TEST(PrefixDefault, NeverASharedFolder) {
    const struct {
        const char *home;
        uid_t user;
        const char *path;  // empty: no default
    } cases[] = {{"/home/u", 1000, "/home/u/.platform"},
                 {"/root", 0, "/root/.platform"},
                 {nullptr, 0, "/var/lib/platform"},
                 {"", 0, "/var/lib/platform"},
                 {nullptr, 1000, ""},
                 {"", 1000, ""}};
    for (auto &c : cases) {
        auto found = default_location(c.home, c.user);
        EXPECT_EQ(found.path, c.path) << (c.home ? c.home : "(no home)") << " uid " << c.user;
        EXPECT_EQ(found.problem.empty(), *c.path != '\0');
    }
}

// A folder or link of another user: nobody's when root runs the test, and ours when others do (then the
// check is made for a user one above ours).
class PrefixTrust : public platform::testing::PrefixTest {
protected:
    bool root_ = geteuid() == 0;
    uid_t stranger_ = root_ ? 65534 : geteuid();
    uid_t user_ = root_ ? 0 : geteuid() + 1;
    uid_t me_ = geteuid();

    std::string problem(const std::filesystem::path &path, uid_t user) {
        std::string text;
        auto trusted = open_prefix(path, user, text);
        EXPECT_EQ(trusted.has_value(), text.empty());
        return text;
    }
    std::filesystem::path folder(const std::string &name, mode_t mode) const {
        auto path = folder_ / name;
        std::filesystem::create_directories(path);
        chmod(path.c_str(), mode);
        return path;
    }
};

TEST_F(PrefixTrust, OwnerModeStickyFolderAndLinksOnTheWay) {
    auto stranger = std::to_string(stranger_), user = std::to_string(user_);
    const struct {
        const char *what;
        std::function<std::filesystem::path()> make;
        bool for_user;     // checked for user_ (a stranger's view), else for ourselves
        std::string said;  // part of the refusal; empty: trusted
    } cases[] = {
        {"new, in a folder of ours", [&] { return folder_ / "new" / "deeper"; }, false, ""},
        {"ours, 0755", [&] { return folder("open", 0755); }, false, ""},
        {"group-writable", [&] { return folder("group", 0775); }, false, "writable by group or others (mode 0775)"},
        {"other-writable", [&] { return folder("other", 0757); }, false, "writable by group or others (mode 0757)"},
        {"another user's",
         [&] {
             auto path = folder("theirs", 0700);
             if (root_) {
                 EXPECT_EQ(chown(path.c_str(), stranger_, stranger_), 0);
             }
             return path;
         },
         true, "owned by uid " + stranger + ", not by uid " + user},
        {"under a writable folder", [&] { return folder("shared", 0777) / "prefix"; }, false,
         (folder_ / "shared").string() + ": writable by group or others (mode 0777)"},
        {"in a private folder of a sticky one", [&] { return folder("sticky", 01777) / "mine" / "prefix"; }, false, ""},
        {"directly in a sticky folder, 0700", [&] { return folder("sticky/private", 0700); }, false, ""},
        {"directly in a sticky folder, 0711", [&] { return folder("sticky/crossable", 0711); }, false,
         "in the shared folder " + (folder_ / "sticky").string() + " only a folder of uid " + std::to_string(me_) +
             " with mode 0700 is trusted"},
        {"through a link of ours",
         [&] {
             std::filesystem::create_directory_symlink(folder("target", 0700), folder_ / "link");
             return folder_ / "link";
         },
         false, ""},
        {"through a link of another user",
         [&] {
             std::filesystem::create_directory_symlink(folder("target2", 0700), folder_ / "link2");
             if (root_) {
                 EXPECT_EQ(lchown((folder_ / "link2").c_str(), stranger_, stranger_), 0);
             }
             return folder_ / "link2" / "prefix";
         },
         true, "a symbolic link owned by uid " + stranger + ", not by uid " + user},
        {"a file",
         [&] {
             std::ofstream(folder_ / "plain") << "x";
             return folder_ / "plain";
         },
         false, "not a folder"},
    };
    for (auto &c : cases) {
        if (c.for_user && !root_)  // only root can give a folder to another user; our own fail first otherwise
            continue;
        auto path = c.make();
        auto said = problem(path, c.for_user ? user_ : me_);
        EXPECT_TRUE(c.said.empty() ? said.empty() : said.find(c.said) != std::string::npos) << c.what << ": " << said;
    }
}

TEST_F(PrefixTrust, TheLayoutGetsItsModesWhateverTheUmaskAndItsEntriesAreChecked) {
    mode_t old_mask = umask(0);
    std::string said = problem(folder_ / "fresh", me_);
    umask(old_mask);
    ASSERT_EQ(said, "");
    const std::pair<const char *, mode_t> modes[] = {{"", 0711},     {"dosdevices", 0700}, {"drive_c", 0700},
                                                     {"pipe", 0711}, {"services", 0700},   {"platform.conf", 0644}};
    for (auto [name, mode] : modes) {
        struct stat info {};
        ASSERT_EQ(lstat((folder_ / "fresh" / name).c_str(), &info), 0) << name;
        EXPECT_EQ(info.st_mode & 07777, mode) << name;
    }
    const std::pair<std::function<void(const std::filesystem::path &)>, std::string> entries[] = {
        {[](auto &p) { chmod((p / "platform.conf").c_str(), 0664); }, "platform.conf: writable by group or others"},
        {[](auto &p) { chmod((p / "services").c_str(), 0770); }, "services: writable by group or others"},
        {[&](auto &p) {
             std::filesystem::remove(p / "pipe");
             std::filesystem::create_directory_symlink(folder_, p / "pipe");
         },
         "pipe: a symbolic link"},
    };
    int n = 0;
    for (auto &[spoil, expected] : entries) {
        auto path = folder_ / ("spoiled" + std::to_string(n++));
        ASSERT_EQ(problem(path, me_), "");
        spoil(path);
        EXPECT_EQ(problem(path, me_).rfind(expected, 0), 0u) << expected;
    }
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
