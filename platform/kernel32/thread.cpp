// Threads on pthreads. Every thread, whether started by CreateThread or not, gets a thread object on first
// use; when the thread ends its object is signalled and the mutexes it still owns are abandoned.
#include "handle_table.h"
#include "mutex_object.h"
#include "thread_object.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform::kernel {
namespace {

std::atomic<DWORD> next_thread_id{1};

// Signals that stop and restart a running thread for SuspendThread and ResumeThread.
const int suspend_signal = SIGRTMIN + 2;
const int resume_signal = SIGRTMIN + 3;

struct ThreadInfo {
    std::shared_ptr<ThreadObject> object;
    std::vector<std::shared_ptr<MutexObject>> owned_mutexes;
    DWORD pending_exit_code = 0;

    ~ThreadInfo() {
        if (!object)
            return;
        std::lock_guard lock(sync_lock());
        for (auto &mutex : owned_mutexes)
            mutex->abandon();
        owned_mutexes.clear();
        object->mark_ended(pending_exit_code);
    }
};

thread_local ThreadInfo this_thread_info;
// The running thread's suspend count, reachable from the signal handler without locks.
thread_local std::atomic<DWORD> *this_thread_suspend_count = nullptr;

ThreadInfo &thread_info() {
    if (!this_thread_info.object) {
        this_thread_info.object = std::make_shared<ThreadObject>(next_thread_id++);
        this_thread_suspend_count = &this_thread_info.object->suspend_count();
    }
    return this_thread_info;
}

void on_suspend_signal(int) {
    int saved_errno = errno;
    sigset_t wait_mask;
    sigfillset(&wait_mask);
    sigdelset(&wait_mask, resume_signal);
    while (this_thread_suspend_count && this_thread_suspend_count->load() > 0)
        sigsuspend(&wait_mask);
    errno = saved_errno;
}

void on_resume_signal(int) {}

void install_suspend_handlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        action.sa_handler = on_resume_signal;
        sigaction(resume_signal, &action, nullptr);
        sigaddset(&action.sa_mask, resume_signal);
        action.sa_handler = on_suspend_signal;
        sigaction(suspend_signal, &action, nullptr);
    });
}

struct StartArgs {
    std::shared_ptr<ThreadObject> object;
    LPTHREAD_START_ROUTINE routine;
    LPVOID parameter;
};

void *thread_trampoline(void *raw) {
    std::unique_ptr<StartArgs> args(static_cast<StartArgs *>(raw));
    this_thread_info.object = args->object;
    this_thread_suspend_count = &args->object->suspend_count();
    args->object->wait_until_released();
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

void ThreadObject::set_native(unsigned long native) {
    std::lock_guard lock(sync_lock());
    native_ = native;
    has_native_ = true;
}

void ThreadObject::wait_until_released() {
    std::unique_lock lock(sync_lock());
    gate_.wait(lock, [&] { return suspend_count_.load() == 0; });
    released_ = true;
}

DWORD ThreadObject::suspend() {
    std::lock_guard lock(sync_lock());
    if (ended_) {
        SetLastError(ERROR_ACCESS_DENIED);
        return static_cast<DWORD>(-1);
    }
    DWORD previous = suspend_count_.fetch_add(1);
    if (previous == 0 && released_ && has_native_)
        pthread_kill(static_cast<pthread_t>(native_), suspend_signal);
    return previous;
}

DWORD ThreadObject::resume() {
    std::lock_guard lock(sync_lock());
    DWORD previous = suspend_count_.load();
    if (previous == 0)
        return 0;
    suspend_count_.store(previous - 1);
    if (previous == 1) {
        if (!released_)
            gate_.notify_all();
        else if (has_native_ && !ended_)
            pthread_kill(static_cast<pthread_t>(native_), resume_signal);
    }
    return previous;
}

std::shared_ptr<ThreadObject> current_thread_object() { return thread_info().object; }

void note_mutex_owned(const std::shared_ptr<MutexObject> &mutex) { thread_info().owned_mutexes.push_back(mutex); }

void note_mutex_released(const MutexObject *mutex) {
    std::erase_if(thread_info().owned_mutexes, [&](auto &owned) { return owned.get() == mutex; });
}

}  // namespace platform::kernel

using namespace platform::kernel;

extern "C" DWORD WINAPI GetCurrentThreadId(void) { return thread_info().object->id(); }

extern "C" HANDLE WINAPI GetCurrentThread(void) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)); }

extern "C" DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

extern "C" HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                                      LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (!lpStartAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    install_suspend_handlers();
    auto object = std::make_shared<ThreadObject>(next_thread_id++);
    object->start_suspended(dwCreationFlags & CREATE_SUSPENDED ? 1 : 0);
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
    object->set_native(static_cast<unsigned long>(native));
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
    std::lock_guard lock(sync_lock());
    *lpExitCode = thread->exit_code();
    return TRUE;
}

extern "C" DWORD WINAPI SuspendThread(HANDLE hThread) {
    auto thread = lookup_handle_as<ThreadObject>(hThread);
    if (!thread)
        return static_cast<DWORD>(-1);
    install_suspend_handlers();
    return thread->suspend();
}

extern "C" DWORD WINAPI ResumeThread(HANDLE hThread) {
    auto thread = lookup_handle_as<ThreadObject>(hThread);
    if (!thread)
        return static_cast<DWORD>(-1);
    return thread->resume();
}
