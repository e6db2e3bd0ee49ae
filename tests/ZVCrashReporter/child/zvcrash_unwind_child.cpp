// Child helper of the unwinding test: calls abort() through the test library's noreturn function
// and, in its SIGABRT handler, walks the stack from the signal's context. It prints the walk and
// glibc's backtrace() (the oracle) as two lines of hexadecimal addresses, then exits.
#include "../UnwindSupport.h"
#include "../zvtest/zvtest_library.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <execinfo.h>
#include <unistd.h>

int main();

namespace {

UnwindImages g_images;

void onAbort(int, siginfo_t*, void* context) {
    zvcrash_async_thread_state state;
    thread_state_init_from_mcontext(&state, static_cast<ucontext_t*>(context));
    uint64_t pcs[64];
    const size_t n = walkStack(&g_images.set, &state, pcs, 64);
    void* oracle[64];
    const int m = backtrace(oracle, 64);
    std::printf("walk");
    for (size_t i = 0; i < n; ++i) std::printf(" %llx", static_cast<unsigned long long>(pcs[i]));
    std::printf("\nbacktrace");
    for (int i = 0; i < m; ++i) std::printf(" %llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(oracle[i])));
    std::printf("\nmain %llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&main)));
    std::fflush(stdout);
    _exit(0);
}

int beforeAbort(void*) { return 0; }

}  // namespace

int main() {
    g_images.collect();
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
