// Fuzz target: arbitrary bytes served as a loaded ELF image (the buffer's address is the load
// bias), opened by the crash-time reader and searched for symbols. Whatever the bytes, the reader
// ends with a code or a consistent record.
#include "ZVCrashReporter/Source/async/ElfImage.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = zvcrash_async_memory_setup() == ZVCRASH_ESUCCESS;
    if (!ready || size > (1u << 20)) return 0;
    std::vector<uint64_t> storage(size / 8 + 1);
    std::memcpy(storage.data(), data, size);
    const auto bias = reinterpret_cast<uint64_t>(storage.data());
    elf_image image;
    if (elf_image_open_at(&image, zvcrash_async_task_self(), "fuzz", bias) != ZVCRASH_ESUCCESS)
        return 0;
    if (image.start > image.end || image.build_id_length > ZVCRASH_BUILD_ID_MAX ||
        image.path[ZVCRASH_PATH_MAX - 1] != '\0') {
        std::abort();
    }
    const uint64_t probes[] = {image.start, image.start + 0x40, image.end - 1};
    for (uint64_t at : probes) {
        elf_image_find_symbol_by_address(
            &image, at,
            [](uint64_t, const char* name, void*) {
                if (name == nullptr) std::abort();
            },
            nullptr);
    }
    return 0;
}
