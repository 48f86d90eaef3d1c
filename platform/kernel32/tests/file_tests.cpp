// CreateFileA, ReadFile, WriteFile, FlushFileBuffers and CloseHandle on files and DOS devices, and the C
// runtime's fopen and freopen on DOS names.
#include "testing/temporary_prefix.h"

#include <windows.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

using std::filesystem::perms;

class Files : public platform::testing::PrefixTest {};

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
    // CREATE_ALWAYS and TRUNCATE_EXISTING truncate.
    EXPECT_EQ(file_size(prefix_ / "drive_c" / "old.txt") + file_size(prefix_ / "drive_c" / "full.txt"), 0u);
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

TEST_F(Files, WhatTheyCreateIsTheCreatorsWhateverTheUmask) {
    mode_t old_mask = umask(0);
    HANDLE file = CreateFileA("c:\\made.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    FILE *stream = std::fopen("c:\\opened.txt", "wx");  // exclusive creation still works
    umask(old_mask);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_NE(stream, nullptr);
    CloseHandle(file);
    std::fputs("one", stream);
    // The service's way of opening its log: reopen a stream onto a DOS name with "w+".
    FILE *reopened = std::freopen("C:\\second.log", "w+", stream);
    ASSERT_NE(reopened, nullptr);
    std::fputs("\nline", reopened);
    std::fclose(reopened);
    EXPECT_EQ(std::fopen("c:\\opened.txt", "wx"), nullptr);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(std::fopen("q:\\no-such-drive.txt", "r"), nullptr);
    for (const char *name : {"made.txt", "opened.txt"})
        EXPECT_EQ(status(prefix_ / "drive_c" / name).permissions(), perms::owner_read | perms::owner_write) << name;
    std::ifstream first(prefix_ / "drive_c" / "opened.txt"), second(prefix_ / "drive_c" / "second.log");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(first), {}) +
                  std::string(std::istreambuf_iterator<char>(second), {}),
              "one\nline");
}

// A link that the prefix's owner did not make is not followed, neither as a drive nor below one.
TEST_F(Files, LinksOfAnotherUserAreRefused) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give a link to another user";
    std::ofstream(folder_ / "victim") << "root's";
    chmod((folder_ / "victim").c_str(), 0600);
    point_device("a:", folder_ / "victim");
    std::filesystem::create_symlink(folder_ / "victim", prefix_ / "drive_c" / "planted.txt");
    for (auto link : {prefix_ / "dosdevices" / "a:", prefix_ / "drive_c" / "planted.txt"})
        ASSERT_EQ(lchown(link.c_str(), 65534, 65534), 0);
    for (const char *name : {"\\\\.\\A:", "c:\\planted.txt", "c:\\.\\planted.txt"}) {
        SetLastError(0);
        EXPECT_EQ(CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED) << name;
        errno = 0;
        EXPECT_EQ(std::fopen(name, "w"), nullptr) << name;
        EXPECT_EQ(errno, EACCES) << name;
    }
    EXPECT_EQ(status(folder_ / "victim").permissions(), perms::owner_read | perms::owner_write);
    std::ifstream victim(folder_ / "victim");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "root's");
}
