// CreateFileA, ReadFile, WriteFile, FlushFileBuffers and CloseHandle on files and DOS devices.
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <fstream>

class Files : public platform::testing::PrefixTest {
protected:
    std::string contents(const char *name) {
        std::ifstream file(prefix_ / "drive_c" / name);
        return std::string((std::istreambuf_iterator<char>(file)), {});
    }
};

TEST_F(Files, CreationDispositionsAndTheirLastErrors) {
    std::ofstream(prefix_ / "drive_c" / "old.txt") << "old";
    std::ofstream(prefix_ / "drive_c" / "full.txt") << "full";
    point_device("b:", folder_ / "no-such-device");  // as on a machine without a second floppy drive
    struct Case {
        const char *name;
        DWORD disposition;
        bool opened;
        DWORD error;  // the last error after the call, success or not
    };
    const Case cases[] = {
        {"c:\\new.txt", CREATE_NEW, true, 0},
        {"c:\\old.txt", CREATE_NEW, false, ERROR_FILE_EXISTS},
        {"c:\\old.txt", OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS},
        {"c:\\old.txt", CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS},
        {"c:\\fresh.txt", CREATE_ALWAYS, true, 0},
        {"c:\\missing.txt", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND},
        {"c:\\missing.txt", TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND},
        {"c:\\full.txt", TRUNCATE_EXISTING, true, 0},
        {"c:\\no-folder\\x.txt", OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND},
        {"c:\\old.txt", 0, false, ERROR_INVALID_PARAMETER},
        {"c:\\", OPEN_EXISTING, false, ERROR_ACCESS_DENIED},        // a folder is no file
        {"q:\\x.txt", OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND},  // a drive letter with no link
        {"\\\\.\\B:", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND},
    };
    for (const Case &c : cases) {
        SetLastError(0xdeadbeef);
        HANDLE file = CreateFileA(c.name, GENERIC_WRITE, 0, nullptr, c.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opened) << c.name << " " << c.disposition;
        EXPECT_EQ(GetLastError(), c.error) << c.name << " " << c.disposition;
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    EXPECT_TRUE(std::filesystem::exists(prefix_ / "drive_c" / "new.txt"));
    EXPECT_EQ(contents("old.txt") + contents("full.txt"), "");  // CREATE_ALWAYS and TRUNCATE_EXISTING truncate
}

TEST_F(Files, WriteThenReadThroughADriveDevice) {
    HANDLE file = CreateFileA("c:\\data.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0xdeadbeef;
    EXPECT_TRUE(WriteFile(file, "hello", 5, &done, nullptr) && done == 5);
    EXPECT_TRUE(FlushFileBuffers(file));
    CloseHandle(file);
    // A drive device opens what its dosdevices link names, here the file just written.
    point_device("a:", prefix_ / "drive_c" / "data.bin");
    file = CreateFileA("\\\\.\\A:", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[16] = {};
    for (DWORD expected : {5u, 0u}) {  // then the end of the file: success, nothing read
        EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
        EXPECT_EQ(done, expected);
    }
    EXPECT_STREQ(buffer, "hello");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteFile(file, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);  // opened for reading only
    EXPECT_TRUE(CloseHandle(file));
}
