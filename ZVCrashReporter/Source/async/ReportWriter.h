#pragma once

#include "ZVCrashReporter/Source/async/AsyncError.h"
#include "ZVCrashReporter/Source/async/CrashOutputFile.h"
#include "ZVCrashReporter/Source/async/ReportRecords.h"

#include <cstddef>
#include <cstdint>

// Crash-time encoder of the crash report file: the "zvcrash" header, version 1, then one
// CrashReport message encoded by hand. Each message writer takes (output or null, ...) and
// returns the encoded size of the message's content; with a null output it only counts, and the
// same code path runs for both passes, so the size pass always equals the bytes written.
// Everything here is safe in a signal handler: no allocation, no lock, stack buffers only.

size_t zvcrash_writer_write_report_info(crash_output_file* out, bool user_requested,
                                        const uint8_t uuid[16]);
size_t zvcrash_writer_write_system_info(crash_output_file* out, const zvcrash_header_record* h);
size_t zvcrash_writer_write_processor_info(crash_output_file* out, uint64_t type, uint64_t subtype);
size_t zvcrash_writer_write_machine_info(crash_output_file* out, const zvcrash_header_record* h);
size_t zvcrash_writer_write_app_info(crash_output_file* out, const zvcrash_header_record* h);
size_t zvcrash_writer_write_process_info(crash_output_file* out, const zvcrash_header_record* h);
size_t zvcrash_writer_write_symbol(crash_output_file* out, const char* name, uint64_t start);
size_t zvcrash_writer_write_thread_frame(crash_output_file* out, const zvcrash_frame_record* f);
// Writes at most frame_limit frames (and never more than ZVCRASH_MAX_FRAMES); the registers of
// a crashed thread only when with_registers.
size_t zvcrash_writer_write_thread(crash_output_file* out, const zvcrash_thread_record* t,
                                   size_t frame_limit, bool with_registers);
size_t zvcrash_writer_write_binary_image(crash_output_file* out, const zvcrash_image_record* i);
size_t zvcrash_writer_write_exception(crash_output_file* out, const zvcrash_exception_record* e);
size_t zvcrash_writer_write_signal(crash_output_file* out, const zvcrash_signal_record* s);

// Writes the whole report. With a cap each top-level field is written whole or not at all,
// decided from its size pass, in this order: ReportInfo, SystemInfo, MachineInfo,
// ApplicationInfo, ProcessInfo, Signal, Exception, the crashed thread, the binary images, the
// other threads, custom data. A crashed thread that does not fit keeps as many of its first
// frames as fit. Returns 0; ZVCRASH_OUTPUT_ERR when the header or a required section (system,
// application, signal) did not fit; write errors surface through flush and close.
zvcrash_error_t zvcrash_writer_write_report(crash_output_file* out,
                                            const zvcrash_report_record* report);
