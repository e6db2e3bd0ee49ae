// Fuzz target: the log store's loader. The first byte picks the use of the rest: even, the
// bytes are the whole "Logs.sqlite" (the store must open, load and never crash); odd, they are
// split into one row's "log" and "targetToken" stored among two good rows, which must still load.
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const fs::path& scratchRoot() {
    // Kept on the heap: the exit handler below runs after static objects are gone.
    static const fs::path* root = [] {
        ZVTLogger::setLogHandler({});
        // The store writes and syncs its file on every input: a memory-backed folder, when the
        // system has one, keeps the disk out of the loop.
        std::error_code shm;
        const fs::path base = fs::is_directory("/dev/shm", shm) && access("/dev/shm", W_OK) == 0
                                  ? fs::path("/dev/shm")
                                  : fs::temp_directory_path();
        std::string tmpl = (base / "zvt-fuzz-db-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) std::abort();
        setenv("XDG_DATA_HOME", (fs::path(tmpl) / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (fs::path(tmpl) / "config").c_str(), 1);
        ZVTApplicationInfo::setCurrent({"dev.gridlark.fuzz", "1", "1", "en", 0, 0});
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(scratchRoot(), ec);
        });
        return new fs::path(tmpl);
    }();
    return *root;
}

std::shared_ptr<ZVTLog> goodLog(const char* type) {
    auto log = std::make_shared<ZVTAbstractLog>();
    log->setType(type);
    log->setTimestamp(ZVTDate(std::chrono::milliseconds(1)));
    return log;
}

size_t loadAll(ZVTLogDBStorage& store) {
    size_t count = 0;
    store.loadLogsWithGroupId("G", UINT64_MAX, std::nullopt,
                              [&](const auto& logs, const auto&) { count = logs.size(); });
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::error_code ec;
    fs::remove_all(scratchRoot() / "data", ec);
    ZVTUtility::resetZevOzozidDirectory();
    const fs::path folder = ZVTUtility::zevOzozidDirectoryURL();
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] % 2 == 0) {
        std::ofstream(folder / "Logs.sqlite", std::ios::binary) << rest;
        ZVTLogDBStorage store;
        (void)loadAll(store);
        return 0;
    }
    ZVTLogDBStorage store;
    store.saveLog(goodLog("first"), "G", 1);
    ZVTStorageBindableArray values;
    const size_t cut = rest.size() / 2;
    values.addString(rest.substr(0, cut));
    values.addString(rest.substr(cut));
    store.executeNonSelectionQuery(
        "INSERT INTO \"logs\" (\"groupId\", \"log\", \"targetToken\", \"priority\") "
        "VALUES ('G', ?, ?, 1)",
        &values);
    store.saveLog(goodLog("last"), "G", 1);
    if (loadAll(store) < 2) std::abort();
    return 0;
}
