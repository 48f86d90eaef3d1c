#include "window_class.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace platform::user {
namespace {

std::string folded(std::string_view name) {
    std::string result(name);
    std::transform(result.begin(), result.end(), result.begin(), ::tolower);
    return result;
}

struct Registry {
    std::mutex lock;
    std::map<std::string, std::shared_ptr<WindowClass>> classes;
    ATOM next_atom = 0xC000;
};

Registry &registry() {
    static auto *instance = new Registry;
    return *instance;
}

void register_builtin_classes();

std::shared_ptr<WindowClass> make_class(const WNDCLASSA &wc) {
    auto cls = std::make_shared<WindowClass>();
    cls->name = wc.lpszClassName;
    cls->style = wc.style;
    cls->proc = wc.lpfnWndProc;
    cls->class_extra = wc.cbClsExtra;
    cls->window_extra = wc.cbWndExtra;
    cls->instance = wc.hInstance;
    cls->icon = wc.hIcon;
    cls->cursor = wc.hCursor;
    cls->background = wc.hbrBackground;
    if (wc.lpszMenuName && !IS_INTRESOURCE(wc.lpszMenuName))
        cls->menu_name = wc.lpszMenuName;
    else if (wc.lpszMenuName)
        cls->menu_name = "#" + std::to_string(reinterpret_cast<std::uintptr_t>(wc.lpszMenuName));
    cls->extra.resize(static_cast<std::size_t>(std::max(0, wc.cbClsExtra)));
    return cls;
}

ATOM add_class(const WNDCLASSA &wc) {
    if (!wc.lpszClassName || IS_INTRESOURCE(wc.lpszClassName) || !wc.lpfnWndProc || wc.cbClsExtra < 0 ||
        wc.cbWndExtra < 0 || wc.cbClsExtra > 40 * 1024 || wc.cbWndExtra > 40 * 1024) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto &r = registry();
    std::lock_guard guard(r.lock);
    auto key = folded(wc.lpszClassName);
    if (r.classes.count(key)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto cls = make_class(wc);
    cls->atom = r.next_atom++;
    r.classes.emplace(key, cls);
    return cls->atom;
}

}  // namespace

void register_system_class(const WNDCLASSA &wc) {
    add_class(wc);
}

std::shared_ptr<WindowClass> find_class(LPCSTR name) {
    static std::once_flag builtins;
    std::call_once(builtins, [] { register_builtin_classes(); });
    if (!name)
        return nullptr;
    auto &r = registry();
    std::lock_guard guard(r.lock);
    if (IS_INTRESOURCE(name)) {
        auto atom = static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name));
        for (auto &[key, cls] : r.classes)
            if (cls->atom == atom)
                return cls;
        return nullptr;
    }
    auto found = r.classes.find(folded(name));
    return found == r.classes.end() ? nullptr : found->second;
}

}  // namespace platform::user

// Defined by the dialog manager and the controls.
namespace platform::user {
void register_dialog_class();
void register_control_classes();
namespace {
void register_builtin_classes() {
    register_dialog_class();
    register_control_classes();
}
}  // namespace
}  // namespace platform::user

extern "C" ATOM WINAPI RegisterClassA(const WNDCLASSA *lpWndClass) {
    if (!lpWndClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    platform::user::find_class(nullptr);  // the system classes come first
    return platform::user::add_class(*lpWndClass);
}

extern "C" BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
    auto cls = platform::user::find_class(lpClassName);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    auto &r = platform::user::registry();
    std::lock_guard guard(r.lock);
    r.classes.erase(platform::user::folded(cls->name));
    return TRUE;
}
