#include "ZVCrashReporter/Source/async/CrashCapture.h"

#include "ZVCrashReporter/Source/async/FrameCursor.h"
#include "ZVCrashReporter/Source/async/ReportWriter.h"
#include "ZVCrashReporter/Source/async/SymbolLookup.h"

#include <cstddef>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<int32_t> g_answered{0};
std::atomic<int32_t> g_released{1};
std::atomic<zvcrash_thread_slot*> g_slots{nullptr};
std::atomic<size_t> g_slot_count{0};
zvcrash_register_record g_registers[ZVCRASH_REG_COUNT];

struct linux_dirent64_header {
    uint64_t d_ino;
    int64_t d_off;
    uint16_t d_reclen;
    uint8_t d_type;
};

void put_slot(zvcrash_thread_slot* slot, int32_t tid) {
    slot->answered.store(0, std::memory_order_relaxed);
    slot->tid.store(tid, std::memory_order_release);
}

// Lists the threads of this process into the slots: the given first ones (the crashed thread,
// then the calling one when they differ), then the others in /proc order, skipping those, up to
// capacity. An unreadable /proc leaves the first ones. Returns the count.
size_t list_threads(zvcrash_thread_slot* slots, size_t capacity, const int32_t* first,
                    size_t first_count) {
    size_t count = 0;
    for (size_t i = 0; i < first_count && count < capacity; ++i)
        put_slot(&slots[count++], first[i]);
    const int fd = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return count;
    alignas(8) char buffer[4096];
    for (;;) {
        const long n = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (n <= 0) break;
        for (long offset = 0; offset < n;) {
            linux_dirent64_header header;
            memcpy(&header, buffer + offset, sizeof header);
            // The name follows d_type directly (offset 19), not the padded struct.
            const char* name = buffer + offset + offsetof(linux_dirent64_header, d_type) + 1;
            int32_t tid = 0;
            bool digits = name[0] != '\0';
            for (const char* c = name; *c != '\0'; ++c) {
                if (*c < '0' || *c > '9')
                    digits = false;
                else
                    tid = tid * 10 + (*c - '0');
            }
            for (size_t i = 0; i < first_count; ++i) {
                if (first[i] == tid) digits = false;
            }
            if (digits && count < capacity) put_slot(&slots[count++], tid);
            if (header.d_reclen == 0) break;
            offset += header.d_reclen;
        }
    }
    close(fd);
    return count;
}

// Signals every listed thread but the calling one and waits for the answers (250 ms at most).
void capture_other_threads(int capture_signal, zvcrash_thread_slot* slots, size_t count,
                           pid_t self) {
    g_released.store(0, std::memory_order_release);
    g_answered.store(0, std::memory_order_release);
    g_slots.store(slots, std::memory_order_release);
    g_slot_count.store(count, std::memory_order_release);
    if (capture_signal == 0) return;
    const pid_t pid = getpid();
    int32_t sent = 0;
    for (size_t i = 0; i < count; ++i) {
        const pid_t tid = slots[i].tid.load(std::memory_order_relaxed);
        if (tid == self) continue;
        if (syscall(SYS_tgkill, pid, tid, capture_signal) == 0) ++sent;
    }
    const int64_t deadline = zvcrash_async_monotonic_ns() + ZVCRASH_CAPTURE_WAIT_NS;
    for (int32_t seen; (seen = g_answered.load(std::memory_order_acquire)) < sent;) {
        if (zvcrash_async_monotonic_ns() >= deadline) break;
        zvcrash_async_futex_wait_until(&g_answered, seen, deadline);
    }
}

struct NameArena {
    char* bytes;
    size_t used;
};

struct SymbolTarget {
    NameArena* arena;
    zvcrash_frame_record* frame;
};

void keep_symbol(uint64_t address, const char* name, void* context) {
    SymbolTarget* target = static_cast<SymbolTarget*>(context);
    const size_t length = strlen(name);
    NameArena* arena = target->arena;
    if (arena->used + length + 1 > ZVCRASH_SCRATCH_NAME_BYTES) return;
    memcpy(arena->bytes + arena->used, name, length + 1);
    target->frame->symbol_name = arena->bytes + arena->used;
    target->frame->symbol_start = address;
    arena->used += length + 1;
}

