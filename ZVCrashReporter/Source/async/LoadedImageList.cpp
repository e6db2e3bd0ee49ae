#include "ZVCrashReporter/Source/async/LoadedImageList.h"

#include <link.h>

void loaded_image_list_set_reading(loaded_image_list* list, bool reading) {
    if (reading) {
        list->body->readers.fetch_add(1, std::memory_order_seq_cst);
    } else {
        list->body->readers.fetch_sub(1, std::memory_order_seq_cst);
    }
}

loaded_image* loaded_image_list_next(loaded_image_list* list, loaded_image_list_cursor* cursor) {
    image_list_node* node = cursor->node == nullptr
                                ? list->body->head.load(std::memory_order_acquire)
                                : cursor->node->next.load(std::memory_order_acquire);
    cursor->node = node;
    return node != nullptr ? node->image : nullptr;
}

loaded_image* loaded_image_list_find_containing(loaded_image_list* list, uint64_t address) {
    loaded_image_list_cursor cursor{nullptr};
    for (loaded_image* image = loaded_image_list_next(list, &cursor); image != nullptr;
         image = loaded_image_list_next(list, &cursor)) {
        if (elf_image_contains_address(&image->image, address)) return image;
    }
    return nullptr;
}

namespace {

std::atomic<uint64_t> g_link_map_record{0};

size_t list_alone(loaded_image_list* list, const elf_image** out, size_t capacity) {
    size_t count = 0;
    loaded_image_list_cursor cursor{nullptr};
    for (loaded_image* image = loaded_image_list_next(list, &cursor);
         image != nullptr && count < capacity; image = loaded_image_list_next(list, &cursor)) {
        out[count++] = &image->image;
    }
    return count;
}

const elf_image* listed_with_bias(loaded_image_list* list, uint64_t bias) {
    loaded_image_list_cursor cursor{nullptr};
    for (loaded_image* image = loaded_image_list_next(list, &cursor); image != nullptr;
         image = loaded_image_list_next(list, &cursor)) {
        if (image->image.bias == bias) return &image->image;
    }
    return nullptr;
}

}  // namespace

size_t zvcrash_collect_images(loaded_image_list* list, zvcrash_image_pool* pool,
                              const elf_image** out, size_t capacity) {
    const zvcrash_task_t task = list->task;
    uint64_t record = g_link_map_record.load(std::memory_order_relaxed);
    if (record == 0) record = reinterpret_cast<uint64_t>(&_r_debug);
    r_debug debug;
    if (zvcrash_async_task_memcpy(task, record, 0, &debug, sizeof debug) != 0 ||
        debug.r_state != r_debug::RT_CONSISTENT || debug.r_map == nullptr) {
        return list_alone(list, out, capacity);
    }
    size_t count = 0;
    size_t pooled = 0;
    uint64_t at = reinterpret_cast<uint64_t>(debug.r_map);
    for (size_t i = 0; i < ZVCRASH_MAX_LINK_MAP && at != 0 && count < capacity; ++i) {
        link_map entry;
        if (zvcrash_async_task_memcpy(task, at, 0, &entry, sizeof entry) != 0) {
            return count > 0 ? count : list_alone(list, out, capacity);
        }
        at = reinterpret_cast<uint64_t>(entry.l_next);
        if (const elf_image* listed = listed_with_bias(list, entry.l_addr)) {
            out[count++] = listed;
        } else if (pool != nullptr && pooled < pool->capacity &&
                   elf_image_open_at(&pool->slots[pooled], task, entry.l_name, entry.l_addr) == 0) {
            out[count++] = &pool->slots[pooled++];
        }
    }
    return count;
}

void zvcrash_set_link_map_record(uint64_t address) {
    g_link_map_record.store(address, std::memory_order_relaxed);
}
