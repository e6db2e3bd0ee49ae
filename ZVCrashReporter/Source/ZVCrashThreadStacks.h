#pragma once

#include <csignal>
#include <cstddef>

// Gives every thread of the process its own alternate signal stack, so that a crash signal
// caught on a thread whose stack ran out (a deep recursion) or whose stack pointer is wrecked
// still finds a stack for the handler. The kernel needs that stack before any handler code runs,
// so it cannot be made at crash time:
// - Threads made through pthread_create, by our code or by any library (Qt, libvlc, glib, the
//   C++ runtime): this library defines pthread_create in the executable (exported with
//   --export-dynamic-symbol, see the CMake target), and its trampoline installs a stack before
//   the thread's own code runs and frees it at thread exit (a thread-specific-data destructor).
// - Threads already running at enable: each is sent the capture signal with a stack request
//   (SI_QUEUE, kStackRequest); its handler installs one of the stacks made at enable. The kernel
//   runs a pending handler before the thread runs any more of its own code, so enable returns
//   once every thread of the process that was running its own code on a processor has been
//   interrupted into the kernel (a process-private memory barrier): from then on no thread that
//   was running at enable can crash before its stack is in place (but one that blocks the
//   signal), and enable need not wait for the answers. They can be awaited off the starting
//   thread (awaitRunningThreads; the crash service does so on a global queue). A kernel without
//   the barrier makes enable wait for them, at most kAnswerWaitNs. A later answer still takes a
//   stack. A signal handler cannot register a thread-exit destructor safely, so these stacks are
//   freed a little after their thread ends: at the next pthread_create (or reclaimEndedThreads),
//   which frees every one whose thread is gone. Stacks left untaken (a thread that blocks the
//   signal or ended first) stay: as many as there were such threads, untouched, not committed.
// - The thread that registers the crash signals keeps the handler's shared stack.
// Not covered: threads that block the capture signal while enable runs, threads made with a
// raw clone, and threads the C library makes for itself (they do not call pthread_create
// through the dynamic linker).
class ZVCrashThreadStacks {
  public:
    // Each stack: the usable area plus a guard page below it.
    static constexpr size_t kStackSize = 256 * 1024;
    static constexpr int kStackRequest = 0x7a767374;
    static constexpr long kAnswerWaitNs = 50'000'000;

    // From now on new threads get a stack; the running ones (but the caller) are asked to take
    // one through captureSignal (0: none can be asked). Ordinary time, any thread; once is
    // enough, later calls only ask again. Waits for the answers only without the barrier.
    static void enable(int captureSignal);
    static bool isEnabled();
    // Waits until every thread the latest enable asked has answered, at most `limitNs`; answers
    // how many had not (0: all have their stacks). Ordinary time, any thread.
    static int awaitRunningThreads(long limitNs);
    // Gives the calling thread a stack of its own unless it has one; freed at thread exit.
    // False when none could be made.
    static bool installOnCurrentThread();

    // The capture signal's handler: a stack request installs a stack; anything else is the
    // crash-time capture of the thread's registers.
    static void signalHandler(int signo, siginfo_t* info, void* context);

    // For tests:
    // Stacks given to threads that were running at enable, not yet freed.
    static size_t poolStacksInUse();
    // Frees the stacks of those threads that have ended (also done at every pthread_create).
    static void reclaimEndedThreads();
};