void name_frame(const zvcrash_image_set* set, uint32_t strategy, uint64_t lookup,
                zvcrash_frame_record* frame, NameArena* arena) {
    frame->symbol_name = nullptr;
    frame->symbol_start = 0;
    if (strategy == 0) return;
    const elf_image* image = zvcrash_image_set_find(set, lookup);
    if (image == nullptr) return;
    SymbolTarget target{arena, frame};
    find_symbol_for_address(image, strategy, lookup, keep_symbol, &target);
}

// Unwinds one thread into frames (at most capacity); the first frame's registers into registers
// when given. Returns the frame count.
size_t unwind_thread(const zvcrash_image_set* set, uint32_t strategy,
                     const zvcrash_async_thread_state* state, zvcrash_frame_record* frames,
                     size_t capacity, NameArena* arena, zvcrash_register_record* registers) {
    stack_frame_cursor cursor;
    stack_frame_cursor_init(&cursor, zvcrash_async_task_self(), state, set);
    size_t count = 0;
    while (count < capacity && stack_frame_cursor_next(&cursor) == FRAME_WALK_ESUCCESS) {
        if (count == 0 && registers != nullptr) {
            for (uint32_t r = 0;
                 r < stack_frame_cursor_get_reg_count(&cursor) && r < ZVCRASH_REG_COUNT; ++r) {
                uint64_t value = 0;
                if (stack_frame_cursor_get_reg(&cursor, r, &value) != FRAME_WALK_ESUCCESS)
                    value = 0;
                registers[r] =
                    zvcrash_register_record{stack_frame_cursor_get_reg_name(&cursor, r), value};
            }
        }
        uint64_t pc = 0;
        if (stack_frame_cursor_get_reg(&cursor, ZVCRASH_REG_IP, &pc) != FRAME_WALK_ESUCCESS) break;
        frames[count].pc = pc;
        name_frame(set, strategy, thread_state_lookup_address(&cursor.current), &frames[count],
                   arena);
        ++count;
    }
    stack_frame_cursor_free(&cursor);
    return count;
}

size_t fill_images(zvcrash_capture_area* area) {
    const size_t count =
        zvcrash_collect_images(area->image_list, &area->pool, area->images, ZVCRASH_MAX_LINK_MAP);
    for (size_t i = 0; i < count; ++i) {
        const elf_image* image = area->images[i];
        area->image_records[i] = zvcrash_image_record{
            image->header_address,   image->end - image->start,     image->path,
            image->build_id,         image->build_id_length,        true,
            ZVCRASH_CPU_TYPE_X86_64, ZVCRASH_CPU_SUBTYPE_X86_64_ALL};
    }
    return count;
}

}  // namespace

void zvcrash_capture_signal_handler(int, siginfo_t*, void* context) {
    zvcrash_thread_slot* slots = g_slots.load(std::memory_order_acquire);
    const size_t count = g_slot_count.load(std::memory_order_acquire);
    const pid_t self = zvcrash_async_gettid();
    zvcrash_thread_slot* slot = nullptr;
    for (size_t i = 0; slots != nullptr && i < count; ++i) {
        if (slots[i].tid.load(std::memory_order_acquire) == self) slot = &slots[i];
    }
    if (slot == nullptr || g_released.load(std::memory_order_acquire) != 0) return;
    thread_state_init_from_mcontext(&slot->state, static_cast<const ucontext_t*>(context));
    slot->answered.store(1, std::memory_order_release);
    g_answered.fetch_add(1, std::memory_order_acq_rel);
    zvcrash_async_futex_wake_all(&g_answered);
    const int64_t deadline = zvcrash_async_monotonic_ns() + ZVCRASH_RELEASE_WAIT_NS;
    while (g_released.load(std::memory_order_acquire) == 0 &&
           zvcrash_async_monotonic_ns() < deadline) {
        zvcrash_async_futex_wait_until(&g_released, 0, deadline);
    }
}

