#pragma once

#include "ZVCrashReporter/Source/async/AsyncError.h"
#include "ZVCrashReporter/Source/async/CrashOutputFile.h"
#include "ZVCrashReporter/Source/async/LoadedImageList.h"
#include "ZVCrashReporter/Source/async/ReportRecords.h"
#include "ZVCrashReporter/Source/async/ThreadState.h"

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdint>

// Crash-time report writing: the writer state gathered at enable, the capture of the other
// threads (a real-time signal whose handler saves its registers and waits) and the write itself.
// Everything here runs in a signal handler: no allocation, no lock; the storage it needs (the
// capture area) is made at enable by ZVCrashCaptureSetup.h and never freed.

// Threads captured at most, frames unwound per capture, and symbol-name bytes kept for them.
inline constexpr size_t ZVCRASH_MAX_THREADS = 1024;
inline constexpr size_t ZVCRASH_SCRATCH_FRAMES = 8192;
inline constexpr size_t ZVCRASH_SCRATCH_NAME_BYTES = 1u << 20;
// Waits: for every thread to answer the capture signal, for a captured thread to be released.
inline constexpr int64_t ZVCRASH_CAPTURE_WAIT_NS = 250'000'000;
inline constexpr int64_t ZVCRASH_RELEASE_WAIT_NS = 2'000'000'000;
// How long a second crashing thread waits for the first one to end the process.
inline constexpr int64_t ZVCRASH_SECOND_CRASH_WAIT_NS = 10'000'000'000;

struct zvcrash_custom_data {
    const void* bytes;
    size_t length;
};

struct zvcrash_recorded_exception {
    const char* name;
    const char* reason;
    const uint64_t* return_addresses;
    size_t count;
};

// What the writer knows before the crash. The header's strings, the custom data and the
// exception are owned by the ordinary-time code that set them and are never freed while a crash
// may read them.
struct zvcrash_writer_state {
    uint32_t strategy;
    zvcrash_header_record header;
    std::atomic<const zvcrash_custom_data*> custom_data;
    std::atomic<const zvcrash_recorded_exception*> exception;
};

struct zvcrash_thread_slot {
    std::atomic<int32_t> tid;
    std::atomic<uint32_t> answered;  // 0 waiting, 1 registers saved
    zvcrash_async_thread_state state;
};

// Storage for one capture, made at enable.
struct zvcrash_capture_area {
    int capture_signal;  // the real-time signal; 0 when none could be had
    zvcrash_thread_slot* slots;
    zvcrash_thread_record* threads;
    zvcrash_frame_record* frames;
    char* names;
    const elf_image** images;
    zvcrash_image_record* image_records;
    zvcrash_image_pool pool;
    loaded_image_list* image_list;
};

// The handler of the capture signal (installed at enable): saves the registers of the calling
// thread into its slot and waits until released (at most 2 s).
void zvcrash_capture_signal_handler(int signo, siginfo_t* info, void* context);

// Writes one report. current: the calling thread's registers; null leaves the calling thread
// out. crashed_tid: the crashed thread (0: the calling thread), captured like the others when it
// is another one. The crashed thread always takes the first of the ZVCRASH_MAX_THREADS slots
// (also when /proc cannot be read), the calling thread the next; the others fill the rest. They
// are captured through the capture signal and stay stopped until
// zvcrash_capture_release_threads. Returns 0 or a write error.
zvcrash_error_t zvcrash_capture_write_report(zvcrash_capture_area* area,
                                             const zvcrash_writer_state* writer,
                                             const zvcrash_async_thread_state* current,
                                             int32_t crashed_tid,
                                             const zvcrash_signal_record* signal,
                                             crash_output_file* out);
// Lets every captured thread run again.
void zvcrash_capture_release_threads();
