#include "suspension.h"

#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <chrono>
#include <mutex>

namespace platform::kernel {
namespace {

const int stop_signal = SIGRTMIN + 2;
const int restart_signal = SIGRTMIN + 3;

// Read by the signal handler, which runs on the same thread: plain thread-locals ordered with signal fences.
thread_local std::atomic<DWORD> *own_suspend_count = nullptr;
thread_local volatile sig_atomic_t deferral_depth = 0;
thread_local volatile sig_atomic_t stop_deferred = 0;

// Counted in the signal handler, so announced with a futex wake, which is a plain system call.
std::atomic<unsigned> stops_in_effect{0};

long futex(std::atomic<unsigned> *word, int operation, unsigned value, const timespec *timeout) {
    return syscall(SYS_futex, reinterpret_cast<unsigned *>(word), operation, value, timeout, nullptr, 0);
}

// Sleeps until the calling thread's suspend count is zero. Both signals are blocked while the count is tested
// and sigsuspend lets only the restart signal in, so a restart cannot slip between the test and the sleep.
void stay_stopped() {
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, stop_signal);
    sigaddset(&blocked, restart_signal);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    if (own_suspend_count && own_suspend_count->load() > 0) {
        stops_in_effect.fetch_add(1);
        futex(&stops_in_effect, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr);
    }
    sigset_t sleep_mask;
    sigfillset(&sleep_mask);
    sigdelset(&sleep_mask, restart_signal);
    while (own_suspend_count && own_suspend_count->load() > 0)
        sigsuspend(&sleep_mask);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void on_stop_signal(int) {
    int saved_errno = errno;
    if (deferral_depth > 0)
        stop_deferred = 1;
    else
        stay_stopped();
    errno = saved_errno;
}

void on_restart_signal(int) {}

void install_handlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        action.sa_handler = on_restart_signal;
        sigaction(restart_signal, &action, nullptr);
        action.sa_handler = on_stop_signal;
        sigaction(stop_signal, &action, nullptr);
    });
}

}  // namespace

SuspensionDeferral::SuspensionDeferral() {
    deferral_depth = deferral_depth + 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

SuspensionDeferral::~SuspensionDeferral() {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    deferral_depth = deferral_depth - 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (deferral_depth == 0 && stop_deferred) {
        stop_deferred = 0;
        stay_stopped();
    }
}

void set_own_suspend_count(std::atomic<DWORD> *count) {
    install_handlers();
    own_suspend_count = count;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

void send_stop(pthread_t thread) {
    install_handlers();
    pthread_kill(thread, stop_signal);
}

void send_restart(pthread_t thread) {
    pthread_kill(thread, restart_signal);
}

unsigned stops_taken() {
    return stops_in_effect.load();
}

bool wait_until_stops_exceed(unsigned count, DWORD milliseconds) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        unsigned now = stops_in_effect.load();
        if (now > count)
            return true;
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        timespec timeout{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
        futex(&stops_in_effect, FUTEX_WAIT_PRIVATE, now, &timeout);
    }
}

}  // namespace platform::kernel
