// Crash helper of the capture tests: enables the crash reporter (symbol tables) under the folder
// given, then crashes the way the mode names, in an extern "C" function of that name.
// usage: zvcrash_crash_child MODE BASE [--threads N]
// Modes: segv bus ill fpe abrt trap crash that way; two: two threads fault together; blocked: a
// worker blocks the capture signal, then segv; callback: the user handler faults; live: writes a
// live report and exits 0 when it decodes with the caller as crashed thread; twice: a second
// enable must fail with code 3 (exit 0); cxx, throw42: an uncaught C++ exception on a worker;
// terminate: std::terminate() with no exception; bench: segv, the user callback writes the
// nanoseconds from the fault to the report closed into BASE/elapsed; overflow-thread: a worker
// made with plain pthread_create after enable recurses until its stack runs out; overflow-early:
// the same with a worker that was running before enable (enable waits until it runs);
// late-answer: the same with a worker that blocks every signal until after enable;
// overflow-library: with a std::thread; smash-thread: a worker sets rsp to 0x10 and faults; jump: a
// call through a function pointer to address 0x8; kill: the process sends itself SIGSEGV;
// live-thread: writes a live report of a parked worker and exits 0 when it decodes with that worker
// as the crashed thread and the caller left out; live-before: a live report before enable, exit 0
// when every thread has frames; stacks-freed: three threads running at enable take stacks, freed
// once they have ended (exit 0); no-proc: segv with /proc unreadable (exit 20 when that cannot be
// arranged); segv-cleared: the report folder's parent removed after enable, then segv; segv-full:
// after enable the disk under BASE is filled up (exit 23 when it never fills), then segv;
// segv-readonly: after enable the report folder is bind-mounted read-only in a private mount
// namespace (exit 20 when that cannot be arranged), then segv. With --threads, N workers are
// parked first; --fallback DIR gives the reporter its fallback folder's base. BASE "-" leaves the
// reporter its default folder.
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/CXXException/ZVTZeroduvCXXExceptionWrapperException.h"

#include "ZVCrashReporter/Source/ZVCrashReport.h"
#include "ZVCrashReporter/Source/ZVCrashReportInfo.h"
#include "ZVCrashReporter/Source/ZVCrashReporter.h"
#include "ZVCrashReporter/Source/ZVCrashThreadStacks.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" {
int* volatile g_nowhere = nullptr;
volatile int g_zero = 0;
std::atomic<int> g_parked{0};

