// DOS names to Linux paths (the C runtime's fopen and freopen taking them: file_tests.cpp).
#include "dos_paths.h"
#include "testing/temporary_prefix.h"

#include <windows.h>

using platform::kernel::unix_path;

class DosPaths : public platform::testing::PrefixTest {};

TEST_F(DosPaths, NamesMapIntoDosdevicesAndDotDotNeverClimbsAboveTheDrive) {
    const std::string devices = (prefix_ / "dosdevices").string();
    const std::pair<const char *, std::string> cases[] = {
        {"c:\\vessamir.out", devices + "/c:/vessamir.out"},
        {"C:/Dir\\File.txt", devices + "/c:/Dir/File.txt"},  // only the letter loses case
        {"c:", devices + "/c:"},
        {"\\\\.\\A:", devices + "/a:"},
        {"\\\\.\\COM1", devices + "/com1"},
        {"\\\\?\\C:\\x", devices + "/c:/x"},
        {"\\root.txt", devices + "/c:/root.txt"},
        {"c:\\..\\..\\etc\\passwd", devices + "/c:/etc/passwd"},
        {"c:\\a\\.\\b\\..\\c", devices + "/c:/a/c"},
        {"\\\\.\\A:\\..\\..\\x", devices + "/a:/x"},
        {"/tmp/plain", "/tmp/plain"},
        {"dir\\file", "dir/file"},
    };
    for (const auto &[name, path] : cases)
        EXPECT_EQ(unix_path(name), path) << name;
    for (auto [name, error] : {std::pair{"\\\\server\\share\\x", ERROR_BAD_NETPATH}, {"", ERROR_PATH_NOT_FOUND}}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(unix_path(name), std::nullopt);
        EXPECT_EQ(GetLastError(), (DWORD)error);
    }
}
