// Fuzz target: arbitrary bytes loaded as a session file through the whole loading pipeline.
// Whatever the bytes, the load must end cleanly (loaded or refused) with its lists aligned.
#include "session/MVGLDFileManager.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path file = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "gridlark-fuzz-XXXXXX").string();
        int fd = mkstemp(tmpl.data());
        if (fd >= 0) close(fd);
        return std::filesystem::path(tmpl);
    }();
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
