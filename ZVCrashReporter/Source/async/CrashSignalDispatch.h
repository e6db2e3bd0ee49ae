#pragma once

#include <csignal>
#include <cstddef>

#include <ucontext.h>

// The crash-time half of signal handling: the installed handler, the chain of registered
// callbacks and the dispatcher of the actions that were in force before registration. The lists
// live in static storage, are appended to at registration (ZVCrashSignalHandler.h, serialised by
// its mutex) and are never freed, so a thread may crash into them at any time, also during exit.
// Every function here except the registration ones is safe in a signal handler (no allocation,
// no lock; readers take no lock at all).

struct crash_signal_next;
// True when the callback handled the signal. A callback continues the chain only by calling
// crash_signal_call_next with next.
using crash_signal_callback = bool (*)(int signo, siginfo_t* info, ucontext_t* context,
                                       void* user_context, const crash_signal_next* next);

// Position in the chain: the callback to call next (-1: the previous-action dispatcher).
struct crash_signal_next {
    long position;
};

inline constexpr size_t ZVCRASH_MAX_SIGNAL_CALLBACKS = 64;
inline constexpr int ZVCRASH_MAX_SIGNAL = 65;

// Registration (ordinary time, under the registration mutex). Adds a callback in front of the
// others: the latest registration is called first. False when the table is full.
bool crash_signal_add_callback(crash_signal_callback callback, void* context);
bool crash_signal_has_previous_action(int signo);
void crash_signal_set_previous_action(int signo, const struct sigaction* action);
// Forgets every callback and previous action (the installed handlers stay).
void crash_signal_reset();

// The installed handler: dispatches from the latest callback; re-raises the signal on the
// calling thread when nothing handled it.
void crash_signal_entry(int signo, siginfo_t* info, void* context);
// Dispatches from the first callback (next null) or from next's position.
bool crash_signal_dispatch(int signo, siginfo_t* info, ucontext_t* context,
                           const crash_signal_next* next);
// False when next is null, else the rest of the chain's result.
bool crash_signal_call_next(const crash_signal_next* next, int signo, siginfo_t* info,
                            ucontext_t* context);
