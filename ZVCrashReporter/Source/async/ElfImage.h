#pragma once

#include "ZVCrashReporter/Source/async/AsyncMemory.h"

#include <cstddef>
#include <cstdint>

// Crash-time reader of a loaded ELF image (x86-64). Every structure is reached through checked
// reads of our own memory, so a damaged image gives an error code, never a fault. Safe in a
// signal handler: no allocation, no lock; the record lives in caller-provided storage.

inline constexpr size_t ZVCRASH_PATH_MAX = 512;
inline constexpr size_t ZVCRASH_BUILD_ID_MAX = 64;
inline constexpr uint32_t ZVCRASH_MAX_PHDRS = 256;
inline constexpr uint64_t ZVCRASH_MAX_DYNAMIC = 4096;
inline constexpr uint64_t ZVCRASH_MAX_DYNSYM = 1u << 20;
// Steps of the last GNU hash chain walked to count .dynsym; a longer chain is taken as damage.
inline constexpr uint64_t ZVCRASH_MAX_HASH_CHAIN = 1u << 16;

// A table of sized symbols read at enable (the executable's .symtab), sorted by address.
struct zvcrash_static_symbol {
    uint64_t address;  // run-time address
    uint64_t size;
    uint32_t name_offset;
};
struct zvcrash_static_symbols {
    const zvcrash_static_symbol* entries;
    size_t count;
    const char* names;
    size_t names_size;
};

struct elf_image {
    zvcrash_task_t task;
    uint64_t bias;                  // load bias: run-time address - link-time address
    uint64_t header_address;        // the first PT_LOAD segment's address
    uint64_t start, end;            // span of the PT_LOAD segments
    uint64_t code_start, code_end;  // span of the executable PT_LOAD segments; empty when none
    char path[ZVCRASH_PATH_MAX];
    uint8_t build_id[ZVCRASH_BUILD_ID_MAX];  // NT_GNU_BUILD_ID; length 0 when there is none
    size_t build_id_length;
    uint64_t eh_frame_hdr, eh_frame_hdr_size;  // 0 when there is none
    uint64_t eh_frame, eh_frame_end;           // end: the end of its PT_LOAD segment
    uint64_t dynsym, dynstr, dynstr_size, dynsym_count;
    const zvcrash_static_symbols* static_symbols;  // set at enable for the executable
};

// Opens the image from its program headers (as dl_iterate_phdr gives them). path may be null.
zvcrash_error_t elf_image_open(elf_image* image, zvcrash_task_t task, const char* path,
                               uint64_t bias, uint64_t phdr_address, uint32_t phnum);
// Opens the image whose ELF header lies at the load bias (a shared object from the link map).
zvcrash_error_t elf_image_open_at(elf_image* image, zvcrash_task_t task, const char* path,
                                  uint64_t bias);
bool elf_image_contains_address(const elf_image* image, uint64_t address);
// Whether address lies in the span of the image's executable segments.
bool elf_image_contains_code_address(const elf_image* image, uint64_t address);

// Called once with the best symbol's address and name (NUL-terminated, valid during the call).
using symbol_found_callback = void (*)(uint64_t address, const char* name, void* context);

// How far above a symbol of size 0 an address may lie and still be named after it.
inline constexpr uint64_t ZVCRASH_ZERO_SIZE_SYMBOL_REACH = 4096;

// The symbol that covers address: a sized symbol names only [value, value + size); a symbol of
// size 0 (an assembly label, a stripped size) names the address only when no sized one covers
// it, no other symbol starts between the two, and the address lies at most
// ZVCRASH_ZERO_SIZE_SYMBOL_REACH bytes above it. Searches the static table, then .dynsym. 8 when
// none qualifies (the frame keeps the image + offset form); 5 for a name without NUL in .dynstr.
zvcrash_error_t elf_image_find_symbol_by_address(const elf_image* image, uint64_t address,
                                                 symbol_found_callback callback, void* context);
