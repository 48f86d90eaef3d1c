// Start-up: register the class, show the main window, find the LANAs, run the message loop.
#include <windows.h>

#include "netbios_commands.h"
#include "tarvoke_ui.h"

HINSTANCE hInst;
HWND hwndMain;

WORD RegisterMainWindowClass(HINSTANCE hInstance) {
    WNDCLASSA wc;

    wc.style = 0;
    wc.lpfnWndProc = MainWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 4;  // reserved
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, "TarvokeIcon");
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszMenuName = "TarvokeMenu";
    wc.lpszClassName = "TarvokeClass";
    return RegisterClassA(&wc);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow) {
    MSG msg;
    UCHAR ucRet;

    (void)lpCmdLine;
    if (hPrevInstance == NULL) {
        if (RegisterMainWindowClass(hInstance) == 0)
            return 1;
    }
    hInst = hInstance;

    hwndMain = CreateWindowExA(0, "TarvokeClass", "TarVoke - NetBios Statistics", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, hInst, NULL);
    if (hwndMain == NULL)
        return 0;
    ShowWindow(hwndMain, nCmdShow);
    UpdateWindow(hwndMain);

    // The window stays unresponsive while the LANAs are enumerated and reset; a failure ends the program.
    ucRet = DiscoverLanas();
    if (ucRet != 0) {
        MessageBeep(1);
        return ucRet;
    }

    while (GetMessageA(&msg, NULL, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
