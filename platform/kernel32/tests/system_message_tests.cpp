// FormatMessageA for system error codes: Windows's English wording with its line break, and its failures.
#include "conformance.h"

#include <cstring>
#include <string>

namespace {

using namespace conformance;

constexpr DWORD from_system = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

TEST(SystemMessages, KnownCodesGiveTheirTextInABufferOrAnAllocatedBlockOthersFail) {
    const char *denied = "Access is denied.\r\n";
    const DWORD fits = (DWORD)std::strlen(denied) + 1;
    // Another implementation may word the messages in its own way; then the sizes below do not apply either.
    char wording[256] = "";
    DWORD worded = FormatMessageA(from_system, NULL, ERROR_ACCESS_DENIED, 0, wording, sizeof wording, NULL);
    SKIP_KNOWN_DIFFERENCE(worded != 0 && std::strcmp(wording, denied) != 0,
                          "the system messages are worded differently here, e.g. " << wording);
    struct Case {
        DWORD code, flags, size;
        const char *text;  // NULL: the call fails with `error`
        DWORD error;
    };
    const Case cases[] = {
        {ERROR_SUCCESS, from_system, 256, "The operation completed successfully.\r\n", 0},
        {ERROR_FILE_NOT_FOUND, from_system, 256, "The system cannot find the file specified.\r\n", 0},
        {ERROR_PIPE_BUSY, from_system, 256, "All pipe instances are busy.\r\n", 0},
        {ERROR_SERVICE_DOES_NOT_EXIST, from_system, 256,
         "The specified service does not exist as an installed service.\r\n", 0},
        {ERROR_SERVICE_NOT_ACTIVE, from_system, 256, "The service has not been started.\r\n", 0},
        {ERROR_ACCESS_DENIED, FORMAT_MESSAGE_FROM_SYSTEM, fits, denied, 0},  // exactly fits
        {ERROR_ACCESS_DENIED, from_system, fits - 1, NULL, ERROR_INSUFFICIENT_BUFFER},
        // On one line: the line break becomes a space.
        {ERROR_ACCESS_DENIED, from_system | FORMAT_MESSAGE_MAX_WIDTH_MASK, 256, "Access is denied. ", 0},
        {0x2ffffu, from_system, 256, NULL, ERROR_MR_MID_NOT_FOUND},                                // no such message
        {ERROR_ACCESS_DENIED, FORMAT_MESSAGE_IGNORE_INSERTS, 256, NULL, ERROR_INVALID_PARAMETER},  // no source
    };
    for (const Case &c : cases) {
        char text[256];
        std::memset(text, 'x', sizeof text);
        SetLastError(kSentinel);
        DWORD length =
            FormatMessageA(c.flags, NULL, c.code, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), text, c.size, NULL);
        EXPECT_EQ(length, c.text ? std::strlen(c.text) : 0u) << c.code;
        if (c.text)
            EXPECT_STREQ(text, c.text) << c.code;
        else
            EXPECT_LAST_ERROR(c.error) << c.code;
    }
    LPSTR allocated = NULL;  // FORMAT_MESSAGE_ALLOCATE_BUFFER: a block of at least nSize bytes, for LocalFree
    EXPECT_RESULT(FormatMessageA(from_system | FORMAT_MESSAGE_ALLOCATE_BUFFER, NULL, ERROR_ACCESS_DENIED, 0,
                                 (LPSTR)&allocated, 200, NULL),
                  fits - 1);
    ASSERT_NE(allocated, (LPSTR)NULL);
    EXPECT_STREQ(allocated, denied);
    allocated[199] = '\0';
    EXPECT_EQ(LocalFree(allocated), (HLOCAL)NULL);
}

}  // namespace