__attribute__((noinline)) void crash_segv() {
    *g_nowhere = 1;
}
__attribute__((noinline)) void crash_fpe() {
    g_zero = 10 / g_zero;
}
__attribute__((noinline)) void crash_ill() {
    __builtin_trap();
}
__attribute__((noinline)) void crash_trap() {
    asm volatile("int3");
}
__attribute__((noinline)) void crash_abrt() {
    std::abort();
}
__attribute__((noinline)) void crash_bus(const char* base) {
    const std::string path = std::string(base) + "/truncated";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    auto* map =
        static_cast<volatile char*>(mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    map[0] = 1;
}
__attribute__((noinline)) void* crash_worker(void*) {
    while (g_parked.load() < 2) {
    }
    crash_segv();
    return nullptr;
}
__attribute__((noinline)) void* blocked_worker(void*) {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    g_parked.fetch_add(1);
    for (;;) pause();
    return nullptr;
}
__attribute__((noinline)) void crash_throw(bool number) {
    if (number) throw 42;
    throw std::runtime_error("boom");
}
void* throw_worker(void* number) {
    crash_throw(number != nullptr);
    return nullptr;
}
// As the crashes service does: the wrapper goes to the reporter's uncaught-exception slot.
void cxx_handler(const ZVTZeroduvCXXExceptionInfo* info) {
    const ZVTZeroduvCXXExceptionWrapperException wrapper(info);
    if (auto slot = ZVCrashReporter::uncaughtExceptionHandler()) slot(wrapper.record());
    std::abort();
}
// bench: the fault's time, and a callback that writes the time from fault to report closed.
int64_t g_fault_ns = 0;
char g_elapsed_path[512];
int64_t monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}
void stamping_callback(siginfo_t*, ucontext_t*, void*) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%lld",
                                static_cast<long long>(monotonic_ns() - g_fault_ns));
    const int fd = open(g_elapsed_path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0 && write(fd, text, static_cast<size_t>(n)) > 0) close(fd);
}
void faulting_callback(siginfo_t*, ucontext_t*, void*) {
    crash_segv();
}
__attribute__((noinline)) void* park_worker(void*) {
    g_parked.fetch_add(1);
    for (;;) pause();
    return nullptr;
}
// Each level keeps a page of its own alive, so the recursion cannot be turned into a loop.
__attribute__((noinline)) int overflow_recurse(int depth) {
    volatile char page[1024];
    page[0] = static_cast<char>(depth);
    // The test on g_zero (always 0) hides from the compiler that this never ends.
    if (depth < 0 && g_zero != 0) return 0;
    return overflow_recurse(depth + 1) + page[0];
}
std::atomic<bool> g_go{false};
__attribute__((noinline)) void* overflow_worker(void*) {
    while (!g_go.load()) sched_yield();
    overflow_recurse(0);
    return nullptr;
}
// Says it runs, so that main enables only after that, then waits as overflow_worker does.
std::atomic<bool> g_early_running{false};
__attribute__((noinline)) void* early_overflow_worker(void*) {
    g_early_running.store(true);
    return overflow_worker(nullptr);
}
// Blocks every signal (the stack request among them) until main lets it go after enable, then
// waits as overflow_worker does.
std::atomic<bool> g_unblock{false};
__attribute__((noinline)) void* late_answer_worker(void*) {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    g_early_running.store(true);
    while (!g_unblock.load()) sched_yield();
    pthread_sigmask(SIG_UNBLOCK, &all, nullptr);
    return overflow_worker(nullptr);
}
__attribute__((noinline)) void* smash_worker(void*) {
    asm volatile("movq $0x10, %%rsp\n\tpushq %%rax" ::: "memory");
    return nullptr;
}
// Built without frame pointers (as the whole child): only [rsp] leads back here.
__attribute__((noinline)) int jump_through_bad_pointer() {
    void (*volatile target)() = reinterpret_cast<void (*)()>(0x8);
    target();
    return g_zero + 1;
}
__attribute__((noinline)) void* ending_worker(void*) {
    g_parked.fetch_add(1);
    while (!g_go.load()) sched_yield();
    return nullptr;
}
pid_t g_live_target = 0;
__attribute__((noinline)) void* live_target_worker(void*) {
    g_live_target = static_cast<pid_t>(syscall(SYS_gettid));
    g_parked.fetch_add(1);
    for (;;) pause();
    return nullptr;
}
}

