#pragma once

#include "ZVCrashReporter/Source/async/ElfImage.h"

#include <cstdint>

// Crash-time naming of a code address. Safe in a signal handler.

// Symbolication strategy bits.
inline constexpr uint32_t ZVCRASH_SYMBOLICATE_SYMBOL_TABLE = 1;
// Object-runtime metadata: no such thing here, so the source always counts as failed.
inline constexpr uint32_t ZVCRASH_SYMBOLICATE_OBJC = 2;

using symbol_lookup_callback = void (*)(uint64_t address, const char* name, void* context);

// Calls callback once with the symbol's start and its name (at most 255 characters) and returns
// 0; 8 when every selected source failed (strategy 0 reads nothing).
zvcrash_error_t find_symbol_for_address(const elf_image* image, uint32_t strategy, uint64_t address,
                                        symbol_lookup_callback callback, void* context);
