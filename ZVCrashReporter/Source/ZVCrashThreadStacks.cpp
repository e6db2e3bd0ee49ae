#include "ZVCrashReporter/Source/ZVCrashThreadStacks.h"

#include "ZVCrashReporter/Source/async/AsyncMemory.h"
#include "ZVCrashReporter/Source/async/CrashCapture.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <dirent.h>
#include <dlfcn.h>
#include <linux/membarrier.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

constexpr size_t kGuard = 4096;

std::atomic<bool> g_enabled{false};
pthread_key_t g_key;
pthread_once_t g_keyOnce = PTHREAD_ONCE_INIT;

// Stacks made at enable for the threads running then: taken by their signal handlers, freed
// once the thread that took one is gone.
enum SlotState : int32_t { kSlotFree = 0, kSlotTaken = 1, kSlotFreed = 2 };
struct PoolSlot {
    void* area = nullptr;
    std::atomic<int32_t> state{kSlotFree};
    std::atomic<int32_t> tid{0};  // the thread that took it; 0 until known
};
struct Pool {
    PoolSlot* slots;
    size_t count;
    Pool* next;  // pools are never freed: a late answer may still read one
};
std::atomic<Pool*> g_pools{nullptr};
std::atomic<int32_t> g_taken{0};  // slots taken and not yet freed
std::mutex g_reclaimMutex;
std::atomic<int32_t> g_answers{0};  // answers to the latest ask
std::atomic<int32_t> g_asked{0};    // threads the latest ask reached

using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

// A stack with a guard page below it; the usable area starts kGuard bytes in. Null on failure.
void* makeStack() {
    void* area = mmap(nullptr, kGuard + ZVCrashThreadStacks::kStackSize, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK | MAP_NORESERVE, -1, 0);
    if (area == MAP_FAILED) return nullptr;
    mprotect(area, kGuard, PROT_NONE);
    return area;
}

void* usable(void* area) {
    return static_cast<char*>(area) + kGuard;
}

bool hasStack() {
    stack_t current{};
    return sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0;
}

// Installs the stack for the calling thread. In a signal handler, `context` is the handler's:
// on return the kernel puts back the alternate stack it saved there at delivery (none, for a
// thread that had none), so the new stack is written there too to stay installed.
bool install(void* area, ucontext_t* context = nullptr) {
    stack_t stack{};
    stack.ss_sp = usable(area);
    stack.ss_size = ZVCrashThreadStacks::kStackSize;
    if (sigaltstack(&stack, nullptr) != 0) return false;
    if (context != nullptr) context->uc_stack = stack;
    return true;
}

// At thread exit: the thread no longer uses the stack once it is disabled.
void freeStack(void* area) {
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == usable(area)) {
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
    }
    munmap(area, kGuard + ZVCrashThreadStacks::kStackSize);
}

void makeKey() {
    pthread_key_create(&g_key, freeStack);
}

struct StartRecord {
    void* (*start)(void*);
    void* argument;
};

void* trampoline(void* record) {
    const StartRecord start = *static_cast<StartRecord*>(record);
    std::free(record);
    // Read after the thread exists: an enable that set the flag later lists this thread and
    // asks it through the capture signal instead.
    if (g_enabled.load(std::memory_order_seq_cst)) ZVCrashThreadStacks::installOnCurrentThread();
    return start.start(start.argument);
}

CreateFunction realCreate() {
    static const CreateFunction function =
        reinterpret_cast<CreateFunction>(dlsym(RTLD_NEXT, "pthread_create"));
    return function;
}

// In the signal handler: the first free slot of the newest pool that has one. A slot whose stack
// cannot be installed stays taken and is freed with its thread like the others.
void takeFromPool(ucontext_t* context) {
    const int32_t self = static_cast<int32_t>(zvcrash_async_gettid());
    for (Pool* pool = g_pools.load(std::memory_order_acquire); pool != nullptr; pool = pool->next) {
        for (size_t i = 0; i < pool->count; ++i) {
            PoolSlot& slot = pool->slots[i];
            int32_t expected = kSlotFree;
            if (!slot.state.compare_exchange_strong(expected, kSlotTaken,
                                                    std::memory_order_acq_rel)) {
                continue;
            }
            slot.tid.store(self, std::memory_order_release);
            g_taken.fetch_add(1, std::memory_order_acq_rel);
            install(slot.area, context);
            return;
        }
    }
}

// Frees the taken slots whose thread is gone (tgkill with signal 0 answers ESRCH); the kernel
// runs a thread on its stacks no more once it has left the thread group. A reused thread id only
// keeps a slot a while longer. Ordinary time; one caller at a time, the others skip.
void reclaimPool() {
    if (g_taken.load(std::memory_order_acquire) == 0) return;
    std::unique_lock<std::mutex> lock(g_reclaimMutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    const int saved = errno;
    const pid_t pid = getpid();
    for (Pool* pool = g_pools.load(std::memory_order_acquire); pool != nullptr; pool = pool->next) {
        for (size_t i = 0; i < pool->count; ++i) {
            PoolSlot& slot = pool->slots[i];
            const int32_t tid = slot.tid.load(std::memory_order_acquire);
            if (slot.state.load(std::memory_order_acquire) != kSlotTaken || tid == 0) continue;
            if (syscall(SYS_tgkill, pid, tid, 0) == 0 || errno != ESRCH) continue;
            slot.state.store(kSlotFreed, std::memory_order_release);
            munmap(slot.area, kGuard + ZVCrashThreadStacks::kStackSize);
            g_taken.fetch_sub(1, std::memory_order_acq_rel);
        }
    }
    errno = saved;
}

std::vector<pid_t> otherThreads() {
    std::vector<pid_t> tids;
    const pid_t self = zvcrash_async_gettid();
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) return tids;
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long tid = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && tid > 0 && tid != self) {
            tids.push_back(static_cast<pid_t>(tid));
        }
    }
    closedir(dir);
    return tids;
}

