#pragma once

#include "ZVCrashReporter/Source/async/AsyncMemory.h"

#include <cstddef>
#include <cstdint>

// A checked window on a range of our own memory. Its pages are checked readable when the window
// is made; every later access is bounds-checked against it, so a reader of a damaged structure
// gets an error code instead of a fault. The window maps nothing: local and task addresses are
// the same. Safe in a signal handler; valid while the memory stays mapped (at crash time the
// other threads are stopped).
struct zvcrash_async_mobject {
    zvcrash_task_t task;
    uint64_t address;       // local address of the first requested byte
    uint64_t task_address;  // the address asked for
    uint64_t length;        // usable length: the request, cut to the readable prefix
    int64_t slide;          // task address - local address (0 here)
};

// 3 for length 0 or when nothing (require_full: not everything) is readable; 3 when the range
// wraps the address space.
zvcrash_error_t mobject_init(zvcrash_async_mobject* window, zvcrash_task_t task,
                             uint64_t task_address, uint64_t length, bool require_full);
void mobject_free(zvcrash_async_mobject* window);

inline zvcrash_task_t mobject_task(const zvcrash_async_mobject* w) {
    return w->task;
}
inline uint64_t mobject_task_address(const zvcrash_async_mobject* w) {
    return w->task_address;
}
inline uint64_t mobject_length(const zvcrash_async_mobject* w) {
    return w->length;
}

// True when [pointer + offset, + length) lies inside the window without overflow.
bool mobject_verify_local_pointer(const zvcrash_async_mobject* window, uint64_t local_pointer,
                                  int64_t offset, uint64_t length);
// Local pointer for the task range, or null when it is not wholly inside the window.
const void* mobject_remap_address(const zvcrash_async_mobject* window, uint64_t task_address,
                                  int64_t offset, uint64_t length);

// 0 and the value through the byte order, or 5 when the bytes are not wholly inside.
zvcrash_error_t mobject_read_uint8(const zvcrash_async_mobject* w, uint64_t task_address,
                                   int64_t offset, uint8_t* out);
zvcrash_error_t mobject_read_uint16(const zvcrash_async_mobject* w,
                                    const zvcrash_async_byteorder* order, uint64_t task_address,
                                    int64_t offset, uint16_t* out);
zvcrash_error_t mobject_read_uint32(const zvcrash_async_mobject* w,
                                    const zvcrash_async_byteorder* order, uint64_t task_address,
                                    int64_t offset, uint32_t* out);
zvcrash_error_t mobject_read_uint64(const zvcrash_async_mobject* w,
                                    const zvcrash_async_byteorder* order, uint64_t task_address,
                                    int64_t offset, uint64_t* out);
