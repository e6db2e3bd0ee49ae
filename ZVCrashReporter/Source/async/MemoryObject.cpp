#include "ZVCrashReporter/Source/async/MemoryObject.h"

namespace {

constexpr uint64_t kPage = 4096;

template <typename T>
zvcrash_error_t read_value(const zvcrash_async_mobject* w, uint64_t task_address, int64_t offset,
                           T* out) {
    const void* p = mobject_remap_address(w, task_address, offset, sizeof(T));
    if (p == nullptr) return ZVCRASH_EINVAL;
    zvcrash_async_memcpy(out, p, sizeof(T));
    return ZVCRASH_ESUCCESS;
}

}  // namespace

zvcrash_error_t mobject_init(zvcrash_async_mobject* window, zvcrash_task_t task,
                             uint64_t task_address, uint64_t length, bool require_full) {
    if (length == 0 || length - 1 > UINT64_MAX - task_address) return ZVCRASH_ENOMEM;
    const uint64_t end = task_address + (length - 1);  // last byte
    uint64_t readable_end = task_address;              // first byte not known readable
    for (uint64_t page = task_address & ~(kPage - 1);; page += kPage) {
        uint8_t probe = 0;
        const uint64_t at = page < task_address ? task_address : page;
        if (zvcrash_async_task_memcpy(task, at, 0, &probe, 1) != ZVCRASH_ESUCCESS) break;
        readable_end = page + kPage;
        if (page + kPage - 1 >= end) {
            readable_end = end + 1 == 0 ? UINT64_MAX : end + 1;
            break;
        }
    }
    const uint64_t readable = readable_end - task_address;
    if (readable == 0 || (require_full && readable < length)) return ZVCRASH_ENOMEM;
    window->task = task;
    window->address = task_address;
    window->task_address = task_address;
    window->length = readable < length ? readable : length;
    window->slide = 0;
    return ZVCRASH_ESUCCESS;
}

void mobject_free(zvcrash_async_mobject* window) {
    window->length = 0;
}

bool mobject_verify_local_pointer(const zvcrash_async_mobject* w, uint64_t local_pointer,
                                  int64_t offset, uint64_t length) {
    uint64_t start = 0;
    if (!zvcrash_async_address_apply_offset(local_pointer, offset, &start)) return false;
    if (start < w->address) return false;
    const uint64_t into = start - w->address;
    return into <= w->length && length <= w->length - into;
}

const void* mobject_remap_address(const zvcrash_async_mobject* w, uint64_t task_address,
                                  int64_t offset, uint64_t length) {
    uint64_t local = 0;
    if (!zvcrash_async_address_apply_offset(task_address, -w->slide, &local)) return nullptr;
    if (!mobject_verify_local_pointer(w, local, offset, length)) return nullptr;
    return reinterpret_cast<const void*>(local + static_cast<uint64_t>(offset));
}

zvcrash_error_t mobject_read_uint8(const zvcrash_async_mobject* w, uint64_t task_address,
                                   int64_t offset, uint8_t* out) {
    return read_value(w, task_address, offset, out);
}

zvcrash_error_t mobject_read_uint16(const zvcrash_async_mobject* w,
                                    const zvcrash_async_byteorder* order, uint64_t task_address,
                                    int64_t offset, uint16_t* out) {
    const zvcrash_error_t err = read_value(w, task_address, offset, out);
    if (err == ZVCRASH_ESUCCESS) *out = order->swap16(*out);
    return err;
}

zvcrash_error_t mobject_read_uint32(const zvcrash_async_mobject* w,
                                    const zvcrash_async_byteorder* order, uint64_t task_address,
                                    int64_t offset, uint32_t* out) {
    const zvcrash_error_t err = read_value(w, task_address, offset, out);
    if (err == ZVCRASH_ESUCCESS) *out = order->swap32(*out);
    return err;
}

zvcrash_error_t mobject_read_uint64(const zvcrash_async_mobject* w,
                                    const zvcrash_async_byteorder* order, uint64_t task_address,
                                    int64_t offset, uint64_t* out) {
    const zvcrash_error_t err = read_value(w, task_address, offset, out);
    if (err == ZVCRASH_ESUCCESS) *out = order->swap64(*out);
    return err;
}
