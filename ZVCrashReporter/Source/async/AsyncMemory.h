#pragma once

#include "ZVCrashReporter/Source/async/AsyncError.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

#include <sys/types.h>

// The crash-time toolbox: reads of possibly invalid memory of our own process that fail with a
// code instead of faulting, byte-order tables, overflow-checked address arithmetic, byte-wise
// string and memory routines and thin system-call wrappers. Everything here is safe in a signal
// handler (no allocation, no lock) except zvcrash_async_memory_setup, which runs at enable.

// The process whose memory is read: always our own.
using zvcrash_task_t = pid_t;
zvcrash_task_t zvcrash_async_task_self();

// At enable: checks that process_vm_readv is allowed; when a seccomp
// filter refuses it, later reads go through write() into a pipe made here. Not signal-safe.
// Returns 0, or ZVCRASH_EINTERNAL when neither way works.
zvcrash_error_t zvcrash_async_memory_setup();
// Tests: forces the pipe path (true) or the process_vm_readv path (false).
void zvcrash_async_memory_force_pipe(bool use_pipe);

struct zvcrash_async_byteorder {
    uint16_t (*swap16)(uint16_t);
    uint32_t (*swap32)(uint32_t);
    uint64_t (*swap64)(uint64_t);
};
const zvcrash_async_byteorder* zvcrash_async_byteorder_direct();
const zvcrash_async_byteorder* zvcrash_async_byteorder_swapped();

// False when base + offset passes the top of the 64-bit range or goes below zero.
bool zvcrash_async_address_apply_offset(uint64_t base, int64_t offset, uint64_t* out);

// The calling thread's id (gettid).
pid_t zvcrash_async_current_thread();

// Copies length bytes at base + offset. 3 when the address over- or underflows, 8 when a page is
// not mapped, 7 when it is mapped but not readable; a short read fails whole.
zvcrash_error_t zvcrash_async_task_memcpy(zvcrash_task_t task, uint64_t base, int64_t offset,
                                          void* dest, size_t length);
zvcrash_error_t zvcrash_async_task_read_uint8(zvcrash_task_t task, uint64_t base, int64_t offset,
                                              uint8_t* out);
zvcrash_error_t zvcrash_async_task_read_uint16(zvcrash_task_t task,
                                               const zvcrash_async_byteorder* order, uint64_t base,
                                               int64_t offset, uint16_t* out);
zvcrash_error_t zvcrash_async_task_read_uint32(zvcrash_task_t task,
                                               const zvcrash_async_byteorder* order, uint64_t base,
                                               int64_t offset, uint32_t* out);
zvcrash_error_t zvcrash_async_task_read_uint64(zvcrash_task_t task,
                                               const zvcrash_async_byteorder* order, uint64_t base,
                                               int64_t offset, uint64_t* out);

int zvcrash_async_strcmp(const char* a, const char* b);
int zvcrash_async_strncmp(const char* a, const char* b, size_t n);
void zvcrash_async_memcpy(void* dest, const void* source, size_t length);
void* zvcrash_async_memset(void* buffer, uint8_t value, size_t length);

// A system call without a glibc wrapper that is known to be signal-safe.
pid_t zvcrash_async_gettid();

// The monotonic clock in nanoseconds.
int64_t zvcrash_async_monotonic_ns();
// Waits while *word == value, at most until `deadline` (monotonic ns); returns at once when the
// deadline has passed.
void zvcrash_async_futex_wait_until(std::atomic<int32_t>* word, int32_t value, int64_t deadline);
// Wakes every thread waiting on `word`.
void zvcrash_async_futex_wake_all(std::atomic<int32_t>* word);
