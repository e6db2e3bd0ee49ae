#include "ZVCrashReporter/Source/async/CrashOutputFile.h"

#include "ZVCrashReporter/Source/async/AsyncIO.h"

#include <cstdint>
#include <cstring>

#include <unistd.h>

void crash_output_file_init(crash_output_file* out, int fd, size_t cap) {
    out->fd = fd;
    out->cap = cap;
    out->accepted = 0;
    out->buffered = 0;
    out->failed = false;
}

size_t crash_output_file_room(const crash_output_file* out) {
    if (out->cap == 0) return SIZE_MAX;
    return out->accepted >= out->cap ? 0 : out->cap - out->accepted;
}

bool crash_output_file_flush(crash_output_file* out) {
    if (out->buffered > 0) {
        if (zvcrash_async_writen(out->fd, out->buffer, out->buffered) < 0) out->failed = true;
        out->buffered = 0;
    }
    return !out->failed;
}

bool crash_output_file_write(crash_output_file* out, const void* bytes, size_t length) {
    if (length > crash_output_file_room(out)) return false;
    out->accepted += length;
    if (length > sizeof(out->buffer) - out->buffered) crash_output_file_flush(out);
    if (length > sizeof(out->buffer)) {
        if (zvcrash_async_writen(out->fd, bytes, length) < 0) out->failed = true;
        return true;
    }
    memcpy(out->buffer + out->buffered, bytes, length);
    out->buffered += length;
    return true;
}

bool crash_output_file_close(crash_output_file* out) {
    const bool flushed = crash_output_file_flush(out);
    const bool closed = close(out->fd) == 0;
    out->fd = -1;
    return flushed && closed;
}
