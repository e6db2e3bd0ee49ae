#pragma once

#include "ZVCrashReporter/Source/async/MemoryObject.h"

#include <cstddef>
#include <cstdint>

// Reader of DWARF call-frame information in .eh_frame (x86-64): LEB128 and encoded pointers,
// CIE and FDE records, and the search for the FDE that covers an address. Every byte is read
// through a checked window; malformed data gives a zvcrash_error_t. Safe in a signal handler.

// A bounded reading position inside a window.
struct dwarf_stream {
    const zvcrash_async_mobject* window;
    uint64_t position;  // task address of the next byte
    uint64_t end;       // task address just past the last byte the stream may read
};

zvcrash_error_t dwarf_stream_u8(dwarf_stream* s, uint8_t* out);
zvcrash_error_t dwarf_stream_uint(dwarf_stream* s, size_t size, uint64_t* out);
// At most 10 bytes; a continuation bit still set after them is 4.
zvcrash_error_t dwarf_stream_uleb128(dwarf_stream* s, uint64_t* out);
zvcrash_error_t dwarf_stream_sleb128(dwarf_stream* s, int64_t* out);

// Same reads at (address + offset) of a window; size: bytes consumed.
zvcrash_error_t dwarf_read_uleb128(const zvcrash_async_mobject* w, uint64_t address, int64_t offset,
                                   uint64_t* out, size_t* size);
zvcrash_error_t dwarf_read_sleb128(const zvcrash_async_mobject* w, uint64_t address, int64_t offset,
                                   int64_t* out, size_t* size);

// DW_EH_PE pointer encodings. Bases: data (for .eh_frame_hdr's table); text, function and the
// aligned form are not set by the frame reader, so they give 4.
struct gnu_ehptr_reader {
    bool has_data_base;
    uint64_t data_base;
};
zvcrash_error_t gnu_ehptr_read(const gnu_ehptr_reader* reader, dwarf_stream* s, uint8_t encoding,
                               uint64_t* out);

struct zvcrash_async_dwarf_cie_info {
    uint64_t cie_offset;  // task address of the CIE's data (after its length)
    uint64_t length;
    uint64_t cie_id;
    uint8_t version;
    uint8_t address_size, segment_size;
    uint64_t code_alignment_factor;
    int64_t data_alignment_factor;
    uint64_t return_address_register;
    bool has_augmentation_data;
    bool has_lsda_encoding;
    uint8_t lsda_encoding;
    bool has_personality;
    uint64_t personality;
    bool has_pointer_encoding;
    uint8_t pointer_encoding;
    bool signal_frame;
    uint64_t initial_instructions, initial_instructions_length;  // task address, length
};

struct zvcrash_async_dwarf_fde_info {
    uint64_t fde_offset;  // task address of the FDE's data (after its length)
    uint64_t length;
    uint64_t cie_address;
    uint64_t pc_start, pc_end;
    uint64_t instructions, instructions_length;
};

// Parses the CIE whose length field lies at address.
zvcrash_error_t zvcrash_async_dwarf_cie_info_init(zvcrash_async_dwarf_cie_info* info,
                                                  const zvcrash_async_mobject* window,
                                                  uint64_t address);
// Parses the FDE whose length field lies at address, and its CIE.
zvcrash_error_t zvcrash_async_dwarf_fde_info_init(zvcrash_async_dwarf_fde_info* info,
                                                  zvcrash_async_dwarf_cie_info* cie,
                                                  const zvcrash_async_mobject* window,
                                                  uint64_t address);

// Linear walk of the section from its start for the FDE with pc_start <= pc < pc_end; 8 when none.
zvcrash_error_t dwarf_frame_reader_find_fde(const zvcrash_async_mobject* eh_frame, uint64_t pc,
                                            zvcrash_async_dwarf_fde_info* fde,
                                            zvcrash_async_dwarf_cie_info* cie);
// Binary search of .eh_frame_hdr's table; 4 when the header has no usable table, 8 when no FDE.
zvcrash_error_t dwarf_eh_frame_hdr_find_fde(const zvcrash_async_mobject* hdr,
                                            const zvcrash_async_mobject* eh_frame, uint64_t pc,
                                            zvcrash_async_dwarf_fde_info* fde,
                                            zvcrash_async_dwarf_cie_info* cie);
