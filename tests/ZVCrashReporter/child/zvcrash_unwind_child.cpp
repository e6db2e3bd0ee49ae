// Child helper of the unwinding test: calls abort() through the test library's noreturn function
// and, in its SIGABRT handler, walks the stack from the signal's context. It prints the walk and
// glibc's backtrace() (the oracle) as two lines of hexadecimal addresses, then exits.
#include "tests/ZVCrashReporter/UnwindSupport.h"
#include "tests/ZVCrashReporter/zvtest/zvtest_library.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <execinfo.h>
#include <unistd.h>

int main();

namespace {

UnwindImages g_images;

// Appends to the output with no allocation: snprintf of integers into a fixed buffer.
struct Output {
    char text[4096];
    size_t used = 0;
    void add(const char* format, unsigned long long value) {
        const int n = std::snprintf(text + used, sizeof text - used, format, value);
        if (n > 0) used = std::min(sizeof text - 1, used + static_cast<size_t>(n));
    }
    void addWords(const char* words) {
        for (; *words != '\0' && used + 1 < sizeof text; ++words) text[used++] = *words;
    }
};

// Only what is safe in a signal handler: backtrace() was called once before, so its unwinder is
// loaded already and it does not allocate here.
void onAbort(int, siginfo_t*, void* context) {
    zvcrash_async_thread_state state;
    thread_state_init_from_mcontext(&state, static_cast<ucontext_t*>(context));
    uint64_t pcs[64];
    const size_t n = walkStack(&g_images.set, &state, pcs, 64);
    void* oracle[64];
    const int m = backtrace(oracle, 64);
    static Output out;
    out.addWords("walk");
    for (size_t i = 0; i < n; ++i) out.add(" %llx", static_cast<unsigned long long>(pcs[i]));
    out.addWords("\nbacktrace");
    for (int i = 0; i < m; ++i)
        out.add(" %llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(oracle[i])));
    out.add("\nmain %llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&main)));
    for (size_t done = 0; done < out.used;) {
        const ssize_t w = write(STDOUT_FILENO, out.text + done, out.used - done);
        if (w <= 0) break;
        done += static_cast<size_t>(w);
    }
    _exit(0);
}

int beforeAbort(void*) {
    return 0;
}

}  // namespace

int main() {
    g_images.collect();
    void* warm[4];
    backtrace(warm, 4);
    static char altStack[1 << 16];
    stack_t ss{};
    ss.ss_sp = altStack;
    ss.ss_size = sizeof altStack;
    sigaltstack(&ss, nullptr);
    struct sigaction action {};
    action.sa_sigaction = onAbort;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigaction(SIGABRT, &action, nullptr);
    zvtest_noreturn_call(beforeAbort, nullptr);
}
