#include "ZVCrashReporter/Source/async/FrameCursor.h"

const char* frame_walk_error_name(int error) {
    switch (error) {
        case FRAME_WALK_ESUCCESS:
            return "No error";
        case FRAME_WALK_EUNKNOWN:
            return "Unknown error";
        case FRAME_WALK_ENOFRAME:
            return "No frames are available";
        case FRAME_WALK_EBADFRAME:
            return "Corrupted frame";
        case FRAME_WALK_ENOTSUP:
            return "Operation not supported";
        case FRAME_WALK_EINVAL:
            return "Invalid argument";
        case FRAME_WALK_INTERNAL:
            return "Internal error";
        case FRAME_WALK_BADREG:
            return "Invalid register";
        default:
            return "Unhandled error code";
    }
}

const elf_image* zvcrash_image_set_find(const zvcrash_image_set* set, uint64_t address) {
    if (set == nullptr) return nullptr;
    for (size_t i = 0; i < set->count; ++i) {
        if (elf_image_contains_address(set->images[i], address)) return set->images[i];
    }
    return nullptr;
}

frame_walk_error read_frame_pointer_frame(zvcrash_task_t task, const zvcrash_image_set*,
                                          const zvcrash_async_thread_state* current,
                                          const zvcrash_async_thread_state* previous,
                                          zvcrash_async_thread_state* next) {
    if (!thread_state_has_reg(current, ZVCRASH_REG_FP)) return FRAME_WALK_EBADFRAME;
    const uint64_t fp = thread_state_get_reg(current, ZVCRASH_REG_FP);
    if (fp == 0) return FRAME_WALK_ENOFRAME;
    if (previous != nullptr && thread_state_has_reg(previous, ZVCRASH_REG_FP)) {
        const uint64_t before = thread_state_get_reg(previous, ZVCRASH_REG_FP);
        if (current->stack_direction == ZVCRASH_STACK_DOWN ? fp < before : fp > before) {
            return FRAME_WALK_EBADFRAME;
        }
    }
    uint64_t words[2];
    if (zvcrash_async_task_memcpy(task, fp, 0, words, sizeof words) != ZVCRASH_ESUCCESS) {
        return FRAME_WALK_EBADFRAME;
    }
    thread_state_copy(next, current);
    thread_state_clear_all_regs(next);
    thread_state_set_reg(next, ZVCRASH_REG_FP, words[0]);
    thread_state_set_reg(next, ZVCRASH_REG_IP, words[1]);
    // The caller's stack pointer is just above the saved frame pointer and return address, so a
    // CFI step can follow this one.
    thread_state_set_reg(next, ZVCRASH_REG_SP, fp + 16);
    next->ip_is_return_address = true;
    return FRAME_WALK_ESUCCESS;
}

bool zvcrash_image_set_holds_code(const zvcrash_image_set* set, uint64_t address) {
    // Loaded images never overlap, so the one image holding the address decides.
    const elf_image* image = zvcrash_image_set_find(set, address);
    return image != nullptr && elf_image_contains_code_address(image, address);
}

frame_walk_error read_bad_call_frame(zvcrash_task_t task, const zvcrash_image_set* images,
                                     const zvcrash_async_thread_state* current,
                                     zvcrash_async_thread_state* next) {
    if (!thread_state_has_reg(current, ZVCRASH_REG_IP) ||
        !thread_state_has_reg(current, ZVCRASH_REG_SP)) {
        return FRAME_WALK_EBADFRAME;
    }
    if (zvcrash_image_set_holds_code(images, thread_state_get_reg(current, ZVCRASH_REG_IP))) {
        return FRAME_WALK_ENOTSUP;
    }
    const uint64_t sp = thread_state_get_reg(current, ZVCRASH_REG_SP);
    uint64_t return_address = 0;
    if (sp > UINT64_MAX - 8 ||
        zvcrash_async_task_memcpy(task, sp, 0, &return_address, sizeof return_address) !=
            ZVCRASH_ESUCCESS) {
        return FRAME_WALK_EBADFRAME;
    }
    // Only a value that points back into code is taken for the return address the call pushed;
    // anything else (code made at run time, a wrecked stack) is left to the other readers.
    if (!zvcrash_image_set_holds_code(images, return_address)) return FRAME_WALK_ENOTSUP;
    // No instruction of the callee ran: every register but rip and rsp is still the caller's.
    thread_state_copy(next, current);
    thread_state_set_reg(next, ZVCRASH_REG_IP, return_address);
    thread_state_set_reg(next, ZVCRASH_REG_SP, sp + 8);
    next->ip_is_return_address = true;
    return FRAME_WALK_ESUCCESS;
}

void stack_frame_cursor_init(stack_frame_cursor* cursor, zvcrash_task_t task,
                             const zvcrash_async_thread_state* state,
                             const zvcrash_image_set* images) {
    cursor->task = task;
    cursor->images = images;
    cursor->depth = 0;
    thread_state_copy(&cursor->current, state);
    thread_state_init(&cursor->previous);
}

frame_walk_error stack_frame_cursor_next_with_readers(stack_frame_cursor* cursor,
                                                      const frame_reader* readers, size_t count) {
    if (cursor->depth == 0) {
        cursor->depth = 1;
        return FRAME_WALK_ESUCCESS;
    }
    const zvcrash_async_thread_state* previous = cursor->depth == 1 ? nullptr : &cursor->previous;
    if (count == 0) return FRAME_WALK_EINVAL;
    zvcrash_async_thread_state next;
    frame_walk_error result = FRAME_WALK_EUNKNOWN;
    if (cursor->depth == 1)
        result = read_bad_call_frame(cursor->task, cursor->images, &cursor->current, &next);
    for (size_t i = 0; i < count && result != FRAME_WALK_ESUCCESS; ++i) {
        result = readers[i](cursor->task, cursor->images, &cursor->current, previous, &next);
    }
    if (result != FRAME_WALK_ESUCCESS) return result;
    if (!thread_state_has_reg(&next, ZVCRASH_REG_IP) ||
        thread_state_get_reg(&next, ZVCRASH_REG_IP) <= 0x1000) {
        return FRAME_WALK_ENOFRAME;
    }
    thread_state_copy(&cursor->previous, &cursor->current);
    thread_state_copy(&cursor->current, &next);
    cursor->depth++;
    return FRAME_WALK_ESUCCESS;
}

frame_walk_error stack_frame_cursor_next(stack_frame_cursor* cursor) {
    static const frame_reader kReaders[] = {read_dwarf_frame, read_frame_pointer_frame};
    return stack_frame_cursor_next_with_readers(cursor, kReaders, 2);
}

frame_walk_error stack_frame_cursor_get_reg(const stack_frame_cursor* cursor, uint32_t reg,
                                            uint64_t* value) {
    if (!thread_state_has_reg(&cursor->current, reg)) return FRAME_WALK_ENOTSUP;
    *value = thread_state_get_reg(&cursor->current, reg);
    return FRAME_WALK_ESUCCESS;
}

const char* stack_frame_cursor_get_reg_name(const stack_frame_cursor* cursor, uint32_t reg) {
    return thread_state_get_reg_name(&cursor->current, reg);
}

uint32_t stack_frame_cursor_get_reg_count(const stack_frame_cursor* cursor) {
    return thread_state_get_reg_count(&cursor->current);
}

void stack_frame_cursor_free(stack_frame_cursor* cursor) {
    cursor->depth = 0;
}
