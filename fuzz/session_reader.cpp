// Fuzz target: arbitrary bytes loaded as a session file through the whole loading pipeline.
// Whatever the bytes, the load must end cleanly (loaded or refused) with its lists aligned.
#include "session/MVGLDFileManager.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

std::filesystem::path scratch;

void removeScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

// A folder of the run's own for the session file and for everything a load writes besides
// (recent documents, usage records, the scratch cache): the user's own settings stay untouched.
std::filesystem::path prepareScratch() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "gridlark-fuzz-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    scratch = tmpl;
    for (const char* sub : {"config", "data", "cache"}) {
        std::filesystem::create_directories(scratch / sub);
    }
    setenv("HOME", scratch.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (scratch / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (scratch / "cache").c_str(), 1);
    std::atexit(removeScratch);
    return scratch / "session.gld";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path file = prepareScratch();
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    MVGLDFileManager manager;
    manager.loadGLDFileWithURL(file);
    const size_t n = manager.gldFileNames().size();
    if (manager.arrayOfSamples().size() != n || manager.arrayOfAllLaps().size() != n ||
        manager.arrayOfWholeFileMVLaps().size() != n || n > 1) {
        std::abort();
    }
    return 0;
}
