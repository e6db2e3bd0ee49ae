#pragma once

#include <cstddef>
#include <cstdint>

// Plain records the crash-time report writer encodes. The capture code fills them from the
// writer state (made at enable) and from the stacks it unwinds; nothing here owns memory.
// Strings are NUL-terminated; a null string is written as "" where the field is always
// written and left out where it is optional.

// Report values of this build.
inline constexpr int32_t ZVCRASH_OS_LINUX = 5;
inline constexpr int32_t ZVCRASH_ARCH_X86_64 = 1;
inline constexpr int32_t ZVCRASH_TYPE_ENCODING_MACH = 1;
inline constexpr uint64_t ZVCRASH_CPU_TYPE_X86_64 = 0x01000007;
inline constexpr uint64_t ZVCRASH_CPU_SUBTYPE_X86_64_ALL = 3;
// Frames written per thread and per exception at most.
inline constexpr size_t ZVCRASH_MAX_FRAMES = 512;

struct zvcrash_frame_record {
    uint64_t pc;
    const char* symbol_name;  // null: no symbol
    uint64_t symbol_start;
};

struct zvcrash_register_record {
    const char* name;
    uint64_t value;
};

struct zvcrash_thread_record {
    uint32_t number;
    bool crashed;
    const zvcrash_register_record* registers;  // written for the crashed thread only
    size_t register_count;
    const zvcrash_frame_record* frames;
    size_t frame_count;
};

struct zvcrash_image_record {
    uint64_t base_address;
    uint64_t size;
    const char* name;
    const uint8_t* uuid;  // the whole build id; null or length 0: none
    size_t uuid_length;
    bool has_code_type;
    uint64_t cpu_type;
    uint64_t cpu_subtype;
};

struct zvcrash_signal_record {
    int32_t number;
    int32_t code;
    uint64_t address;
};

struct zvcrash_exception_record {
    const char* name;
    const char* reason;
    const zvcrash_frame_record* frames;
    size_t frame_count;
};

// Everything known before the crash, gathered at enable.
struct zvcrash_header_record {
    bool user_requested;
    uint8_t uuid[16];

    int32_t operating_system;
    const char* os_version;
    const char* os_build;
    int32_t architecture;
    int64_t timestamp;

    const char* machine_model;  // optional
    uint64_t cpu_type;
    uint64_t cpu_subtype;
    uint32_t physical_cpus;
    uint32_t logical_cpus;

    const char* app_identifier;
    const char* app_version;
    const char* app_marketing_version;  // optional

    const char* process_name;
    uint32_t process_id;
    const char* process_path;  // written with its terminating NUL
    const char* parent_process_name;
    uint32_t parent_process_id;
    bool native;
    uint64_t start_time;
};

struct zvcrash_report_record {
    const zvcrash_header_record* header;
    zvcrash_signal_record signal;
    const zvcrash_exception_record* exception;  // null: none
    const zvcrash_thread_record* threads;       // in enumeration order
    size_t thread_count;
    const zvcrash_image_record* images;
    size_t image_count;
    const void* custom_data;
    size_t custom_data_length;
};
