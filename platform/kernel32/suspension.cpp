#include "suspension.h"

#include <signal.h>

#include <cerrno>
#include <mutex>

namespace platform::kernel {
namespace {

const int stop_signal = SIGRTMIN + 2;
const int restart_signal = SIGRTMIN + 3;

// Read by the signal handler, which runs on the same thread: plain thread-locals ordered with signal fences.
thread_local std::atomic<DWORD> *own_suspend_count = nullptr;
thread_local volatile sig_atomic_t deferral_depth = 0;
thread_local volatile sig_atomic_t stop_deferred = 0;

// Sleeps until the calling thread's suspend count is zero. Both signals are blocked while the count is tested
// and sigsuspend lets only the restart signal in, so a restart cannot slip between the test and the sleep.
void stay_stopped() {
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, stop_signal);
    sigaddset(&blocked, restart_signal);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
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

}  // namespace platform::kernel
