#include "ZVCrashReporter/Source/async/ReportWriter.h"

#include "ZVCrashReporter/Source/async/FieldEncoder.h"
#include "ZVCrashReporter/Source/async/SignalNames.h"

namespace {

const char* or_empty(const char* s) {
    return s != nullptr ? s : "";
}

size_t put_string(crash_output_file* out, uint32_t field, const char* s) {
    return zvcrash_field_encode(out, field, ZVCRASH_FIELD_STRING, &s);
}
size_t put_u64(crash_output_file* out, uint32_t field, uint64_t v) {
    return zvcrash_field_encode(out, field, ZVCRASH_FIELD_UINT64, &v);
}
size_t put_u32(crash_output_file* out, uint32_t field, uint32_t v) {
    return zvcrash_field_encode(out, field, ZVCRASH_FIELD_UINT32, &v);
}
size_t put_bool(crash_output_file* out, uint32_t field, bool v) {
    return zvcrash_field_encode(out, field, ZVCRASH_FIELD_BOOL, &v);
}
size_t put_enum(crash_output_file* out, uint32_t field, int32_t v) {
    return zvcrash_field_encode(out, field, ZVCRASH_FIELD_ENUM, &v);
}
size_t put_bytes(crash_output_file* out, uint32_t field, const void* data, size_t length) {
    const zvcrash_bytes bytes{length, data};
    return zvcrash_field_encode(out, field, ZVCRASH_FIELD_BYTES, &bytes);
}

// An embedded message: size pass, tag plus length, then the content.
template <typename Content>
size_t put_message(crash_output_file* out, uint32_t field, Content&& content) {
    size_t length = content(nullptr);
    const size_t n = zvcrash_field_encode(out, field, ZVCRASH_FIELD_MESSAGE, &length);
    if (out != nullptr) content(out);
    return n + length;
}

// A top-level field, written whole only when it fits under the cap.
template <typename Content>
bool put_top_field(crash_output_file* out, uint32_t field, Content&& content) {
    if (put_message(nullptr, field, content) > crash_output_file_room(out)) return false;
    put_message(out, field, content);
    return true;
}

size_t min_size(size_t a, size_t b) {
    return a < b ? a : b;
}

// Writes the crashed thread, cut to the longest prefix of frames that fits.
void put_crashed_thread(crash_output_file* out, const zvcrash_thread_record* t) {
    const auto fits = [&](size_t limit, bool regs) {
        return put_message(nullptr, 3, [&](crash_output_file* o) {
                   return zvcrash_writer_write_thread(o, t, limit, regs);
               }) <= crash_output_file_room(out);
    };
    bool regs = true;
    if (!fits(0, true)) {
        regs = false;
        if (!fits(0, false)) return;
    }
    size_t lo = 0;  // fits
    size_t hi = min_size(t->frame_count, ZVCRASH_MAX_FRAMES);
    while (lo < hi) {
        const size_t mid = lo + (hi - lo + 1) / 2;
        if (fits(mid, regs)) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    put_message(out, 3,
                [&](crash_output_file* o) { return zvcrash_writer_write_thread(o, t, lo, regs); });
}

}  // namespace

size_t zvcrash_writer_write_report_info(crash_output_file* out, bool user_requested,
                                        const uint8_t uuid[16]) {
    return put_bool(out, 1, user_requested) + put_bytes(out, 2, uuid, 16);
}

size_t zvcrash_writer_write_system_info(crash_output_file* out, const zvcrash_header_record* h) {
    size_t n = put_enum(out, 1, h->operating_system);
    n += put_string(out, 2, or_empty(h->os_version));
    n += put_string(out, 5, or_empty(h->os_build));
    n += put_enum(out, 3, h->architecture);
    const int64_t timestamp = h->timestamp;
    n += zvcrash_field_encode(out, 4, ZVCRASH_FIELD_INT64, &timestamp);
    return n;
}

size_t zvcrash_writer_write_processor_info(crash_output_file* out, uint64_t type,
                                           uint64_t subtype) {
    return put_enum(out, 1, ZVCRASH_TYPE_ENCODING_MACH) + put_u64(out, 2, type) +
           put_u64(out, 3, subtype);
}

size_t zvcrash_writer_write_machine_info(crash_output_file* out, const zvcrash_header_record* h) {
    size_t n = 0;
    if (h->machine_model != nullptr) n += put_string(out, 1, h->machine_model);
    n += put_message(out, 2, [&](crash_output_file* o) {
        return zvcrash_writer_write_processor_info(o, h->cpu_type, h->cpu_subtype);
    });
    n += put_u32(out, 3, h->physical_cpus);
    n += put_u32(out, 4, h->logical_cpus);
    return n;
}

size_t zvcrash_writer_write_app_info(crash_output_file* out, const zvcrash_header_record* h) {
    size_t n = put_string(out, 1, or_empty(h->app_identifier)) +
               put_string(out, 2, or_empty(h->app_version));
    // Left out when there is none, so the reader does not print an empty "( version)".
    if (h->app_marketing_version != nullptr) n += put_string(out, 3, h->app_marketing_version);
    return n;
}

size_t zvcrash_writer_write_process_info(crash_output_file* out, const zvcrash_header_record* h) {
    size_t n = put_string(out, 1, or_empty(h->process_name));
    n += put_u32(out, 2, h->process_id);
    // The path keeps its terminating NUL on the wire.
    const char* path = or_empty(h->process_path);
    size_t path_length = 0;
    while (path[path_length] != '\0') ++path_length;
    n += put_bytes(out, 3, path, path_length + 1);
    n += put_string(out, 4, or_empty(h->parent_process_name));
    n += put_u32(out, 5, h->parent_process_id);
    n += put_bool(out, 6, h->native);
    n += put_u64(out, 7, h->start_time);
    return n;
}

size_t zvcrash_writer_write_symbol(crash_output_file* out, const char* name, uint64_t start) {
    return put_string(out, 1, name) + put_u64(out, 2, start);
}

size_t zvcrash_writer_write_thread_frame(crash_output_file* out, const zvcrash_frame_record* f) {
    size_t n = put_u64(out, 3, f->pc);
    if (f->symbol_name != nullptr) {
        n += put_message(out, 6, [&](crash_output_file* o) {
            return zvcrash_writer_write_symbol(o, f->symbol_name, f->symbol_start);
        });
    }
    return n;
}

size_t zvcrash_writer_write_thread(crash_output_file* out, const zvcrash_thread_record* t,
                                   size_t frame_limit, bool with_registers) {
    size_t n = put_u32(out, 1, t->number);
    n += put_bool(out, 3, t->crashed);
    if (t->crashed && with_registers) {
        for (size_t i = 0; i < t->register_count; ++i) {
            const zvcrash_register_record& r = t->registers[i];
            n += put_message(out, 4, [&](crash_output_file* o) {
                return put_string(o, 1, or_empty(r.name)) + put_u64(o, 2, r.value);
            });
        }
    }
    const size_t count = min_size(min_size(t->frame_count, frame_limit), ZVCRASH_MAX_FRAMES);
    for (size_t i = 0; i < count; ++i) {
        n += put_message(out, 2, [&](crash_output_file* o) {
            return zvcrash_writer_write_thread_frame(o, &t->frames[i]);
        });
    }
    return n;
}

size_t zvcrash_writer_write_binary_image(crash_output_file* out, const zvcrash_image_record* i) {
    size_t n = put_u64(out, 2, i->size);
    n += put_u64(out, 1, i->base_address);
    n += put_string(out, 3, or_empty(i->name));
    if (i->uuid != nullptr && i->uuid_length > 0) n += put_bytes(out, 4, i->uuid, i->uuid_length);
    if (i->has_code_type) {
        n += put_message(out, 5, [&](crash_output_file* o) {
            return zvcrash_writer_write_processor_info(o, i->cpu_type, i->cpu_subtype);
        });
    }
    return n;
}

size_t zvcrash_writer_write_exception(crash_output_file* out, const zvcrash_exception_record* e) {
    size_t n = put_string(out, 1, or_empty(e->name)) + put_string(out, 2, or_empty(e->reason));
    const size_t count = min_size(e->frame_count, ZVCRASH_MAX_FRAMES);
    for (size_t i = 0; i < count; ++i) {
        n += put_message(out, 3, [&](crash_output_file* o) {
            return zvcrash_writer_write_thread_frame(o, &e->frames[i]);
        });
    }
    return n;
}

size_t zvcrash_writer_write_signal(crash_output_file* out, const zvcrash_signal_record* s) {
    char number[16];
    char code[16];
    const char* name = signal_name(s->number);
    if (name == nullptr) name = zvcrash_format_number_name(number, sizeof number, s->number);
    const char* code_name = signal_code_name(s->number, s->code);
    if (code_name == nullptr) code_name = zvcrash_format_number_name(code, sizeof code, s->code);
    return put_string(out, 1, name) + put_string(out, 2, code_name) + put_u64(out, 3, s->address);
}

zvcrash_error_t zvcrash_writer_write_report(crash_output_file* out,
                                            const zvcrash_report_record* r) {
    static const char kHeader[8] = {'z', 'v', 'c', 'r', 'a', 's', 'h', 1};
    if (!crash_output_file_write(out, kHeader, sizeof kHeader)) return ZVCRASH_OUTPUT_ERR;
    const zvcrash_header_record* h = r->header;
    bool complete = true;
    put_top_field(out, 9, [&](crash_output_file* o) {
        return zvcrash_writer_write_report_info(o, h->user_requested, h->uuid);
    });
    complete &= put_top_field(
        out, 1, [&](crash_output_file* o) { return zvcrash_writer_write_system_info(o, h); });
    put_top_field(out, 8,
                  [&](crash_output_file* o) { return zvcrash_writer_write_machine_info(o, h); });
    complete &= put_top_field(
        out, 2, [&](crash_output_file* o) { return zvcrash_writer_write_app_info(o, h); });
    put_top_field(out, 7,
                  [&](crash_output_file* o) { return zvcrash_writer_write_process_info(o, h); });
    complete &= put_top_field(
        out, 6, [&](crash_output_file* o) { return zvcrash_writer_write_signal(o, &r->signal); });
    if (r->exception != nullptr) {
        put_top_field(out, 5, [&](crash_output_file* o) {
            return zvcrash_writer_write_exception(o, r->exception);
        });
    }
    size_t crashed = r->thread_count;
    for (size_t i = 0; i < r->thread_count && crashed == r->thread_count; ++i) {
        if (r->threads[i].crashed) crashed = i;
    }
    if (crashed < r->thread_count) put_crashed_thread(out, &r->threads[crashed]);
    for (size_t i = 0; i < r->image_count; ++i) {
        put_top_field(out, 4, [&](crash_output_file* o) {
            return zvcrash_writer_write_binary_image(o, &r->images[i]);
        });
    }
    for (size_t i = 0; i < r->thread_count; ++i) {
        if (i == crashed) continue;
        put_top_field(out, 3, [&](crash_output_file* o) {
            return zvcrash_writer_write_thread(o, &r->threads[i], ZVCRASH_MAX_FRAMES, true);
        });
    }
    if (r->custom_data_length > 0) {
        const zvcrash_bytes data{r->custom_data_length, r->custom_data};
        if (put_message(nullptr, 10, [&](crash_output_file*) { return data.length; }) <=
            crash_output_file_room(out)) {
            zvcrash_field_encode(out, 10, ZVCRASH_FIELD_BYTES, &data);
        }
    }
    return complete ? ZVCRASH_ESUCCESS : ZVCRASH_OUTPUT_ERR;
}
