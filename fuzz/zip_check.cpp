// Checks and unpacks arbitrary bytes as a downloaded circuit-database archive, into a fresh
// staging folder per input, and stops the run if anything lands beside the staging folder.
#include "transfer/core/MVZipArchive.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

// One scratch folder for the whole run, removed at exit; each input gets "staging" inside it.
// The path is never destroyed, so the exit handler still finds it.
const std::filesystem::path& scratch() {
    static const std::filesystem::path* folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zip-check-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        auto* made = new std::filesystem::path(pattern);
        std::atexit([] {
            std::error_code error;
            std::filesystem::remove_all(scratch(), error);
        });
        return made;
    }();
    return *folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path staging = scratch() / "staging";
    std::error_code error;
    std::filesystem::remove_all(staging, error);
    std::filesystem::create_directory(staging, error);
    MVZipArchive::Limits limits;
    limits.maxTotalBytes = 8u << 20;
    limits.maxEntryBytes = 4u << 20;
    (void)MVZipArchive::extractBytes(std::string_view(reinterpret_cast<const char*>(data), size),
                                     staging, limits);
    for (const auto& entry : std::filesystem::directory_iterator(scratch())) {
        if (entry.path() != staging) std::abort();  // something escaped the staging folder
    }
    std::filesystem::remove_all(staging, error);
    return 0;
}
