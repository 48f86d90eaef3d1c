// Global memory: heap blocks behind handles. A fixed block's handle is its address, as on Windows; a moveable
// block has a handle of its own and a lock count. Locking pins a block and excludes no other thread.
#include "global_memory.h"
#include "suspension.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

struct Block {
    void *data;
    SIZE_T size;
    UINT flags;
    UINT lock_count;
};

struct Registry {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, Block> blocks;  // keyed by handle value
    std::uintptr_t next_moveable = 0x10008;            // moveable handles: never a valid heap address
};

// Holds the registry's lock; SuspendThread never stops a thread while it holds it.
struct RegistryGuard {
    explicit RegistryGuard(Registry &r) : lock(r.lock) {}
    platform::kernel::SuspensionDeferral deferral;
    std::lock_guard<std::mutex> lock;
};

Registry &registry() {
    static Registry *instance = new Registry;
    return *instance;
}

constexpr UINT known_flags = GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_NOCOMPACT | GMEM_NODISCARD | GMEM_DISCARDABLE |
                             GMEM_NOT_BANKED | GMEM_SHARE | GMEM_NOTIFY;

}  // namespace

extern "C" HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    if (uFlags & ~known_flags) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // A zero-byte request still gets a distinct block.
    void *data = (uFlags & GMEM_ZEROINIT) ? std::calloc(1, dwBytes ? dwBytes : 1) : std::malloc(dwBytes ? dwBytes : 1);
    if (!data) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto &r = registry();
    RegistryGuard guard(r);
    std::uintptr_t handle = reinterpret_cast<std::uintptr_t>(data);
    if (uFlags & GMEM_MOVEABLE) {
        while (r.blocks.contains(r.next_moveable))
            r.next_moveable += 8;
        handle = r.next_moveable;
        r.next_moveable += 8;
    }
    r.blocks.emplace(handle, Block{data, dwBytes, uFlags, 0});
    return reinterpret_cast<HGLOBAL>(handle);
}

extern "C" LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    auto &r = registry();
    RegistryGuard guard(r);
    auto it = r.blocks.find(reinterpret_cast<std::uintptr_t>(hMem));
    if (it == r.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((it->second.flags & GMEM_MOVEABLE) && it->second.lock_count < GMEM_LOCKCOUNT)
        ++it->second.lock_count;
    return it->second.data;
}

extern "C" BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
    auto &r = registry();
    RegistryGuard guard(r);
    auto it = r.blocks.find(reinterpret_cast<std::uintptr_t>(hMem));
    if (it == r.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Block &block = it->second;
    if (!(block.flags & GMEM_MOVEABLE))
        return TRUE;  // a fixed block keeps no lock count and stays usable
    if (block.lock_count == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    if (--block.lock_count == 0) {
        SetLastError(NO_ERROR);
        return FALSE;
    }
    return TRUE;
}

extern "C" HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    void *data = nullptr;
    {
        auto &r = registry();
        RegistryGuard guard(r);
        auto it = r.blocks.find(reinterpret_cast<std::uintptr_t>(hMem));
        if (it == r.blocks.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return hMem;
        }
        data = it->second.data;
        r.blocks.erase(it);
    }
    std::free(data);
    return nullptr;
}

namespace platform::kernel {

std::size_t live_global_block_count() {
    auto &r = registry();
    RegistryGuard guard(r);
    return r.blocks.size();
}

}  // namespace platform::kernel

extern "C" SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
    auto &r = registry();
    RegistryGuard guard(r);
    auto it = r.blocks.find(reinterpret_cast<std::uintptr_t>(hMem));
    if (it == r.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return it->second.size;
}

extern "C" UINT WINAPI GlobalFlags(HGLOBAL hMem) {
    auto &r = registry();
    RegistryGuard guard(r);
    auto it = r.blocks.find(reinterpret_cast<std::uintptr_t>(hMem));
    if (it == r.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return GMEM_INVALID_HANDLE;
    }
    return it->second.lock_count & GMEM_LOCKCOUNT;
}

// Local memory is global memory on Win32, and only fixed blocks are handed out here.
extern "C" HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    if (uFlags & ~LMEM_ZEROINIT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return GlobalAlloc(uFlags, uBytes);
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    return hMem ? GlobalFree(hMem) : nullptr;
}
