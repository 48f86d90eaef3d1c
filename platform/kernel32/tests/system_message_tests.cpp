// FormatMessageA for system error codes: Windows's English wording with its line break, and its failures.
#include "conformance.h"

#include <cstring>
#include <string>

namespace {

using namespace conformance;

constexpr DWORD from_system = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT);

TEST(SystemMessages, KnownCodesGiveTheirTextAndLengthAndUnknownOnesFail) {
    struct Case {
        DWORD code, flags;
        const char *text;  // NULL: the call fails with `error`
        DWORD error;
    };
    const Case cases[] = {
        {ERROR_SUCCESS, from_system, "The operation completed successfully.\r\n", 0},
        {ERROR_FILE_NOT_FOUND, from_system, "The system cannot find the file specified.\r\n", 0},
        {ERROR_ACCESS_DENIED, FORMAT_MESSAGE_FROM_SYSTEM, "Access is denied.\r\n", 0},
        {ERROR_PIPE_BUSY, from_system, "All pipe instances are busy.\r\n", 0},
        {ERROR_SEM_TIMEOUT, from_system, "The semaphore timeout period has expired.\r\n", 0},
        {ERROR_SERVICE_DOES_NOT_EXIST, from_system, "The specified service does not exist as an installed service.\r\n",
         0},
        {ERROR_SERVICE_NOT_ACTIVE, from_system, "The service has not been started.\r\n", 0},
        // On one line: the line break becomes a space.
        {ERROR_ACCESS_DENIED, from_system | FORMAT_MESSAGE_MAX_WIDTH_MASK, "Access is denied. ", 0},
        {0x2ffffu, from_system, NULL, ERROR_MR_MID_NOT_FOUND},                                // no such message
        {ERROR_ACCESS_DENIED, FORMAT_MESSAGE_IGNORE_INSERTS, NULL, ERROR_INVALID_PARAMETER},  // no source
    };
    for (const Case &c : cases) {
        char text[256];
        std::memset(text, 'x', sizeof text);
        SetLastError(kSentinel);
        DWORD length = FormatMessageA(c.flags, NULL, c.code, english, text, sizeof text, NULL);
        if (!c.text) {
            EXPECT_EQ(length, 0u) << c.code;
            EXPECT_LAST_ERROR(c.error) << c.code;
            continue;
        }
        std::string wanted = c.text;
        EXPECT_EQ(length, wanted.size()) << c.code;
        EXPECT_EQ(std::string(text, std::min<size_t>(length, sizeof text)).substr(0, wanted.size()), wanted) << c.code;
        EXPECT_EQ(text[wanted.size()], '\0') << c.code;
    }
}

TEST(SystemMessages, ABufferOneByteShortFailsAndAnAllocatedOneFitsTheText) {
    const char *denied = "Access is denied.\r\n";
    DWORD needed = (DWORD)std::strlen(denied) + 1;
    char text[64];
    SetLastError(kSentinel);
    EXPECT_RESULT(FormatMessageA(from_system, NULL, ERROR_ACCESS_DENIED, 0, text, needed - 1, NULL), 0);
    EXPECT_LAST_ERROR(ERROR_INSUFFICIENT_BUFFER);
    EXPECT_RESULT(FormatMessageA(from_system, NULL, ERROR_ACCESS_DENIED, 0, text, needed, NULL), needed - 1);
    EXPECT_STREQ(text, denied);

    for (DWORD at_least : {0u, 200u}) {
        LPSTR allocated = NULL;
        EXPECT_RESULT(FormatMessageA(from_system | FORMAT_MESSAGE_ALLOCATE_BUFFER, NULL, ERROR_ACCESS_DENIED, 0,
                                     (LPSTR)&allocated, at_least, NULL),
                      needed - 1);
        ASSERT_NE(allocated, (LPSTR)NULL);
        EXPECT_STREQ(allocated, denied);
        allocated[at_least ? at_least - 1 : 0] = '\0';  // the block holds at least nSize bytes
        EXPECT_EQ(LocalFree(allocated), (HLOCAL)NULL);
    }
}

}  // namespace
