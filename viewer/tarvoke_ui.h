// Tarvoke's windows: the main window with its menu, the About dialog and the report display windows.
#pragma once

#include <windows.h>

// The program's instance and main window; written once by WinMain before any worker exists.
extern HINSTANCE hInst;
extern HWND hwndMain;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

// The main window class "TarvokeClass"; the class atom, 0 on failure.
WORD RegisterMainWindowClass(HINSTANCE hInstance);
LRESULT CALLBACK MainWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
void PaintMainWindow(HWND hwnd);

// Runs the dialog template lpszTemplate modally under hwndOwner; the value the dialog passed to EndDialog.
INT_PTR OpenModalDialog(LPCSTR lpszTemplate, DLGPROC lpfnDlgProc, HWND hwndOwner, HINSTANCE hInstance);

INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK LanasDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

// The LANA chosen in the selection dialog; the configuration dialog works on it for its whole life.
extern WORD nSelectedLana;
INT_PTR CALLBACK ConfigureDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
// Sets the check mark of control wId (0 or 1), when the dialog has that control.
void SetCheckBox(HWND hDlg, WORD wId, WORD wValue);

// The report display window of a watched LANA (a modeless "DISPLAY" dialog) and its drawing.
INT_PTR CALLBACK DisplayDlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
void DrawReport(HWND hwnd, LPCSTR lpszText);
