// Sleeping and the millisecond tick.
#include <windows.h>

#include <chrono>
#include <thread>

extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == INFINITE) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    if (dwMilliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

extern "C" DWORD WINAPI GetTickCount(void) {
    // Milliseconds since boot, wrapping at 2^32 like the real tick.
    auto since_boot = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(since_boot).count());
}