void zvcrash_capture_release_threads() {
    g_released.store(1, std::memory_order_release);
    zvcrash_async_futex_wake_all(&g_released);
}

zvcrash_error_t zvcrash_capture_write_report(zvcrash_capture_area* area,
                                             const zvcrash_writer_state* writer,
                                             const zvcrash_async_thread_state* current,
                                             int32_t crashed_tid,
                                             const zvcrash_signal_record* signal,
                                             crash_output_file* out) {
    const pid_t self = zvcrash_async_gettid();
    if (crashed_tid == 0) crashed_tid = self;
    const int32_t first[2] = {crashed_tid, self};
    const size_t slot_count =
        list_threads(area->slots, ZVCRASH_MAX_THREADS, first, crashed_tid == self ? 1 : 2);
    capture_other_threads(area->capture_signal, area->slots, slot_count, self);

    loaded_image_list_set_reading(area->image_list, true);
    const size_t image_count = fill_images(area);
    const zvcrash_image_set set{area->images, image_count};
    NameArena arena{area->names, 0};
    size_t frames_used = 0;
    size_t written = 0;
    for (size_t i = 0; i < slot_count; ++i) {
        zvcrash_thread_slot& slot = area->slots[i];
        const int32_t tid = slot.tid.load(std::memory_order_relaxed);
        const bool crashed = tid == crashed_tid;
        zvcrash_thread_record& record = area->threads[written];
        record =
            zvcrash_thread_record{static_cast<uint32_t>(written), crashed, nullptr, 0, nullptr, 0};
        const zvcrash_async_thread_state* state =
            tid == self
                ? current
                : (slot.answered.load(std::memory_order_acquire) == 1 ? &slot.state : nullptr);
        if (tid == self && current == nullptr) continue;
        ++written;
        if (state == nullptr) continue;
        size_t room = ZVCRASH_SCRATCH_FRAMES - frames_used;
        if (room > ZVCRASH_MAX_FRAMES) room = ZVCRASH_MAX_FRAMES;
        record.frames = area->frames + frames_used;
        record.frame_count =
            unwind_thread(&set, writer->strategy, state, area->frames + frames_used, room, &arena,
                          crashed ? g_registers : nullptr);
        frames_used += record.frame_count;
        if (crashed && record.frame_count > 0) {
            record.registers = g_registers;
            record.register_count = ZVCRASH_REG_COUNT;
        }
    }

    zvcrash_header_record header = writer->header;
    timespec now{};
    header.timestamp = clock_gettime(CLOCK_REALTIME, &now) == 0 ? now.tv_sec : 0;
    zvcrash_exception_record exception{};
    zvcrash_frame_record* exception_frames = area->frames + frames_used;
    const zvcrash_recorded_exception* recorded = writer->exception.load(std::memory_order_acquire);
    if (recorded != nullptr) {
        size_t count = recorded->count;
        if (count > ZVCRASH_MAX_FRAMES) count = ZVCRASH_MAX_FRAMES;
        if (count > ZVCRASH_SCRATCH_FRAMES - frames_used)
            count = ZVCRASH_SCRATCH_FRAMES - frames_used;
        for (size_t i = 0; i < count; ++i) {
            exception_frames[i].pc = recorded->return_addresses[i];
            // Return addresses: the call lies before them.
            const uint64_t lookup = exception_frames[i].pc == 0 ? 0 : exception_frames[i].pc - 1;
            name_frame(&set, writer->strategy, lookup, &exception_frames[i], &arena);
        }
        exception =
            zvcrash_exception_record{recorded->name, recorded->reason, exception_frames, count};
    }
    const zvcrash_custom_data* custom = writer->custom_data.load(std::memory_order_acquire);
    zvcrash_report_record report{&header,
                                 *signal,
                                 recorded != nullptr ? &exception : nullptr,
                                 area->threads,
                                 written,
                                 area->image_records,
                                 image_count,
                                 custom != nullptr ? custom->bytes : nullptr,
                                 custom != nullptr ? custom->length : 0};
    const zvcrash_error_t result = zvcrash_writer_write_report(out, &report);
    loaded_image_list_set_reading(area->image_list, false);
    return result;
}
