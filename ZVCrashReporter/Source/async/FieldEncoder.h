#pragma once

#include "ZVCrashReporter/Source/async/CrashOutputFile.h"

#include <cstddef>
#include <cstdint>

// Hand encoder of Protocol Buffers fields for the crash report. Safe in a signal handler.

// Field value kinds; the numbers are those of the usual protobuf C runtime type list.
enum zvcrash_field_type : uint32_t {
    ZVCRASH_FIELD_INT32 = 0,
    ZVCRASH_FIELD_SINT32 = 1,
    ZVCRASH_FIELD_SFIXED32 = 2,
    ZVCRASH_FIELD_INT64 = 3,
    ZVCRASH_FIELD_SINT64 = 4,
    ZVCRASH_FIELD_SFIXED64 = 5,
    ZVCRASH_FIELD_UINT32 = 6,
    ZVCRASH_FIELD_FIXED32 = 7,
    ZVCRASH_FIELD_UINT64 = 8,
    ZVCRASH_FIELD_FIXED64 = 9,
    ZVCRASH_FIELD_FLOAT = 10,
    ZVCRASH_FIELD_DOUBLE = 11,
    ZVCRASH_FIELD_BOOL = 12,
    ZVCRASH_FIELD_ENUM = 13,
    ZVCRASH_FIELD_STRING = 14,   // value: const char* (NUL-terminated; length by strlen)
    ZVCRASH_FIELD_BYTES = 15,    // value: zvcrash_bytes
    ZVCRASH_FIELD_MESSAGE = 16,  // value: size_t, the precomputed content length
};

struct zvcrash_bytes {
    size_t length;
    const void* data;
};

// Encodes one field and hands it to out (when non-null); returns its encoded size. A string or
// bytes value is handed over as two writes (tag plus length, then the payload); a message only as
// tag plus length (the caller writes the content). value points to: int32_t (int32, sint32,
// sfixed32, enum), int64_t (int64, sint64, sfixed64), uint32_t (uint32, fixed32), uint64_t
// (uint64, fixed64), float, double, bool, a const char* (string), zvcrash_bytes, size_t (message).
// A type above 16 aborts the process. Output refusals (the cap) are not looked at here: callers
// decide before a field whether it fits.
size_t zvcrash_field_encode(crash_output_file* out, uint32_t field, uint32_t type,
                            const void* value);

// Little building blocks, exposed for tests: bytes written to buf (at least 10 bytes).
size_t zvcrash_encode_varint(uint8_t* buf, uint64_t value);
uint64_t zvcrash_zigzag64(int64_t value);
