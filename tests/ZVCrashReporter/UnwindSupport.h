#pragma once

#include "ZVCrashReporter/Source/ZVLoadedImages.h"
#include "ZVCrashReporter/Source/async/FrameCursor.h"

#include <cstdint>
#include <vector>

// Shared by the unwinding tests and their child helper: the images of this process and a walk.
struct UnwindImages {
    loaded_image_list list{};
    zvcrash_image_pool pool{};
    std::vector<const elf_image*> images;
    zvcrash_image_set set{};

    void collect() {
        zvcrash_async_memory_setup();
        loaded_image_list_init(&list, zvcrash_async_task_self());
        loaded_image_list_add_loaded_images(&list);
        pool = zvcrash_image_pool_make(16);
        images.resize(ZVCRASH_MAX_LINK_MAP);
        loaded_image_list_set_reading(&list, true);
        images.resize(zvcrash_collect_images(&list, &pool, images.data(), images.size()));
        loaded_image_list_set_reading(&list, false);
        set = zvcrash_image_set{images.data(), images.size()};
    }
    ~UnwindImages() {
        if (list.body != nullptr) loaded_image_list_free(&list);
        zvcrash_image_pool_free(&pool);
    }
};

// The instruction pointers of a walk from state (at most max frames).
inline size_t walkStack(const zvcrash_image_set* set, const zvcrash_async_thread_state* state,
                        uint64_t* pcs, size_t max) {
    stack_frame_cursor cursor;
    stack_frame_cursor_init(&cursor, zvcrash_async_task_self(), state, set);
    size_t n = 0;
    while (n < max && stack_frame_cursor_next(&cursor) == FRAME_WALK_ESUCCESS) {
        uint64_t pc = 0;
        if (stack_frame_cursor_get_reg(&cursor, ZVCRASH_REG_IP, &pc) != FRAME_WALK_ESUCCESS) break;
        pcs[n++] = pc;
    }
    stack_frame_cursor_free(&cursor);
    return n;
}