namespace {

// live-thread: 0 when the report names the parked worker as the crashed thread, with frames,
// and leaves the calling thread (main) out.
int checkLiveThreadReport(ZVCrashReporter& reporter, int workers) {
    pthread_t thread;
    pthread_create(&thread, nullptr, live_target_worker, nullptr);
    while (g_parked.load() < workers + 1) sched_yield();
    ZVCrashReporterError error;
    if (reporter.generateLiveReportWithThread(getpid() + 999999, &error) || error.code != 1)
        return 10;
    const auto data = reporter.generateLiveReportWithThread(g_live_target, &error);
    if (!data) return 6;
    const auto report = ZVCrashReport::initWithData(*data, &error);
    if (!report || report->signalInfo()->name() != "SIGTRAP") return 7;
    if (report->threads().size() != static_cast<size_t>(workers) + 1) return 8;
    const auto& first = report->threads().front();
    if (!first->crashed() || first->stackFrames().empty() || first->registers().empty()) return 9;
    bool sawTarget = false;
    for (const auto& frame : first->stackFrames()) {
        if (frame->symbolInfo() && frame->symbolInfo()->symbolName() == "live_target_worker")
            sawTarget = true;
    }
    for (const auto& other : report->threads()) {
        for (const auto& frame : other->stackFrames()) {
            if (frame->symbolInfo() && frame->symbolInfo()->symbolName().rfind("main", 0) == 0)
                return 11;
        }
    }
    return sawTarget ? 0 : 12;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string mode = argv[1];
    ZVCrashReporterConfig config;
    config.symbolicationStrategy = 1;
    if (std::strcmp(argv[2], "-") != 0) config.basePath = argv[2];  // "-": the default folder
    for (int i = 3; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--fallback") == 0) config.fallbackBasePath = argv[i + 1];
    }
    ZVCrashReporter reporter("crash_child", "1.0", std::nullopt, config);
    if (mode == "bench") {
        std::snprintf(g_elapsed_path, sizeof g_elapsed_path, "%s/elapsed", argv[2]);
        ZVCrashReporterCallbacks callbacks;
        callbacks.handler = stamping_callback;
        reporter.setCrashCallbacks(callbacks);
    }
    if (mode == "callback") {
        ZVCrashReporterCallbacks callbacks;
        callbacks.handler = faulting_callback;
        if (!reporter.setCrashCallbacks(callbacks)) return 5;
    }
    pthread_t early;
    if (mode == "overflow-early" || mode == "late-answer") {
        // Running (past its start, which takes a stack only once enabled) before enable.
        pthread_create(&early, nullptr,
                       mode == "late-answer" ? late_answer_worker : early_overflow_worker, nullptr);
        while (!g_early_running.load()) sched_yield();
        if (ZVCrashThreadStacks::isEnabled()) return 21;
    }
    pthread_t ending[3];
    if (mode == "stacks-freed") {
        for (pthread_t& thread : ending) pthread_create(&thread, nullptr, ending_worker, nullptr);
        // Running their own code at enable: a thread that first runs after it makes its own
        // stack as it starts, not one of enable's.
        while (g_parked.load() < 3) sched_yield();
    }
    if (mode == "live-before") {
        // Before enable: the parked workers are captured with their frames too.
        for (int i = 0; i < 2; ++i) {
            pthread_t thread;
            pthread_create(&thread, nullptr, park_worker, nullptr);
        }
        while (g_parked.load() < 2) sched_yield();
        ZVCrashReporterError liveError;
        const auto data = reporter.generateLiveReport(&liveError);
        if (!data) return 6;
        const auto report = ZVCrashReport::initWithData(*data, &liveError);
        if (!report || report->threads().size() != 3) return 7;
        for (const auto& thread : report->threads()) {
            if (thread->stackFrames().empty()) return 8;
        }
        return 0;
    }
    ZVCrashReporterError error;
    if (!reporter.enableCrashReporter(&error)) {
        std::fprintf(stderr, "enable failed: %s\n", error.localizedDescription.c_str());
        return 3;
    }
    int workers = argc >= 5 && std::strcmp(argv[3], "--threads") == 0 ? std::atoi(argv[4]) : 0;
    for (int i = 0; i < workers; ++i) {
        pthread_t thread;
        pthread_create(&thread, nullptr, park_worker, nullptr);
    }
    while (g_parked.load() < workers) sched_yield();
    if (mode == "cxx" || mode == "throw42" || mode == "terminate") {
        ZVTZeroduvUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(cxx_handler);
        if (mode == "terminate") std::terminate();
        pthread_t thread;
        pthread_create(&thread, nullptr, throw_worker, mode == "throw42" ? &g_parked : nullptr);
        pthread_join(thread, nullptr);
    }
    if (mode == "twice") {
        ZVCrashReporter second("other", "1.0", std::nullopt, config);
        ZVCrashReporterError again;
        return !second.enableCrashReporter(&again) && again.code == 3 ? 0 : 1;
    }
    if (mode == "live") {
        ZVCrashReporterError liveError;
        const auto data = reporter.generateLiveReport(&liveError);
        if (!data) return 6;
        const auto report = ZVCrashReport::initWithData(*data, &liveError);
        if (!report || report->signalInfo()->name() != "SIGTRAP" ||
            report->signalInfo()->code() != "TRAP_TRACE")
            return 7;
        size_t crashed = 0;
        for (const auto& thread : report->threads()) crashed += thread->crashed() ? 1 : 0;
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::temp_directory_path())) {
            if (entry.path().filename().string().rfind("live_crash_report.", 0) == 0) return 8;
        }
        return crashed == 1 && !reporter.hasPendingCrashReport() ? 0 : 9;
    }
    if (mode == "two") {
        pthread_t a, b;
        pthread_create(&a, nullptr, crash_worker, nullptr);
        pthread_create(&b, nullptr, crash_worker, nullptr);
        g_parked.fetch_add(2);
        pthread_join(a, nullptr);
    }
    if (mode == "blocked") {
        pthread_t thread;
        pthread_create(&thread, nullptr, blocked_worker, nullptr);
        while (g_parked.load() < workers + 1) sched_yield();
    }
    if (mode == "live-thread") return checkLiveThreadReport(reporter, workers);
    if (mode == "stacks-freed") {
        // The three were running at enable: each takes one of the stacks made then, when it
        // next runs (enable waits for that only a little). Polled, with a deadline of 5 s.
        int64_t deadline = monotonic_ns() + 5'000'000'000;
        while (ZVCrashThreadStacks::poolStacksInUse() != 3) {
            if (monotonic_ns() > deadline) return 10;
            sched_yield();
        }
        g_go.store(true);
        for (pthread_t thread : ending) pthread_join(thread, nullptr);
        // The kernel drops an ended thread from the process a moment after pthread_join has
        // returned; until then its stack is kept.
        deadline = monotonic_ns() + 5'000'000'000;
        do {
            ZVCrashThreadStacks::reclaimEndedThreads();
            if (ZVCrashThreadStacks::poolStacksInUse() == 0) return 0;
            sched_yield();
        } while (monotonic_ns() < deadline);
        return 11;
    }
    if (mode == "overflow-library") {
        // Made by the C++ runtime's own pthread_create call, from inside libstdc++.
        std::thread thread([] { overflow_worker(nullptr); });
        g_go.store(true);
        thread.join();
    }
    if (mode == "late-answer") {
        // Enable did not wait for the answer the worker cannot give yet; it gives it once it lets
        // the signal in, and that is awaited here.
        if (ZVCrashThreadStacks::awaitRunningThreads(0) != 1) return 23;
        g_unblock.store(true);
        if (ZVCrashThreadStacks::awaitRunningThreads(5'000'000'000) != 0) return 24;
    }
    if (mode == "overflow-thread" || mode == "overflow-early" || mode == "smash-thread" ||
        mode == "late-answer") {
        pthread_t thread = early;
        if (mode != "overflow-early" && mode != "late-answer") {
            pthread_create(&thread, nullptr,
                           mode == "smash-thread" ? smash_worker : overflow_worker, nullptr);
        }
        g_go.store(true);
        pthread_join(thread, nullptr);
    }
    if (mode == "jump") g_zero = jump_through_bad_pointer();
    if (mode == "no-proc") {
        // This thread's own view of /proc replaced by an empty folder (needs the right to make
        // a mount namespace; exit 20 without it), then segv with the parked workers running.
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("none", "/proc", "tmpfs", 0, nullptr) != 0) {
            return 20;
        }
        crash_segv();
    }
    if (mode == "kill") kill(getpid(), SIGSEGV);
    if (mode == "segv-cleared") {
        // A cleaner empties the folder during the run.
        std::error_code ec;
        std::filesystem::remove_all(reporter.crashReportDirectory().parent_path(), ec);
        if (ec || std::filesystem::exists(reporter.crashReportDirectory())) return 22;
        crash_segv();
    }
    if (mode == "segv-full") {
        // The disk fills up during the run (a recording, a log gone wild).
        const std::string filler = std::string(argv[2]) + "/filler";
        const int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        static char block[4096];
        while (fd >= 0 && write(fd, block, sizeof block) > 0) {
        }
        if (fd < 0 || errno != ENOSPC) return 23;
        crash_segv();
    }
    if (mode == "segv-readonly") {
        const std::string folder = reporter.crashReportDirectory().string();
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
                0) {
            return 20;
        }
        crash_segv();
    }
    if (mode == "bench") g_fault_ns = monotonic_ns();
    if (mode == "segv" || mode == "blocked" || mode == "callback" || mode == "bench") crash_segv();
    if (mode == "fpe") crash_fpe();
    if (mode == "ill") crash_ill();
    if (mode == "trap") crash_trap();
    if (mode == "abrt") crash_abrt();
    if (mode == "bus") crash_bus(argv[2]);
    return 4;
}
