#pragma once

#include "ZVCrashReporter/Source/async/CrashCapture.h"
#include "ZVCrashReporter/Source/async/CrashSignalDispatch.h"

#include <atomic>

// The crash path of the signal handlers: one process-wide crash context, filled at enable and
// never freed, and the callback registered for every crash signal. Safe in a signal handler.

using zvcrash_user_handler = void (*)(siginfo_t* info, ucontext_t* context, void* user_context);

struct zvcrash_crash_context {
    zvcrash_writer_state writer;
    zvcrash_capture_area capture;
    const char* report_directory;  // made again at crash time when missing
    const char* report_path;       // "live_report.zvcrash"
    const char* temp_path;         // written first, renamed over report_path once closed
    std::atomic<zvcrash_user_handler> handler;
    std::atomic<void*> handler_context;
};

// Writes the report (0600) to the temporary path and renames it over the report path once it is
// closed whole, so a cut-off write never leaves a half report. A report folder removed since
// enable (a cleaned home) is made again first, each missing level 0700. 0, or 6 when the file could
// not be made, written, closed or renamed. The other threads stay stopped until
// zvcrash_capture_release_threads.
zvcrash_error_t write_crash_report_file(zvcrash_crash_context* context,
                                        const zvcrash_async_thread_state* current,
                                        const zvcrash_signal_record* signal);

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
