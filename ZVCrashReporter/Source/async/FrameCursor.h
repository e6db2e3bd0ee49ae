#pragma once

#include "ZVCrashReporter/Source/async/ElfImage.h"
#include "ZVCrashReporter/Source/async/ThreadState.h"

#include <cstddef>
#include <cstdint>

// Walks a stack one frame at a time: DWARF call-frame information first, then the saved
// frame-pointer chain. Everything lives on the caller's stack; safe in a signal handler.

enum frame_walk_error : int {
    FRAME_WALK_ESUCCESS = 0,
    FRAME_WALK_EUNKNOWN = 1,
    FRAME_WALK_ENOFRAME = 2,
    FRAME_WALK_EBADFRAME = 3,
    FRAME_WALK_ENOTSUP = 4,
    FRAME_WALK_EINVAL = 5,
    FRAME_WALK_INTERNAL = 6,
    FRAME_WALK_BADREG = 7,
};
const char* frame_walk_error_name(int error);

// The images a walk may consult (the report's image set); not owned.
struct zvcrash_image_set {
    const elf_image* const* images;
    size_t count;
};
const elf_image* zvcrash_image_set_find(const zvcrash_image_set* set, uint64_t address);

struct stack_frame_cursor {
    zvcrash_task_t task;
    const zvcrash_image_set* images;
    uint32_t depth;
    zvcrash_async_thread_state previous;
    zvcrash_async_thread_state current;
};

using frame_reader = frame_walk_error (*)(zvcrash_task_t task, const zvcrash_image_set* images,
                                          const zvcrash_async_thread_state* current,
                                          const zvcrash_async_thread_state* previous,
                                          zvcrash_async_thread_state* next);

// Unwinds with the CFI of the image that holds the frame's code (.eh_frame).
frame_walk_error read_dwarf_frame(zvcrash_task_t task, const zvcrash_image_set* images,
                                  const zvcrash_async_thread_state* current,
                                  const zvcrash_async_thread_state* previous,
                                  zvcrash_async_thread_state* next);
// Follows the saved frame pointer: rbp, return address above it, rsp = fp + 16.
frame_walk_error read_frame_pointer_frame(zvcrash_task_t task, const zvcrash_image_set* images,
                                          const zvcrash_async_thread_state* current,
                                          const zvcrash_async_thread_state* previous,
                                          zvcrash_async_thread_state* next);

// Whether address lies in the code of an image of the set.
bool zvcrash_image_set_holds_code(const zvcrash_image_set* set, uint64_t address);
// The first step from frame 0 when its pc lies in no image's code (a call through a null or
// dangling function pointer, a virtual call on a freed object): the caller is the return
// address at [rsp] when that lies in code, rsp + 8 its stack pointer, every other register kept.
// 4 when the pc lies in code or [rsp] does not; 3 when rsp cannot be read.
frame_walk_error read_bad_call_frame(zvcrash_task_t task, const zvcrash_image_set* images,
                                     const zvcrash_async_thread_state* current,
                                     zvcrash_async_thread_state* next);

void stack_frame_cursor_init(stack_frame_cursor* cursor, zvcrash_task_t task,
                             const zvcrash_async_thread_state* state,
                             const zvcrash_image_set* images);
// The first call yields the initial frame; each later one the caller's frame (the second call
// tries read_bad_call_frame before the readers). 2 at the end (an instruction pointer of 4096
// or less).
frame_walk_error stack_frame_cursor_next(stack_frame_cursor* cursor);
frame_walk_error stack_frame_cursor_next_with_readers(stack_frame_cursor* cursor,
                                                      const frame_reader* readers, size_t count);
// 0 and the value when register n of the current frame is valid, else 4.
frame_walk_error stack_frame_cursor_get_reg(const stack_frame_cursor* cursor, uint32_t reg,
                                            uint64_t* value);
const char* stack_frame_cursor_get_reg_name(const stack_frame_cursor* cursor, uint32_t reg);
uint32_t stack_frame_cursor_get_reg_count(const stack_frame_cursor* cursor);
void stack_frame_cursor_free(stack_frame_cursor* cursor);
