#include "handle_table.h"

#include "thread_object.h"

#include <unordered_map>

extern "C" HANDLE WINAPI GetCurrentProcess(void) {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
}

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
    std::size_t capacity = max_handles;
};

Table &table() {
    static Table *instance = new Table;  // never destroyed: threads may close handles during exit
    return *instance;
}

// What the current-process pseudo-handle names: waitable, and never signalled while anybody can wait on it.
class ProcessObject : public WaitableObject {
public:
    bool is_signaled_for(DWORD) const override { return false; }
    bool take(DWORD) override { return false; }
};

std::shared_ptr<KernelObject> current_process_object() {
    static auto *process = new std::shared_ptr<KernelObject>(std::make_shared<ProcessObject>());
    return *process;
}

}  // namespace

HANDLE insert_handle(std::shared_ptr<KernelObject> object) {
    auto &t = table();
    SuspensionDeferral deferral;
    std::lock_guard guard(t.lock);
    if (t.objects.size() >= t.capacity)
        return nullptr;
    while (t.objects.contains(t.next) || t.next == 0)
        t.next += 4;
    auto value = t.next;
    t.next += 4;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

void limit_open_handles(std::size_t capacity) {
    auto &t = table();
    SuspensionDeferral deferral;
    std::lock_guard guard(t.lock);
    t.capacity = capacity < max_handles ? capacity : max_handles;
}

std::shared_ptr<KernelObject> lookup_handle(HANDLE handle) {
    if (handle == GetCurrentThread())
        return current_thread_object();
    if (handle == GetCurrentProcess())
        return current_process_object();
    auto &t = table();
    SuspensionDeferral deferral;
    std::lock_guard guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second;
}

bool close_handle(HANDLE handle) {
    std::shared_ptr<KernelObject> released;  // destroyed outside the table lock
    auto &t = table();
    SuspensionDeferral deferral;
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
    SuspensionDeferral deferral;
    std::lock_guard guard(t.lock);
    return t.objects.size();
}

}  // namespace platform::kernel

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (hObject == GetCurrentThread() || hObject == GetCurrentProcess())
        return TRUE;  // pseudo-handles need no closing
    if (!platform::kernel::close_handle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
