#include "ZVCrashReporter/Source/async/AsyncMemory.h"

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

bool g_use_pipe = false;
int g_pipe[2] = {-1, -1};
constexpr uint64_t kPage = 4096;

uint16_t same16(uint16_t v) {
    return v;
}
uint32_t same32(uint32_t v) {
    return v;
}
uint64_t same64(uint64_t v) {
    return v;
}
uint16_t swap16(uint16_t v) {
    return __builtin_bswap16(v);
}
uint32_t swap32(uint32_t v) {
    return __builtin_bswap32(v);
}
uint64_t swap64(uint64_t v) {
    return __builtin_bswap64(v);
}

constexpr zvcrash_async_byteorder kDirect = {same16, same32, same64};
constexpr zvcrash_async_byteorder kSwapped = {swap16, swap32, swap64};

// After a fault: 8 when some page of the range is not mapped, else 7 (mapped, not readable).
zvcrash_error_t classify_fault(uint64_t address, size_t length) {
    const uint64_t end = address + length;
    for (uint64_t page = address & ~(kPage - 1); page < end; page += kPage) {
        if (msync(reinterpret_cast<void*>(page), kPage, MS_ASYNC) != 0 && errno == ENOMEM) {
            return ZVCRASH_ENOTFOUND;
        }
        if (page + kPage < page) break;
    }
    return ZVCRASH_EACCESS;
}

zvcrash_error_t read_with_syscall(uint64_t address, void* dest, size_t length) {
    struct iovec local = {dest, length};
    struct iovec remote = {reinterpret_cast<void*>(address), length};
    const ssize_t n = process_vm_readv(zvcrash_async_task_self(), &local, 1, &remote, 1, 0);
    if (n == static_cast<ssize_t>(length)) return ZVCRASH_ESUCCESS;
    if (n >= 0 || errno == EFAULT) return classify_fault(address, length);
    return ZVCRASH_EUNKNOWN;
}

// The kernel copies from our memory into the pipe and reports EFAULT instead of faulting.
zvcrash_error_t read_with_pipe(uint64_t address, void* dest, size_t length) {
    uint8_t* out = static_cast<uint8_t*>(dest);
    size_t done = 0;
    while (done < length) {
        const size_t chunk = length - done < kPage ? length - done : kPage;
        const ssize_t w = write(g_pipe[1], reinterpret_cast<const void*>(address + done), chunk);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EFAULT) return classify_fault(address + done, chunk);
        if (w <= 0) return ZVCRASH_EUNKNOWN;
        size_t got = 0;
        while (got < static_cast<size_t>(w)) {
            const ssize_t r = read(g_pipe[0], out + done + got, static_cast<size_t>(w) - got);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return ZVCRASH_EUNKNOWN;
            got += static_cast<size_t>(r);
        }
        if (static_cast<size_t>(w) != chunk) return classify_fault(address + done + got, 1);
        done += chunk;
    }
    return ZVCRASH_ESUCCESS;
}

}  // namespace

// Asked every time: a forked child must read its own memory, not its parent's.
zvcrash_task_t zvcrash_async_task_self() {
    return getpid();
}

zvcrash_error_t zvcrash_async_memory_setup() {
    uint64_t probe = 0x5A;
    uint64_t copy = 0;
    struct iovec local = {&copy, sizeof copy};
    struct iovec remote = {&probe, sizeof probe};
    const bool syscall_works = process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == sizeof copy;
    if (syscall_works && !g_use_pipe) return ZVCRASH_ESUCCESS;
    if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return ZVCRASH_EINTERNAL;
    g_use_pipe = true;
    return ZVCRASH_ESUCCESS;
}

void zvcrash_async_memory_force_pipe(bool use_pipe) {
    g_use_pipe = use_pipe;
    if (use_pipe) zvcrash_async_memory_setup();
}

const zvcrash_async_byteorder* zvcrash_async_byteorder_direct() {
    return &kDirect;
}
const zvcrash_async_byteorder* zvcrash_async_byteorder_swapped() {
    return &kSwapped;
}

