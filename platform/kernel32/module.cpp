// The program's own module handle. On Linux there is one module, the program, and its handle only has to be
// distinct and non-null: resources are found through it by the resource tables linked into the program.
#include <windows.h>

namespace {
struct ModuleImage {
    int unused;
} program_module;
}  // namespace

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(&program_module);
}
