#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// The crash-safe log buffer as the crash-time code sees it: 60 slots, each an atomic pointer to
// an immutable block. Ordinary-time code (ZVTZeroduvLogBuffer) builds a new block for every
// change and swaps it in; a replaced block is retired, never freed while a crash may read it.
// A null slot has not been set up.
struct ZVTZeroduvBufferBlock {
    const char* bufferPath;  // NUL-terminated, never null
    const char* tokenPath;   // NUL-terminated, never null
    const uint8_t* logBytes;
    size_t logLength;  // 0: a free slot
    const char* token;
    size_t tokenLength;  // 0: no target token
    const char* internalId;
    size_t internalIdLength;
    double timestamp;  // seconds since 1970 when filled; 0 when free
};

inline constexpr size_t ZVTZeroduvLogBufferSize = 60;

extern std::atomic<const ZVTZeroduvBufferBlock*> zvtCrashLogBuffer[ZVTZeroduvLogBufferSize];
// Set by the crash-time flush; never reset.
extern std::atomic<bool> zvtLogBufferFlushed;

// Safe in a signal handler: sets the flushed flag, then writes each set-up slot's log bytes to
// its buffer file and its token to its token file (a slot without one only empties an existing
// token file), with open, write and close only. Files that cannot be opened are skipped.
void zvtFlushLogBufferToFiles() noexcept;
