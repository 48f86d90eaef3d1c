// Threads on pthreads. Every thread, whether started by CreateThread or not, gets a thread object on first
// use; when the thread ends its object is signalled and the mutexes it still owns are abandoned.
#include "handle_table.h"
#include "mutex_object.h"
#include "thread_object.h"

#include <unistd.h>

#include <algorithm>

namespace platform::kernel {
namespace {

std::atomic<DWORD> next_thread_id{1};

// Windows never suspends a thread more often than this.
constexpr DWORD maximum_suspend_count = 127;

struct ThreadInfo {
    std::shared_ptr<ThreadObject> object;
    DWORD pending_exit_code = 0;

    ~ThreadInfo() {
        if (!object)
            return;
        SyncGuard guard;
        abandon_mutexes_owned_by(object->id());
        object->mark_ended(pending_exit_code);
        set_own_suspend_count(nullptr);  // an ended thread is never stopped again
    }
};

thread_local ThreadInfo this_thread_info;

ThreadInfo &thread_info() {
    if (!this_thread_info.object) {
        auto object = std::make_shared<ThreadObject>(next_thread_id++, 0);
        object->attach(pthread_self());  // nobody else knows the object yet: no lock needed
        this_thread_info.object = std::move(object);
    }
    return this_thread_info;
}

struct StartArgs {
    std::shared_ptr<ThreadObject> object;
    LPTHREAD_START_ROUTINE routine;
    LPVOID parameter;
};

void *thread_trampoline(void *raw) {
    std::unique_ptr<StartArgs> args(static_cast<StartArgs *>(raw));
    this_thread_info.object = args->object;
    {
        SyncGuard guard;
        args->object->attach(pthread_self());
    }
    args->object->wait_until_started();
    // ExitThread leaves through pthread_exit, which unwinds this frame; the exit code is kept in the
    // thread info so that either way out reports it.
    this_thread_info.pending_exit_code = args->routine(args->parameter);
    return nullptr;
}

// Windows rounds a requested stack up to its allocation granularity; the sanitizers need more than that.
SIZE_T effective_stack_size(SIZE_T requested) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr SIZE_T minimum = 1u << 20;
#else
    constexpr SIZE_T minimum = 64u << 10;
#endif
    constexpr SIZE_T default_size = 1u << 20;
    if (requested == 0)
        return default_size;
    SIZE_T page = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
    SIZE_T size = std::max({requested, minimum, static_cast<SIZE_T>(PTHREAD_STACK_MIN)});
    return (size + page - 1) / page * page;
}

}  // namespace

void ThreadObject::mark_ended(DWORD exit_code) {
    ended_ = true;
    exit_code_ = exit_code;
    wake_waiters();
}

void ThreadObject::attach(pthread_t native) {
    native_ = native;
    attached_ = true;
    set_own_suspend_count(&suspend_count_);
    if (suspend_count_.load() == 0)
        started_ = true;
}

void ThreadObject::wait_until_started() {
    SyncGuard guard;
    start_gate_.wait(guard.lock(), [&] { return suspend_count_.load() == 0; });
    started_ = true;
}

DWORD ThreadObject::suspend() {
    SyncGuard guard;
    if (ended_) {
        SetLastError(ERROR_ACCESS_DENIED);
        return static_cast<DWORD>(-1);
    }
    DWORD previous = suspend_count_.load();
    if (previous >= maximum_suspend_count) {
        SetLastError(ERROR_SIGNAL_REFUSED);
        return static_cast<DWORD>(-1);
    }
    suspend_count_.store(previous + 1);
    if (previous == 0 && started_ && attached_)
        send_stop(native_);
    return previous;
}

DWORD ThreadObject::resume() {
    SyncGuard guard;
    DWORD previous = suspend_count_.load();
    if (previous == 0)
        return 0;
    suspend_count_.store(previous - 1);
    if (previous == 1 && !ended_) {
        if (!started_) {
            start_gate_.notify_all();
        } else {
            if (current_wait_)
                try_complete_wait(*current_wait_);
            if (attached_)
                send_restart(native_);
        }
    }
    return previous;
}

std::shared_ptr<ThreadObject> current_thread_object() {
    return thread_info().object;
}

}  // namespace platform::kernel

using namespace platform::kernel;

extern "C" DWORD WINAPI GetCurrentThreadId(void) {
    return thread_info().object->id();
}

extern "C" HANDLE WINAPI GetCurrentThread(void) {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
}

extern "C" DWORD WINAPI GetCurrentProcessId(void) {
    return static_cast<DWORD>(getpid());
}

extern "C" HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                                      LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (!lpStartAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = std::make_shared<ThreadObject>(next_thread_id++, dwCreationFlags & CREATE_SUSPENDED ? 1 : 0);
    HANDLE handle = insert_handle(object);
    if (!handle) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attributes, effective_stack_size(dwStackSize));
    auto *args = new StartArgs{object, lpStartAddress, lpParameter};
    pthread_t native;
    int error = pthread_create(&native, &attributes, thread_trampoline, args);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete args;
        close_handle(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (lpThreadId)
        *lpThreadId = object->id();
    return handle;
}

extern "C" void WINAPI ExitThread(DWORD dwExitCode) {
    thread_info().pending_exit_code = dwExitCode;
    pthread_exit(nullptr);
}

extern "C" BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    auto thread = lookup_handle_as<ThreadObject>(hThread);
    if (!thread)
        return FALSE;
    if (!lpExitCode) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    SyncGuard guard;
    *lpExitCode = thread->exit_code();
    return TRUE;
}

extern "C" DWORD WINAPI SuspendThread(HANDLE hThread) {
    auto thread = lookup_handle_as<ThreadObject>(hThread);
    if (!thread)
        return static_cast<DWORD>(-1);
    return thread->suspend();
}

extern "C" DWORD WINAPI ResumeThread(HANDLE hThread) {
    auto thread = lookup_handle_as<ThreadObject>(hThread);
    if (!thread)
        return static_cast<DWORD>(-1);
    return thread->resume();
}
