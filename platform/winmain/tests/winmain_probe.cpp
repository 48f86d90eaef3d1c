// Prints what the start-up passed to WinMain; "exit-with-42" makes WinMain return 42.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow) {
    if (std::strcmp(lpCmdLine, "exit-with-42") == 0)
        return 42;
    std::printf("module=%s prev=%s cmdline=[%s] show=%d\n", hInstance == GetModuleHandleA(nullptr) ? "ok" : "wrong",
                hPrevInstance ? "set" : "null", lpCmdLine, nCmdShow);
    return 0;
}
