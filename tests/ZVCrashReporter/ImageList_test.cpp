#include "tests/ZVCrashReporter/zvtest/zvtest_library.h"

#include "ZVCrashReporter/Source/ZVLoadedImages.h"
#include "ZVCrashReporter/Source/async/SymbolLookup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <link.h>

namespace {

__attribute__((noinline)) int executableStaticFunction(void* p) {
    return p != nullptr ? 1 : 2;
}

struct Named {
    uint64_t address = 0;
    std::string name;
};

Named symbolAt(const elf_image* image, uint64_t address, zvcrash_error_t* error = nullptr) {
    Named named;
    const zvcrash_error_t err = find_symbol_for_address(
        image, ZVCRASH_SYMBOLICATE_SYMBOL_TABLE, address,
        [](uint64_t at, const char* name, void* context) {
            *static_cast<Named*>(context) = Named{at, name};
        },
        &named);
    if (error != nullptr) *error = err;
    return named;
}

std::string hex(const uint8_t* bytes, size_t n) {
    std::string out;
    char buf[3];
    for (size_t i = 0; i < n; ++i) {
        snprintf(buf, sizeof buf, "%02x", bytes[i]);
        out += buf;
    }
    return out;
}

// The images of this process as dl_iterate_phdr gives them: (bias, phdrs, phnum).
struct Loaded {
    uint64_t bias, phdrs;
    uint32_t phnum;
};
std::vector<Loaded> loadedNow() {
    std::vector<Loaded> all;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            static_cast<std::vector<Loaded>*>(data)->push_back(
                {info->dlpi_addr, reinterpret_cast<uint64_t>(info->dlpi_phdr), info->dlpi_phnum});
            return 0;
        },
        &all);
    return all;
}

std::vector<uint64_t> walk(loaded_image_list* list) {
    std::vector<uint64_t> biases;
    loaded_image_list_set_reading(list, true);
    loaded_image_list_cursor cursor{nullptr};
    while (loaded_image* image = loaded_image_list_next(list, &cursor))
        biases.push_back(image->image.bias);
    loaded_image_list_set_reading(list, false);
    return biases;
}

TEST(ImageListTest, AppendRemoveAndReuse) {
    const std::vector<Loaded> loaded = loadedNow();
    ASSERT_GE(loaded.size(), 3u);
    loaded_image_list list;
    loaded_image_list_init(&list, zvcrash_async_task_self());
    // Unreadable program headers: not listed.
    EXPECT_FALSE(loaded_image_list_append(&list, "bad", 0, 8, 3));
    EXPECT_FALSE(loaded_image_list_append(&list, "huge", loaded[0].bias, loaded[0].phdrs, 100000));
    EXPECT_TRUE(walk(&list).empty());

    ASSERT_TRUE(
        loaded_image_list_append(&list, "a", loaded[0].bias, loaded[0].phdrs, loaded[0].phnum));
    loaded_image_list_set_reading(&list, true);
    loaded_image_list_cursor cursor{nullptr};
    loaded_image* held = loaded_image_list_next(&list, &cursor);
    loaded_image_list_set_reading(&list, false);
    loaded_image_list_remove(&list, 12345);  // not listed: nothing changes
    EXPECT_EQ(walk(&list).size(), 1u);
    loaded_image_list_remove(&list, held->image.header_address);  // the only image
    EXPECT_EQ(list.body->head.load(), nullptr);
    EXPECT_EQ(list.body->tail, nullptr);
    EXPECT_EQ(std::string(held->image.path), "a");  // a reader that held it can still use it

    for (size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(
            loaded_image_list_append(&list, "b", loaded[i].bias, loaded[i].phdrs, loaded[i].phnum));
    }
    EXPECT_EQ(walk(&list), (std::vector<uint64_t>{loaded[0].bias, loaded[1].bias, loaded[2].bias}));
    // Unlinked nodes go to the free list (remove holds the reading mark) and are reused.
    loaded_image_list_set_reading(&list, true);
    cursor = {nullptr};
    loaded_image_list_next(&list, &cursor);
    const uint64_t middle = loaded_image_list_next(&list, &cursor)->image.header_address;
    const uint64_t last = loaded_image_list_next(&list, &cursor)->image.header_address;
    loaded_image_list_set_reading(&list, false);
    loaded_image_list_remove(&list, middle);
    loaded_image_list_remove(&list, last);
    EXPECT_EQ(walk(&list), (std::vector<uint64_t>{loaded[0].bias}));
    image_list_node* freeHead = list.body->free_list;
    ASSERT_NE(freeHead, nullptr);
    ASSERT_TRUE(
        loaded_image_list_append(&list, "c", loaded[2].bias, loaded[2].phdrs, loaded[2].phnum));
    EXPECT_EQ(list.body->tail, freeHead);
    EXPECT_NE(list.body->free_list, nullptr);  // the other free node stays
    EXPECT_EQ(walk(&list), (std::vector<uint64_t>{loaded[0].bias, loaded[2].bias}));
    loaded_image_list_free(&list);
}

class LiveImagesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        zvcrash_async_memory_setup();
        list_ = new loaded_image_list;
        loaded_image_list_init(list_, zvcrash_async_task_self());
        loaded_image_list_add_loaded_images(list_);
    }
    static const elf_image* imageFor(const void* address) {
        loaded_image_list_set_reading(list_, true);
        loaded_image* image =
            loaded_image_list_find_containing(list_, reinterpret_cast<uint64_t>(address));
        loaded_image_list_set_reading(list_, false);
        return image != nullptr ? &image->image : nullptr;
    }
    static void TearDownTestSuite() {
        loaded_image_list_free(list_);
        delete list_;
    }
    static loaded_image_list* list_;
};
loaded_image_list* LiveImagesTest::list_ = nullptr;

