// DOS names to Linux paths, and the C runtime's fopen/freopen taking DOS names.
#include "dos_paths.h"
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <cstdio>
#include <fstream>

using platform::kernel::pipe_name;
using platform::kernel::unix_path;

class DosPaths : public platform::testing::PrefixTest {
protected:
    std::string devices() const { return (prefix_ / "dosdevices").string(); }
};

TEST_F(DosPaths, DrivesAndDevicesAreRootedInDosdevices) {
    EXPECT_EQ(unix_path("c:\\vessamir.out"), devices() + "/c:/vessamir.out");
    EXPECT_EQ(unix_path("C:/Dir\\File.txt"), devices() + "/c:/Dir/File.txt");  // only the letter loses case
    EXPECT_EQ(unix_path("c:"), devices() + "/c:");
    EXPECT_EQ(unix_path("\\\\.\\A:"), devices() + "/a:");
    EXPECT_EQ(unix_path("\\\\.\\b:"), devices() + "/b:");
    EXPECT_EQ(unix_path("\\\\.\\COM1"), devices() + "/com1");
    EXPECT_EQ(unix_path("\\\\?\\C:\\x"), devices() + "/c:/x");
    EXPECT_EQ(unix_path("\\root.txt"), devices() + "/c:/root.txt");
}

TEST_F(DosPaths, DotDotNeverClimbsAboveTheDrive) {
    EXPECT_EQ(unix_path("c:\\..\\..\\etc\\passwd"), devices() + "/c:/etc/passwd");
    EXPECT_EQ(unix_path("c:\\a\\.\\b\\..\\c"), devices() + "/c:/a/c");
    EXPECT_EQ(unix_path("\\\\.\\A:\\..\\..\\x"), devices() + "/a:/x");
}

TEST_F(DosPaths, OtherNamesKeepTheirMeaning) {
    EXPECT_EQ(unix_path("/tmp/plain"), "/tmp/plain");
    EXPECT_EQ(unix_path("dir\\file"), "dir/file");

    SetLastError(0xdeadbeef);
    EXPECT_EQ(unix_path("\\\\server\\share\\x"), std::nullopt);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_NETPATH);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(unix_path(""), std::nullopt);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(DosPaths, PipeNames) {
    EXPECT_EQ(pipe_name("\\\\.\\pipe\\sd_flppy"), "sd_flppy");
    EXPECT_EQ(pipe_name("\\\\.\\PiPe\\Sub\\Name"), "Sub\\Name");
    EXPECT_EQ(pipe_name("\\\\.\\pipe\\"), std::nullopt);
    EXPECT_EQ(pipe_name("\\\\.\\pipes\\x"), std::nullopt);
    EXPECT_EQ(pipe_name("c:\\pipe\\x"), std::nullopt);
}

TEST_F(DosPaths, FreopenAndFopenTakeDosNames) {
    FILE *file = std::fopen("c:\\first.txt", "w");
    ASSERT_NE(file, nullptr);
    std::fputs("one", file);
    // The service's way of opening its log: reopen a stream onto a DOS name with "w+".
    FILE *reopened = std::freopen("C:\\second.log", "w+", file);
    ASSERT_NE(reopened, nullptr);
    std::fputs("\nline", reopened);
    std::fclose(reopened);

    std::ifstream first(prefix_ / "drive_c" / "first.txt"), second(prefix_ / "drive_c" / "second.log");
    std::string a((std::istreambuf_iterator<char>(first)), {}), b((std::istreambuf_iterator<char>(second)), {});
    EXPECT_EQ(a, "one");
    EXPECT_EQ(b, "\nline");

    // Linux names are untouched.
    auto plain = folder_ / "plain.txt";
    FILE *linux_file = std::fopen(plain.c_str(), "w");
    ASSERT_NE(linux_file, nullptr);
    std::fclose(linux_file);
    EXPECT_TRUE(std::filesystem::exists(plain));
    EXPECT_EQ(std::fopen("q:\\no-such-drive.txt", "r"), nullptr);
}
