// The main window: a light grey client area under the Options menu.
#include <windows.h>

#include "resource.h"
#include "tarvoke_ui.h"

INT_PTR OpenModalDialog(LPCSTR lpszTemplate, DLGPROC lpfnDlgProc, HWND hwndOwner, HINSTANCE hInstance) {
    return DialogBoxParamA(hInstance, lpszTemplate, hwndOwner, lpfnDlgProc, 0);
}

void PaintMainWindow(HWND hwnd) {
    PAINTSTRUCT ps;
    HBRUSH hbrGrey;

    BeginPaint(hwnd, &ps);
    hbrGrey = CreateSolidBrush(0xC0C0C0);
    FillRect(ps.hdc, &ps.rcPaint, hbrGrey);
    DeleteObject(hbrGrey);
    EndPaint(hwnd, &ps);
}

static void ConfirmExit(HWND hwnd) {
    if (MessageBoxA(hwnd, "Do you wish to exit?", "Exit", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES)
        PostQuitMessage(0);
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_DESTROY:
            PostQuitMessage(0);
            break;

        case WM_PAINT:
            PaintMainWindow(hwnd);
            break;

        case WM_COMMAND:
            // The whole wParam: a menu command carries notification code 0.
            switch (wParam) {
                case IDM_CONFIGURE:
                    OpenModalDialog("LANAS", LanasDlgProc, hwnd, hInst);
                    break;
                case IDM_ABOUT:
                    OpenModalDialog("ABOUT", AboutDlgProc, hwnd, hInst);
                    break;
                case IDM_EXIT:
                    ConfirmExit(hwnd);
                    break;
            }
            break;
    }
    // Every message also gets the default handling, painting included: by then nothing is left to paint.
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}
