#pragma once

#include "ZVCrashReporter/Source/ZVCrashReporterError.h"
#include "ZVCrashReporter/Source/async/CrashSignalDispatch.h"

#include <cstddef>
#include <mutex>

// Installs one process-wide handler per registered signal, run on an alternate signal stack, and
// chains registered callbacks in front of the handler the process had before. Registration is
// ordinary-time code, serialised by a mutex; dispatch is in CrashSignalDispatch.h.
class ZVCrashSignalHandler {
  public:
    // The alternate stack: room for the report writer's deepest path with a wide margin.
    static constexpr size_t kAlternateStackSize = 256 * 1024;

    static ZVCrashSignalHandler& sharedHandler();
    ZVCrashSignalHandler();

    // Installs the alternate stack on the calling thread and, once per signal, the handler.
    // Every other thread gets a stack of its own from ZVCrashThreadStacks (at enable).
    bool registerHandlerWithSignal(int signo, ZVCrashReporterError* error);
    // registerHandlerWithSignal, then puts the callback in front of every earlier one.
    bool registerHandlerForSignal(int signo, crash_signal_callback callback, void* context,
                                  ZVCrashReporterError* error);
    // Forgets every callback and previous action; the installed handlers stay.
    static void resetHandlers();

  private:
    void* stack_ = nullptr;  // never freed: a thread may be running on it
    std::mutex mutex_;
};