// Waits until every thread the latest ask reached has answered, or `deadline` passed.
bool waitForAnswers(int64_t deadline) {
    for (int32_t seen; (seen = g_answers.load(std::memory_order_acquire)) <
                       g_asked.load(std::memory_order_acquire);) {
        if (zvcrash_async_monotonic_ns() >= deadline) return false;
        zvcrash_async_futex_wait_until(&g_answers, seen, deadline);
    }
    return true;
}

// The process-private barrier below must be registered before its first use. Registered in a
// process that has several threads, the kernel waits for a grace period (tens of milliseconds);
// with one thread it is immediate, so it is registered before the first thread is made (by
// pthread_create below), or else at the first use. False when the kernel offers no such barrier.
bool registerBarrier() {
    static const bool registered =
        syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
    return registered;
}

// Returns once every thread of the process that was running its own code has been interrupted
// into the kernel, which on its way back runs the pending stack request first. False when the
// kernel offers no such barrier.
bool interruptRunningThreads() {
    return registerBarrier() &&
           syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) == 0;
}

// Asks each running thread but the caller to take a stack, and returns once none of them can run
// its own code before its answer; without the kernel's barrier, once they have answered (at most
// kAnswerWaitNs).
void askRunningThreads(int captureSignal) {
    const std::vector<pid_t> tids = otherThreads();
    if (tids.empty()) return;
    // An earlier pool (from an earlier call) stays: a late answer may still take from it.
    auto* pool = new Pool{new PoolSlot[tids.size()], 0, g_pools.load(std::memory_order_acquire)};
    while (pool->count < tids.size() && (pool->slots[pool->count].area = makeStack()) != nullptr) {
        ++pool->count;
    }
    g_pools.store(pool, std::memory_order_release);
    g_asked.store(0, std::memory_order_release);
    g_answers.store(0, std::memory_order_release);
    const pid_t pid = getpid();
    int32_t sent = 0;
    for (const pid_t tid : tids) {
        siginfo_t info{};
        info.si_signo = captureSignal;
        info.si_code = SI_QUEUE;
        info.si_pid = pid;
        info.si_uid = getuid();
        info.si_value.sival_int = ZVCrashThreadStacks::kStackRequest;
        if (syscall(SYS_rt_tgsigqueueinfo, pid, tid, captureSignal, &info) == 0) ++sent;
    }
    g_asked.store(sent, std::memory_order_release);
    if (!interruptRunningThreads()) {
        waitForAnswers(zvcrash_async_monotonic_ns() + ZVCrashThreadStacks::kAnswerWaitNs);
    }
}

}  // namespace

size_t ZVCrashThreadStacks::poolStacksInUse() {
    return static_cast<size_t>(g_taken.load(std::memory_order_acquire));
}

void ZVCrashThreadStacks::reclaimEndedThreads() {
    reclaimPool();
}

void ZVCrashThreadStacks::enable(int captureSignal) {
    pthread_once(&g_keyOnce, makeKey);
    g_enabled.store(true, std::memory_order_seq_cst);
    if (captureSignal != 0) askRunningThreads(captureSignal);
}

bool ZVCrashThreadStacks::isEnabled() {
    return g_enabled.load();
}

int ZVCrashThreadStacks::awaitRunningThreads(long limitNs) {
    waitForAnswers(zvcrash_async_monotonic_ns() + limitNs);
    return std::max(
        0, g_asked.load(std::memory_order_acquire) - g_answers.load(std::memory_order_acquire));
}

bool ZVCrashThreadStacks::installOnCurrentThread() {
    if (hasStack()) return true;
    pthread_once(&g_keyOnce, makeKey);
    void* area = makeStack();
    if (area == nullptr) return false;
    if (!install(area)) {
        munmap(area, kGuard + kStackSize);
        return false;
    }
    pthread_setspecific(g_key, area);
    return true;
}

void ZVCrashThreadStacks::signalHandler(int signo, siginfo_t* info, void* context) {
    // The interrupted code may be between a failing call and its read of errno; both paths make
    // system calls of their own.
    const int saved = errno;
    if (info == nullptr || info->si_code != SI_QUEUE || info->si_value.sival_int != kStackRequest) {
        zvcrash_capture_signal_handler(signo, info, context);
        errno = saved;
        return;
    }
    if (!hasStack()) takeFromPool(static_cast<ucontext_t*>(context));
    g_answers.fetch_add(1, std::memory_order_acq_rel);
    zvcrash_async_futex_wake_all(&g_answers);
    errno = saved;
}

// Every thread made through pthread_create, in this executable or in any library it loads,
// starts in the trampoline. Transparent otherwise: same thread, attributes, result and exit.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                              void* (*start)(void*), void* argument) noexcept {
    const CreateFunction create = realCreate();
    if (create == nullptr) return EAGAIN;
    registerBarrier();
    reclaimPool();
    auto* record = static_cast<StartRecord*>(std::malloc(sizeof(StartRecord)));
    if (record == nullptr) return create(thread, attributes, start, argument);
    *record = StartRecord{start, argument};
    const int result = create(thread, attributes, trampoline, record);
    if (result != 0) std::free(record);
    return result;
}