TEST_F(LiveImagesTest, BuildIdAndSymbolsOfTheRunningProcess) {
    const elf_image* lib = imageFor(reinterpret_cast<void*>(&zvtest_exported));
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ("0x" + hex(lib->build_id, lib->build_id_length), ZVTEST_BUILD_ID);
    EXPECT_NE(std::string(lib->path).find("libzvtest.so"), std::string::npos);
    EXPECT_NE(lib->eh_frame, 0u);

    const uint64_t exported = reinterpret_cast<uint64_t>(&zvtest_exported);
    EXPECT_EQ(symbolAt(lib, exported + 1).name, "zvtest_exported");
    EXPECT_EQ(symbolAt(lib, exported + 1).address, exported);

    const auto local = reinterpret_cast<uint64_t>(&executableStaticFunction);
    const elf_image* exe = imageFor(reinterpret_cast<void*>(local));
    ASSERT_NE(exe, nullptr);
    ASSERT_NE(exe->static_symbols, nullptr);
    EXPECT_NE(symbolAt(exe, local).name.find("executableStaticFunction"), std::string::npos);

    const auto sortAddress = reinterpret_cast<uint64_t>(&qsort);
    const elf_image* libc = imageFor(reinterpret_cast<void*>(sortAddress));
    ASSERT_NE(libc, nullptr);
    // Under the address sanitizer qsort is its interceptor, named so.
    const std::string sortName = symbolAt(libc, sortAddress + 2).name;
    EXPECT_TRUE(sortName == "qsort" || sortName == "__interceptor_qsort") << sortName;

    // The library's static helper lies past every sized export: no far export may name it.
    const auto helper = reinterpret_cast<uint64_t>(zvtest_static_helper_address());
    zvcrash_error_t error = ZVCRASH_ESUCCESS;
    const Named named = symbolAt(lib, helper, &error);
    if (error == ZVCRASH_ESUCCESS) {
        EXPECT_EQ(named.name.find("zvtest_"), std::string::npos) << named.name;
    }
    // Strategy 0 reads nothing.
    EXPECT_EQ(find_symbol_for_address(
                  lib, 0, exported, [](uint64_t, const char*, void*) {}, nullptr),
              ZVCRASH_ENOTFOUND);
}

TEST_F(LiveImagesTest, LibraryOpenedAfterEnableIsFoundThroughTheLinkMap) {
    void* handle = dlopen(ZVTEST_LATE_PATH, RTLD_NOW);
    ASSERT_NE(handle, nullptr) << dlerror();
    zvcrash_image_pool pool = zvcrash_image_pool_make(16);
    std::vector<const elf_image*> images(ZVCRASH_MAX_LINK_MAP);
    loaded_image_list_set_reading(list_, true);
    const size_t count = zvcrash_collect_images(list_, &pool, images.data(), images.size());
    loaded_image_list_set_reading(list_, false);
    std::set<uint64_t> collected;
    bool lateFound = false;
    for (size_t i = 0; i < count; ++i) {
        collected.insert(images[i]->bias);
        if ("0x" + hex(images[i]->build_id, images[i]->build_id_length) == ZVTEST_LATE_BUILD_ID) {
            lateFound = true;
            void* late = dlsym(handle, "zvtest_late_exported");
            ASSERT_NE(late, nullptr);
            EXPECT_TRUE(elf_image_contains_address(images[i], reinterpret_cast<uint64_t>(late)));
            EXPECT_EQ(symbolAt(images[i], reinterpret_cast<uint64_t>(late)).name,
                      "zvtest_late_exported");
        }
    }
    EXPECT_TRUE(lateFound);
    std::set<uint64_t> expected;
    for (const Loaded& l : loadedNow()) expected.insert(l.bias);
    EXPECT_EQ(collected, expected);
    zvcrash_image_pool_free(&pool);
    dlclose(handle);
}

TEST(ImageListTest, ReadersRunWhileImagesComeAndGo) {
    loaded_image_list list;
    loaded_image_list_init(&list, zvcrash_async_task_self());
    loaded_image_list_add_loaded_images(&list);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop.load()) {
            loaded_image_list_set_reading(&list, true);
            loaded_image_list_cursor cursor{nullptr};
            while (loaded_image* image = loaded_image_list_next(&list, &cursor)) {
                (void)elf_image_contains_address(&image->image, reinterpret_cast<uint64_t>(&stop));
            }
            loaded_image_list_set_reading(&list, false);
        }
    });
    for (int i = 0; i < 20; ++i) {
        void* handle = dlopen(ZVTEST_LATE_PATH, RTLD_NOW);
        ASSERT_NE(handle, nullptr);
        void* symbol = dlsym(handle, "zvtest_late_exported");
        Dl_info info{};
        link_map* map = nullptr;
        ASSERT_TRUE(dladdr1(symbol, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP));
        elf_image image;
        ASSERT_EQ(elf_image_open_at(&image, list.task, map->l_name, map->l_addr), ZVCRASH_ESUCCESS);
        loaded_image_list_append_image(&list, image);
        dlclose(handle);
        loaded_image_list_remove(&list, image.header_address);
    }
    stop = true;
    reader.join();
    std::set<uint64_t> listed;
    for (uint64_t bias : walk(&list)) listed.insert(bias);
    std::set<uint64_t> expected;
    for (const Loaded& l : loadedNow()) expected.insert(l.bias);
    EXPECT_EQ(listed, expected);
    loaded_image_list_free(&list);
}

}  // namespace
