// CreateFileA, ReadFile, WriteFile, FlushFileBuffers and CloseHandle on files and DOS devices.
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <fstream>

class Files : public platform::testing::PrefixTest {
protected:
    static std::string contents(const std::filesystem::path &path) {
        std::ifstream file(path);
        return std::string((std::istreambuf_iterator<char>(file)), {});
    }
};

TEST_F(Files, CreationDispositionsAndTheirLastErrors) {
    SetLastError(0xdeadbeef);
    HANDLE file = CreateFileA("c:\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(std::filesystem::exists(prefix_ / "drive_c" / "new.txt"));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("c:\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);

    SetLastError(0xdeadbeef);
    file = CreateFileA("c:\\new.txt", GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    CloseHandle(file);

    SetLastError(0xdeadbeef);
    file = CreateFileA("c:\\other.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(file);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("c:\\missing.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("c:\\no-folder\\x.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("c:\\new.txt", GENERIC_READ, 0, nullptr, 0, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("c:\\", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);  // a folder is no file
}

TEST_F(Files, WriteReadAndTruncate) {
    HANDLE file = CreateFileA("c:\\data.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD done = 0xdeadbeef;
    EXPECT_TRUE(WriteFile(file, "hello", 5, &done, nullptr));
    EXPECT_EQ(done, 5u);
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_TRUE(WriteFile(file, "", 0, &done, nullptr));
    EXPECT_EQ(done, 0u);
    CloseHandle(file);
    EXPECT_EQ(contents(prefix_ / "drive_c" / "data.bin"), "hello");

    file = CreateFileA("C:\\data.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[16] = {};
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 5u);
    EXPECT_STREQ(buffer, "hello");
    done = 0xdeadbeef;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));  // end of file: success, nothing read
    EXPECT_EQ(done, 0u);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteFile(file, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);  // opened for reading only
    CloseHandle(file);

    file = CreateFileA("c:\\data.bin", GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(contents(prefix_ / "drive_c" / "data.bin"), "");
}

TEST_F(Files, HandlesThatAreNoFiles) {
    char buffer[4];
    DWORD done;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(event, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(event);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);

    HANDLE file = CreateFileA("c:\\once.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(Files, DriveDevicesFollowTheirDosdevicesLinks) {
    auto floppy = folder_ / "floppy.img";
    std::ofstream(floppy) << "boot sector";
    point_device("a:", floppy);

    HANDLE device =
        CreateFileA("\\\\.\\a:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    char buffer[32] = {};
    DWORD done = 0;
    EXPECT_TRUE(ReadFile(device, buffer, sizeof buffer - 1, &done, nullptr));
    EXPECT_STREQ(buffer, "boot sector");
    CloseHandle(device);

    // A drive whose device is absent (the default b: on a machine without a second floppy drive).
    point_device("b:", folder_ / "no-such-device");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("\\\\.\\B:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);

    // A drive letter with no link at all.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateFileA("q:\\x.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, DefaultLayoutMapsTheFloppyDrivesAndC) {
    EXPECT_EQ(std::filesystem::read_symlink(prefix_ / "dosdevices" / "a:"), "/dev/fd0");
    EXPECT_EQ(std::filesystem::read_symlink(prefix_ / "dosdevices" / "b:"), "/dev/fd1");
    EXPECT_EQ(std::filesystem::read_symlink(prefix_ / "dosdevices" / "c:"), "../drive_c");
}
