// The Linux start-up of a Win32 program: WinMain gets the module handle, no previous instance, the
// command-line tail and the default show state, and its result is the process's exit code.
#include <windows.h>

#include <string>

#include "command_line.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

int main(int argc, char **argv) {
    std::string tail = platform::startup::command_line_tail(argc, argv);
    return WinMain(GetModuleHandleA(nullptr), nullptr, tail.data(), SW_SHOWDEFAULT);
}
