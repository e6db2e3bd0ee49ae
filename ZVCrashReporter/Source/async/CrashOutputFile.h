#pragma once

#include <cstddef>
#include <cstdint>

// A small buffered output to a file descriptor with an optional byte cap, used by the report
// writer at crash time. Every function here is safe in a signal handler (no allocation, no lock).
//
// Cap rule: a write that would take the accepted total past the cap is refused whole (false,
// nothing written, nothing counted). Callers that must not leave a partial field check
// crash_output_file_room() before they start one.

// Crash reports and live reports are capped at 256 KiB.
inline constexpr size_t ZVCRASH_REPORT_CAP = 0x40000;

struct crash_output_file {
    int fd;
    size_t cap;       // 0 = none
    size_t accepted;  // bytes accepted so far (buffered or written)
    size_t buffered;
    bool failed;  // an fd write failed; flush and close report it
    uint8_t buffer[256];
};

void crash_output_file_init(crash_output_file* out, int fd, size_t cap);
bool crash_output_file_write(crash_output_file* out, const void* bytes, size_t length);
// Bytes the cap still allows (SIZE_MAX without a cap).
size_t crash_output_file_room(const crash_output_file* out);
bool crash_output_file_flush(crash_output_file* out);
// Flushes, then closes the fd; true when both succeed.
bool crash_output_file_close(crash_output_file* out);
