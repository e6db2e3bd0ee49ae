#pragma once

#include "ZVCrashReporter/Source/async/ElfImage.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

// The list of loaded images that crash-time code reads without a lock. Writers (enable time,
// ZVLoadedImages.h) serialise on a spin lock and never free a node while a reader is announced;
// readers only bracket their use with loaded_image_list_set_reading(true ... false). The reading
// functions here are safe in a signal handler.

struct loaded_image {
    elf_image image;
    loaded_image* retired_next;  // chain of removed images, freed with the list
};

struct image_list_node {
    loaded_image* image;
    image_list_node* previous;
    std::atomic<image_list_node*> next;
};

struct loaded_image_list_body {
    std::atomic_flag writer_lock;
    std::atomic<image_list_node*> head;
    image_list_node* tail;
    std::atomic<int32_t> readers;
    image_list_node* free_list;
    loaded_image* retired;  // removed images: a reader may still hold one
};

struct loaded_image_list {
    zvcrash_task_t task;
    loaded_image_list_body* body;
};

// A reader's position; it lives with the reader, never in the shared list.
struct loaded_image_list_cursor {
    image_list_node* node;
};

void loaded_image_list_set_reading(loaded_image_list* list, bool reading);
// The first image (cursor->node null) or the one after the cursor's; null at the end. The caller
// holds the reading mark.
loaded_image* loaded_image_list_next(loaded_image_list* list, loaded_image_list_cursor* cursor);
// The first listed image whose range holds address, or null. The caller holds the reading mark.
loaded_image* loaded_image_list_find_containing(loaded_image_list* list, uint64_t address);

// Storage made at enable for images that the crash-time link-map walk finds but the list lacks.
struct zvcrash_image_pool {
    elf_image* slots;
    size_t capacity;
};

inline constexpr size_t ZVCRASH_MAX_LINK_MAP = 1024;

// The dynamic linker's own debug record, found at enable through the executable's DT_DEBUG
// entry: the executable's copy of _r_debug (a copy relocation) keeps a stale state. Without it
// the walk reads _r_debug.
void zvcrash_set_link_map_record(uint64_t address);

// The images of one report: the dynamic linker's link map (at most 1024 entries, read with
// checked reads), each entry taken from the list when listed (same load bias) and otherwise
// opened into the pool; when the link map is not consistent, or cannot be read, the list alone.
// out holds capacity pointers. Returns the count. The caller holds the list's reading mark.
size_t zvcrash_collect_images(loaded_image_list* list, zvcrash_image_pool* pool,
                              const elf_image** out, size_t capacity);