bool zvcrash_async_address_apply_offset(uint64_t base, int64_t offset, uint64_t* out) {
    if (offset > 0 && static_cast<uint64_t>(offset) > UINT64_MAX - base) return false;
    if (offset < 0 && 0 - static_cast<uint64_t>(offset) > base) return false;
    if (out != nullptr) *out = base + static_cast<uint64_t>(offset);
    return true;
}

pid_t zvcrash_async_current_thread() {
    return zvcrash_async_gettid();
}

zvcrash_error_t zvcrash_async_task_memcpy(zvcrash_task_t, uint64_t base, int64_t offset, void* dest,
                                          size_t length) {
    uint64_t address = 0;
    if (!zvcrash_async_address_apply_offset(base, offset, &address)) return ZVCRASH_ENOMEM;
    if (length == 0) return ZVCRASH_ESUCCESS;
    if (length - 1 > UINT64_MAX - address) return ZVCRASH_ENOMEM;
    return g_use_pipe ? read_with_pipe(address, dest, length)
                      : read_with_syscall(address, dest, length);
}

zvcrash_error_t zvcrash_async_task_read_uint8(zvcrash_task_t task, uint64_t base, int64_t offset,
                                              uint8_t* out) {
    return zvcrash_async_task_memcpy(task, base, offset, out, 1);
}

zvcrash_error_t zvcrash_async_task_read_uint16(zvcrash_task_t task,
                                               const zvcrash_async_byteorder* order, uint64_t base,
                                               int64_t offset, uint16_t* out) {
    const zvcrash_error_t err = zvcrash_async_task_memcpy(task, base, offset, out, sizeof *out);
    *out = order->swap16(*out);
    return err;
}

zvcrash_error_t zvcrash_async_task_read_uint32(zvcrash_task_t task,
                                               const zvcrash_async_byteorder* order, uint64_t base,
                                               int64_t offset, uint32_t* out) {
    const zvcrash_error_t err = zvcrash_async_task_memcpy(task, base, offset, out, sizeof *out);
    *out = order->swap32(*out);
    return err;
}

zvcrash_error_t zvcrash_async_task_read_uint64(zvcrash_task_t task,
                                               const zvcrash_async_byteorder* order, uint64_t base,
                                               int64_t offset, uint64_t* out) {
    const zvcrash_error_t err = zvcrash_async_task_memcpy(task, base, offset, out, sizeof *out);
    *out = order->swap64(*out);
    return err;
}

int zvcrash_async_strcmp(const char* a, const char* b) {
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    while (*x != 0 && *x == *y) {
        ++x;
        ++y;
    }
    return static_cast<int>(*x) - static_cast<int>(*y);
}

int zvcrash_async_strncmp(const char* a, const char* b, size_t n) {
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    for (size_t i = 0; i < n; ++i) {
        if (x[i] != y[i] || x[i] == 0) return static_cast<int>(x[i]) - static_cast<int>(y[i]);
    }
    return 0;
}

void zvcrash_async_memcpy(void* dest, const void* source, size_t length) {
    auto* d = static_cast<volatile uint8_t*>(dest);
    const auto* s = static_cast<const uint8_t*>(source);
    for (size_t i = 0; i < length; ++i) d[i] = s[i];
}

void* zvcrash_async_memset(void* buffer, uint8_t value, size_t length) {
    auto* b = static_cast<volatile uint8_t*>(buffer);
    for (size_t i = 0; i < length; ++i) b[i] = value;
    return buffer;
}

pid_t zvcrash_async_gettid() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

int64_t zvcrash_async_monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void zvcrash_async_futex_wait_until(std::atomic<int32_t>* word, int32_t value, int64_t deadline) {
    const int64_t left = deadline - zvcrash_async_monotonic_ns();
    if (left <= 0) return;
    timespec timeout{static_cast<time_t>(left / 1'000'000'000),
                     static_cast<long>(left % 1'000'000'000)};
    syscall(SYS_futex, reinterpret_cast<int32_t*>(word), FUTEX_WAIT_PRIVATE, value, &timeout,
            nullptr, 0);
}

void zvcrash_async_futex_wake_all(std::atomic<int32_t>* word) {
    syscall(SYS_futex, reinterpret_cast<int32_t*>(word), FUTEX_WAKE_PRIVATE, 0x7fffffff, nullptr,
            nullptr, 0);
}
