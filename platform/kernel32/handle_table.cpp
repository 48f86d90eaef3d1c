#include "handle_table.h"

#include "thread_object.h"

#include <unordered_map>

namespace platform::kernel {
namespace {

// Handle values are multiples of 4 starting above the small numbers, as on Windows, so that a handle is
// never confused with 0, a pseudo-handle or a small integer passed by mistake.
constexpr std::uintptr_t first_handle_value = 0x40;
constexpr std::size_t max_handles = 1u << 20;

struct Table {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    std::uintptr_t next = first_handle_value;
};

Table &table() {
    static Table *instance = new Table;  // never destroyed: threads may close handles during exit
    return *instance;
}

}  // namespace

HANDLE insert_handle(std::shared_ptr<KernelObject> object) {
    auto &t = table();
    std::lock_guard guard(t.lock);
    if (t.objects.size() >= max_handles)
        return nullptr;
    while (t.objects.contains(t.next) || t.next == 0)
        t.next += 4;
    auto value = t.next;
    t.next += 4;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> lookup_handle(HANDLE handle) {
    if (handle == GetCurrentThread())
        return current_thread_object();
    auto &t = table();
    std::lock_guard guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second;
}

bool close_handle(HANDLE handle) {
    std::shared_ptr<KernelObject> released;  // destroyed outside the table lock
    auto &t = table();
    std::lock_guard guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == t.objects.end())
        return false;
    released = std::move(it->second);
    t.objects.erase(it);
    return true;
}

std::size_t open_handle_count() {
    auto &t = table();
    std::lock_guard guard(t.lock);
    return t.objects.size();
}

}  // namespace platform::kernel

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (hObject == GetCurrentThread())
        return TRUE;  // pseudo-handles need no closing
    if (!platform::kernel::close_handle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
