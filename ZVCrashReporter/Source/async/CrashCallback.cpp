#include "ZVCrashReporter/Source/async/CrashCallback.h"

#include "ZVCrashReporter/Source/async/AsyncIO.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
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

// A new file under the target's temporary name, its folders made again when missing.
int open_new_report(const zvcrash_report_target* target) {
    if (target->directory == nullptr) return -1;
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    int fd = open(target->temp_path, flags, 0600);
    if (fd < 0 && errno == ENOENT) {
        make_folders(target->directory);
        fd = open(target->temp_path, flags, 0600);
    }
    return fd;
}

// The reserved file can take the report: it is still in its place and its folder takes writes
// (a folder made read-only since enable does not).
bool reserve_usable(const zvcrash_report_target* target) {
    if (target->directory == nullptr || target->reserve_fd < 0) return false;
    struct stat st {};
    if (fstat(target->reserve_fd, &st) != 0 || st.st_nlink == 0) return false;
    return syscall(SYS_faccessat, AT_FDCWD, target->directory, W_OK) == 0;
}

// An open file for the report at `target`: its reserved file rewound, else a new file.
struct report_file {
    int fd = -1;
    bool reserved = false;
};

report_file open_target(const zvcrash_report_target* target) {
    if (reserve_usable(target) && lseek(target->reserve_fd, 0, SEEK_SET) == 0) {
        return {target->reserve_fd, true};
    }
    return {open_new_report(target), false};
}

// Cuts a reserved file to the report's length, closes the file and renames it to the slot.
bool finish_report(const zvcrash_report_target* target, const report_file& file, size_t length) {
    bool ok = !file.reserved || syscall(SYS_ftruncate, file.fd, length) == 0;
    ok = close(file.fd) == 0 && ok;
    const char* written = file.reserved ? target->reserve_path : target->temp_path;
    if (ok && syscall(SYS_rename, written, target->report_path) == 0) return true;
    if (!file.reserved) syscall(SYS_unlink, target->temp_path);
    return false;
}

uint8_t g_copy_buffer[4096];

// Copies the first `length` bytes of `from` into a report at `target`.
bool copy_report(int from, size_t length, const zvcrash_report_target* target) {
    const report_file file = open_target(target);
    if (file.fd < 0) return false;
    bool ok = lseek(from, 0, SEEK_SET) == 0;
    for (size_t done = 0; ok && done < length;) {
        const size_t want =
            length - done < sizeof g_copy_buffer ? length - done : sizeof g_copy_buffer;
        const ssize_t got = read(from, g_copy_buffer, want);
        ok = got > 0 &&
             zvcrash_async_writen(file.fd, g_copy_buffer, static_cast<size_t>(got)) == got;
        if (ok) done += static_cast<size_t>(got);
    }
    if (!ok) {
        close(file.fd);
        if (!file.reserved) syscall(SYS_unlink, target->temp_path);
        return false;
    }
    return finish_report(target, file, length);
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
    // The reserved files first (they need no room on the disk), then new files.
    int chosen = -1;
    report_file file;
    for (int pass = 0; pass < 2 && chosen < 0; ++pass) {
        for (int i = 0; i < ZVCRASH_REPORT_TARGETS && chosen < 0; ++i) {
            const zvcrash_report_target* target = &context->targets[i];
            if (pass == 0 && !reserve_usable(target)) continue;
            if (pass == 1 && target->directory == nullptr) continue;
            file = open_target(target);
            if (file.fd >= 0) chosen = i;
        }
    }
    if (chosen < 0) return ZVCRASH_EINTERNAL;
    crash_output_file out;
    crash_output_file_init(&out, file.fd, ZVCRASH_REPORT_CAP);
    const zvcrash_error_t result =
        zvcrash_capture_write_report(&context->capture, &context->writer, current, 0, signal, &out);
    const zvcrash_report_target* target = &context->targets[chosen];
    if (result != ZVCRASH_ESUCCESS || !crash_output_file_flush(&out)) {
        close(file.fd);
        if (!file.reserved) syscall(SYS_unlink, target->temp_path);
        return result != ZVCRASH_ESUCCESS ? result : ZVCRASH_EINTERNAL;
    }
    const size_t length = out.accepted;
    if (file.reserved) {
        if (syscall(SYS_ftruncate, file.fd, length) == 0 &&
            syscall(SYS_rename, target->reserve_path, target->report_path) == 0) {
            close(file.fd);
            return ZVCRASH_ESUCCESS;
        }
    } else {
        if (close(file.fd) == 0 &&
            syscall(SYS_rename, target->temp_path, target->report_path) == 0) {
            return ZVCRASH_ESUCCESS;
        }
        // Read back from the temporary file for the copy below.
        file.fd = open(target->temp_path, O_RDONLY | O_CLOEXEC);
    }
    // The slot cannot be made there: the report goes to the next target that takes it.
    bool copied = false;
    for (int i = chosen + 1; i < ZVCRASH_REPORT_TARGETS && !copied && file.fd >= 0; ++i) {
        copied = copy_report(file.fd, length, &context->targets[i]);
    }
    if (!file.reserved) {
        if (file.fd >= 0) close(file.fd);
        syscall(SYS_unlink, target->temp_path);
    }
    return copied ? ZVCRASH_ESUCCESS : ZVCRASH_EINTERNAL;
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
