// Prints what the start-up passed to WinMain; "exit-with-42" makes WinMain return 42, "show-window" shows a
// window (and so needs a screen) and returns 0.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow) {
    if (std::strcmp(lpCmdLine, "exit-with-42") == 0)
        return 42;
    if (std::strcmp(lpCmdLine, "show-window") == 0)
        return CreateWindowExA(0, "Static", "probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 99, 99, 0, 0, 0, 0) ? 0
                                                                                                                 : 3;
    std::printf("module=%s prev=%s cmdline=[%s] show=%d\n", hInstance == GetModuleHandleA(nullptr) ? "ok" : "wrong",
                hPrevInstance ? "set" : "null", lpCmdLine, nCmdShow);
    return 0;
}
