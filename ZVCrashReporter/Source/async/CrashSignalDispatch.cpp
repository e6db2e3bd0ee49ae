#include "ZVCrashReporter/Source/async/CrashSignalDispatch.h"

#include <atomic>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct CallbackEntry {
    crash_signal_callback callback;
    void* context;
};

struct PreviousAction {
    std::atomic<bool> set;
    struct sigaction action;
};

CallbackEntry g_callbacks[ZVCRASH_MAX_SIGNAL_CALLBACKS];
std::atomic<long> g_callback_count{0};
PreviousAction g_previous[ZVCRASH_MAX_SIGNAL];

// The tail of every chain: runs what the process had installed before us.
bool previous_action_dispatch(int signo, siginfo_t* info, ucontext_t* context) {
    if (signo <= 0 || signo >= ZVCRASH_MAX_SIGNAL) return false;
    const PreviousAction& previous = g_previous[signo];
    if (!previous.set.load(std::memory_order_acquire)) return false;
    const struct sigaction& action = previous.action;
    if ((action.sa_flags & SA_SIGINFO) != 0) {
        if (action.sa_sigaction == nullptr) return false;
        action.sa_sigaction(signo, info, context);
        return true;
    }
    if (action.sa_handler == SIG_IGN) return true;
    if (action.sa_handler == SIG_DFL || action.sa_handler == nullptr) return false;
    action.sa_handler(signo);
    return true;
}

}  // namespace

bool crash_signal_add_callback(crash_signal_callback callback, void* context) {
    const long count = g_callback_count.load(std::memory_order_relaxed);
    if (count >= static_cast<long>(ZVCRASH_MAX_SIGNAL_CALLBACKS)) return false;
    g_callbacks[count] = CallbackEntry{callback, context};
    g_callback_count.store(count + 1, std::memory_order_release);
    return true;
}

bool crash_signal_has_previous_action(int signo) {
    return signo > 0 && signo < ZVCRASH_MAX_SIGNAL &&
           g_previous[signo].set.load(std::memory_order_acquire);
}

void crash_signal_set_previous_action(int signo, const struct sigaction* action) {
    if (signo <= 0 || signo >= ZVCRASH_MAX_SIGNAL) return;
    g_previous[signo].action = *action;
    g_previous[signo].set.store(true, std::memory_order_release);
}

void crash_signal_reset() {
    g_callback_count.store(0, std::memory_order_release);
    for (PreviousAction& previous : g_previous)
        previous.set.store(false, std::memory_order_release);
}

bool crash_signal_dispatch(int signo, siginfo_t* info, ucontext_t* context,
                           const crash_signal_next* next) {
    long position =
        next != nullptr ? next->position : g_callback_count.load(std::memory_order_acquire) - 1;
    if (position < 0) return previous_action_dispatch(signo, info, context);
    const CallbackEntry entry = g_callbacks[position];
    const crash_signal_next after{position - 1};
    return entry.callback(signo, info, context, entry.context, &after);
}

bool crash_signal_call_next(const crash_signal_next* next, int signo, siginfo_t* info,
                            ucontext_t* context) {
    if (next == nullptr) return false;
    return crash_signal_dispatch(signo, info, context, next);
}

void crash_signal_entry(int signo, siginfo_t* info, void* context) {
    if (crash_signal_dispatch(signo, info, static_cast<ucontext_t*>(context), nullptr)) return;
    syscall(SYS_tgkill, getpid(), static_cast<pid_t>(syscall(SYS_gettid)), signo);
}
