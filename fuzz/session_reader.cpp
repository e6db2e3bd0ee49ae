// Fuzz target: arbitrary bytes loaded as a session through the whole loading pipeline, from
// memory, by a manager of their own. Whatever the bytes, the load must end cleanly (loaded or
// refused) with its lists aligned. Nothing is printed per input, no file is written, no user
// store is touched and nothing of an input outlives it: the timing lines are off, the load
// records no usage and notes no recent document, its main-queue task runs at its end, and the
// manager (with everything it loaded) is gone when the input is done. The shipped circuit
// database is read once per run and shared, unchanged, by every input's manager.
#include "session/MVCircuitDatabase.h"
#include "session/MVGLDFileManager.h"
#include "session/MVStepTimer.h"

#include "platform/Dispatch.h"
#include "platform/Folders.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

namespace {

std::filesystem::path scratch;

void removeScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

// The stores a load could read (user defaults, the diagnostic log's switch) point into a folder
// of the run's own, so the user's settings are never read or changed.
bool prepareRun() {
    MVStepTimer::setLinesEnabled(false);
    std::string tmpl = (std::filesystem::temp_directory_path() / "gridlark-fuzz-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    scratch = tmpl;
    setenv("HOME", scratch.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (scratch / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (scratch / "cache").c_str(), 1);
    std::atexit(removeScratch);
    return true;
}

std::shared_ptr<const std::string> shippedDatabase() {
    auto text = platform::folders::readFile(MVCircuitDatabase::shippedDatabasePath());
    if (!text) std::abort();
    return std::make_shared<const std::string>(std::move(*text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool prepared = prepareRun();
    static const auto database = shippedDatabase();
    (void)prepared;
    MVGLDFileManager manager;
    manager.setRecordsUsage(false);
    manager.setCircuitDatabaseText(database);
    manager.startGLDProcessWithData(std::string(reinterpret_cast<const char*>(data), size),
                                    "session.gld", false);
    // What the load left for the main thread (the display rule) runs here, as the program's main
    // thread runs it: a task left queued would outlive the input, and an input that ends with
    // more allocated than it began with costs libFuzzer a leak search of the whole process.
    platform::mainQueue().drain();
    const size_t n = manager.gldFileNames().size();
    if (manager.arrayOfSamples().size() != n || manager.arrayOfAllLaps().size() != n ||
        manager.arrayOfWholeFileMVLaps().size() != n || n > 1) {
        std::abort();
    }
    return 0;
}
