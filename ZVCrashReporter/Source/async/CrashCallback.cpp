#include "ZVCrashReporter/Source/async/CrashCallback.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<int32_t> g_crashing_tid{0};

void restore_default_actions() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signo : ZVCRASH_CRASH_SIGNALS) sigaction(signo, &action, nullptr);
}

void wait_for_process_end() {
    timespec step{0, 10'000'000};
    for (int64_t waited = 0; waited < ZVCRASH_SECOND_CRASH_WAIT_NS; waited += step.tv_nsec) {
        syscall(SYS_nanosleep, &step, nullptr);
    }
}

// Makes every missing level of `path` (0700), with system calls only. Paths longer than the
// buffer are left as they are: the open after this fails then as it would have.
char g_folder_buffer[4096];

void make_folders(const char* path) {
    if (path == nullptr) return;
    const size_t length = strlen(path);
    if (length == 0 || length >= sizeof g_folder_buffer) return;
    memcpy(g_folder_buffer, path, length + 1);
    for (size_t i = 1; i <= length; ++i) {
        if (g_folder_buffer[i] != '/' && g_folder_buffer[i] != '\0') continue;
        const char kept = g_folder_buffer[i];
        g_folder_buffer[i] = '\0';
        syscall(SYS_mkdirat, AT_FDCWD, g_folder_buffer, 0700);
        g_folder_buffer[i] = kept;
    }
}

int open_report(const zvcrash_crash_context* context) {
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    int fd = open(context->temp_path, flags, 0600);
    if (fd < 0 && errno == ENOENT) {
        make_folders(context->report_directory);
        fd = open(context->temp_path, flags, 0600);
    }
    return fd;
}

}  // namespace

uint64_t zvcrash_signal_fault_address(const siginfo_t* info) {
    // A code above 0 comes from the kernel (a fault, or SI_KERNEL with the address zeroed); a
    // signal sent by a process (SI_USER, SI_TKILL, SI_QUEUE ...) holds the sender's pid and uid
    // where a fault holds its address.
    if (info == nullptr || info->si_code <= 0) return 0;
    return reinterpret_cast<uint64_t>(info->si_addr);
}

zvcrash_error_t write_crash_report_file(zvcrash_crash_context* context,
                                        const zvcrash_async_thread_state* current,
                                        const zvcrash_signal_record* signal) {
    const int fd = open_report(context);
    if (fd < 0) return ZVCRASH_EINTERNAL;
    crash_output_file out;
    crash_output_file_init(&out, fd, ZVCRASH_REPORT_CAP);
    const zvcrash_error_t result =
        zvcrash_capture_write_report(&context->capture, &context->writer, current, 0, signal, &out);
    const bool closed = crash_output_file_close(&out);
    if (result != ZVCRASH_ESUCCESS || !closed ||
        syscall(SYS_rename, context->temp_path, context->report_path) != 0) {
        syscall(SYS_unlink, context->temp_path);
        return result != ZVCRASH_ESUCCESS ? result : ZVCRASH_EINTERNAL;
    }
    return ZVCRASH_ESUCCESS;
}

bool signal_crash_callback(int signo, siginfo_t* info, ucontext_t* context, void* crash_context,
                           const crash_signal_next*) {
    const int32_t self = static_cast<int32_t>(syscall(SYS_gettid));
    int32_t expected = 0;
    if (!g_crashing_tid.compare_exchange_strong(expected, self, std::memory_order_acq_rel)) {
        if (expected != self) wait_for_process_end();
        restore_default_actions();
        return false;
    }
    zvcrash_crash_context* crash = static_cast<zvcrash_crash_context*>(crash_context);
    zvcrash_async_thread_state state;
    thread_state_init_from_mcontext(&state, context);
    const zvcrash_signal_record record{signo, info != nullptr ? info->si_code : 0,
                                       zvcrash_signal_fault_address(info)};
    const zvcrash_error_t result = write_crash_report_file(crash, &state, &record);
    const zvcrash_user_handler handler = crash->handler.load(std::memory_order_acquire);
    if (result == ZVCRASH_ESUCCESS && handler != nullptr) {
        handler(info, context, crash->handler_context.load(std::memory_order_acquire));
    }
    zvcrash_capture_release_threads();
    restore_default_actions();
    return false;
}
