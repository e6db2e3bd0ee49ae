#pragma once

#include "ZVCrashReporter/Source/async/LoadedImageList.h"

#include <filesystem>
#include <memory>

// The writing side of the crash-time image list, run at enable and by image callbacks, never in
// a signal handler: it allocates. Writers serialise on the list's spin lock; a node unlinked while
// a reader is announced goes to the free list (and its image is never freed), so readers at crash
// time never see freed memory.

void loaded_image_list_init(loaded_image_list* list, zvcrash_task_t task);
// Opens the image and appends it; false (nothing listed) when it cannot be opened.
bool loaded_image_list_append(loaded_image_list* list, const char* path, uint64_t bias,
                              uint64_t phdr_address, uint32_t phnum);
// Appends an image that is already open (its record is copied).
void loaded_image_list_append_image(loaded_image_list* list, const elf_image& image);
// Unlinks the first image whose header address matches; nothing when none does.
void loaded_image_list_remove(loaded_image_list* list, uint64_t header_address);
// Frees the list with every image it listed; only when nobody can read it any more.
void loaded_image_list_free(loaded_image_list* list);

// Fills the list with every image loaded now (dl_iterate_phdr; the executable named by
// /proc/self/exe, with its .symtab read from that file into a sorted table). At enable only.
void loaded_image_list_add_loaded_images(loaded_image_list* list);

// A pool for the crash-time link-map walk, made once at enable and never freed.
zvcrash_image_pool zvcrash_image_pool_make(size_t capacity);
// For a pool that nobody reads any more (tests, a live report's own pool).
void zvcrash_image_pool_free(zvcrash_image_pool* pool);

// Reads the sized function symbols of an ELF file's .symtab, relocated by bias and sorted by
// address. Null when the file has no readable .symtab. The table lives as long as the process.
const zvcrash_static_symbols* zvcrash_load_static_symbols(const std::filesystem::path& file,
                                                          uint64_t bias);
