// Global memory: fixed and zero-filled blocks, lock counts of moveable blocks, and a lock that excludes nobody.
#include "conformance.h"

#include <cstring>

namespace {

using namespace conformance;

constexpr UINT kFixedNoDiscard = 0x20;  // the flags the programs pass: a fixed block, contents undefined
constexpr UINT kZeroInit = 0x40;

TEST(GlobalMemory, FixedBlockIsItsOwnAddressAndHoldsItsSize) {
    SetLastError(kSentinel);
    HGLOBAL block = GlobalAlloc(kFixedNoDiscard, 12248);
    ASSERT_NE(block, (HGLOBAL)NULL);
    SetLastError(kSentinel);
    char *data = static_cast<char *>(GlobalLock(block));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ((void *)data, (void *)block);
    EXPECT_LAST_ERROR(kSentinel);
    std::memset(data, 0x5a, 12248);
    EXPECT_GE(GlobalSize(block), (SIZE_T)12248);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 0u);  // fixed blocks keep no lock count
    SetLastError(kSentinel);
    EXPECT_TRUE(GlobalUnlock(block));
    EXPECT_LAST_ERROR(kSentinel);
    SetLastError(kSentinel);
    EXPECT_EQ(GlobalFree(block), (HGLOBAL)NULL);
    EXPECT_LAST_ERROR(kSentinel);
}

TEST(GlobalMemory, ZeroInitFillsWithZeros) {
    for (UINT flags : {kZeroInit, kZeroInit | kFixedNoDiscard, (UINT)GHND}) {
        HGLOBAL block = GlobalAlloc(flags, 4096);
        ASSERT_NE(block, (HGLOBAL)NULL) << flags;
        const unsigned char *data = static_cast<const unsigned char *>(GlobalLock(block));
        ASSERT_NE(data, nullptr);
        int nonzero = 0;
        for (int i = 0; i < 4096; ++i)
            nonzero += data[i] != 0;
        EXPECT_EQ(nonzero, 0) << flags;
        GlobalUnlock(block);
        EXPECT_EQ(GlobalFree(block), (HGLOBAL)NULL);
    }
}

TEST(GlobalMemory, MoveableBlockCountsItsLocks) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 64);
    ASSERT_NE(block, (HGLOBAL)NULL);
    void *first = GlobalLock(block);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, (void *)block);
    EXPECT_EQ(GlobalLock(block), first);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 2u);

    SetLastError(kSentinel);
    EXPECT_TRUE(GlobalUnlock(block));  // still locked once
    EXPECT_LAST_ERROR(kSentinel);
    SetLastError(kSentinel);
    EXPECT_FALSE(GlobalUnlock(block));  // now unlocked: reported as zero with no error
    EXPECT_LAST_ERROR(NO_ERROR);
    SetLastError(kSentinel);
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_LAST_ERROR(ERROR_NOT_LOCKED);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 0u);
    EXPECT_EQ(GlobalFree(block), (HGLOBAL)NULL);
}

TEST(GlobalMemory, LockExcludesNoOtherThread) {
    HGLOBAL block = GlobalAlloc(kFixedNoDiscard, 256);
    char *data = static_cast<char *>(GlobalLock(block));
    ASSERT_NE(data, nullptr);
    data[0] = 'a';
    // Another thread locks the same block while this one holds it, and sees and changes the same bytes.
    DWORD seen = RunOnOtherThread([block] {
        char *other = static_cast<char *>(GlobalLock(block));
        if (!other)
            return (DWORD)0;
        DWORD first = (DWORD)other[0];
        other[1] = 'b';
        GlobalUnlock(block);
        return first;
    });
    EXPECT_EQ(seen, (DWORD)'a');
    EXPECT_EQ(data[1], 'b');
    GlobalUnlock(block);
    EXPECT_EQ(GlobalFree(block), (HGLOBAL)NULL);
}

TEST(GlobalMemory, FreedMoveableHandleIsInvalid) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 16);
    ASSERT_EQ(GlobalFree(block), (HGLOBAL)NULL);
    SetLastError(kSentinel);
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
    SetLastError(kSentinel);
    EXPECT_EQ(GlobalFree(block), block);
    EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
}

}  // namespace
