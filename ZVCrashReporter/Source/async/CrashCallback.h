#pragma once

#include "ZVCrashReporter/Source/async/CrashCapture.h"
#include "ZVCrashReporter/Source/async/CrashSignalDispatch.h"

#include <atomic>

// The crash path of the signal handlers: one process-wide crash context, filled at enable and
// never freed, and the callback registered for every crash signal. Safe in a signal handler.

using zvcrash_user_handler = void (*)(siginfo_t* info, ucontext_t* context, void* user_context);

// One place a report can go: a folder with its pending slot. The report is written into the
// file reserved for it at enable (a file of the report cap's size, kept open, so a full disk still
// takes the report), cut to its length and renamed to the slot; without a usable reserve, into a
// new temporary file renamed to the slot once closed whole.
struct zvcrash_report_target {
    const char* directory;     // made again at crash time when missing; null: no such place
    const char* reserve_path;  // the reserved file
    const char* report_path;   // the pending slot, "live_report.<tag>.zvcrash"
    const char* temp_path;     // written first when the reserve cannot be used
    int reserve_fd;            // the reserved file, open for reading and writing; -1: none
};

inline constexpr int ZVCRASH_REPORT_TARGETS = 2;  // the report folder, then the fallback folder

struct zvcrash_crash_context {
    zvcrash_writer_state writer;
    zvcrash_capture_area capture;
    zvcrash_report_target targets[ZVCRASH_REPORT_TARGETS];
    std::atomic<zvcrash_user_handler> handler;
    std::atomic<void*> handler_context;
};

// Writes the report (0600) to the first target that can take it: the report folder's reserved
// file, else the fallback folder's, else a new file in the report folder, else one in the
// fallback folder. A reserved file is written in place and cut to the report's length; a new
// file is written under its temporary name. Either is renamed to its slot only once whole, so a
// cut-off write never leaves a half report; a slot that cannot be renamed to (a folder made
// read-only since) has the report copied to the next target. A report folder removed since
// enable (a cleaned home) is made again first, each missing level 0700. 0, or 6 when no target
// took the report. The other threads stay stopped until zvcrash_capture_release_threads.
// The address a report records for a signal: si_addr for a fault (a code above 0), 0 for a
// signal that a process sent (kill, tgkill, sigqueue, abort).
uint64_t zvcrash_signal_fault_address(const siginfo_t* info);

// The crash callback of every crash signal. Only the first crashing thread writes: another
// thread crashing meanwhile waits (at most 10 s) for the first one to end the process; a second
// crash on the writing thread (in the user handler) ends the process without writing. After the
// write the user handler runs while the other threads are still stopped, then they are released,
// the crash signals are set back to their default action and false is returned, so the signal
// is raised again and ends the process.
bool signal_crash_callback(int signo, siginfo_t* info, ucontext_t* context, void* crash_context,
                           const crash_signal_next* next);

// The crash signals, in registration order.
inline constexpr int ZVCRASH_CRASH_SIGNALS[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGTRAP};
