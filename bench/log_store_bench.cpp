// The telemetry log store: saves per second into an empty store and at the 10 MiB cap (every
// save then evicts), bytes on disk per log, loading and deleting 50-log batches, and opening a
// full store as a fresh process does.
#include "tests/ZevOzozid/ZVTStoredDevice.h"

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A fresh XDG_DATA_HOME per benchmark, removed afterwards.
class Scratch {
  public:
    Scratch() {
        std::string tmpl = (fs::temp_directory_path() / "zvt-bench-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) std::abort();
        root_ = tmpl;
        setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        ZVTApplicationInfo::setCurrent({"dev.gridlark.bench", "1.0", "1", "en", 1920, 1080});
        ZVTUtility::resetZevOzozidDirectory();
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root_, ec);
        ZVTUtility::resetZevOzozidDirectory();
    }

  private:
    fs::path root_;
};

// A start-service log as the SDK writes one at every start, with its device.
std::shared_ptr<ZVTLog> startServiceLog(int64_t n) {
    auto log = std::make_shared<ZVTAbstractLog>();
    log->setType("startService");
    log->setTimestamp(ZVTDate(std::chrono::milliseconds(1'767'323'045'678 + n)));
    log->setSid("6B0E1C8F-0F7A-4E55-9D43-3A1F0C2B7E11");
    log->setDevice(zvt_test::storedDevice());
    return log;
}

void fillToCap(ZVTLogDBStorage& store) {
    uint64_t last = 0;
    for (int64_t n = 0;; ++n) {
        store.saveLog(startServiceLog(n), "ZevOzozid", 1);
        if (n % 500 == 0) {
            uint64_t count = store.countLogs();
            if (count == last) break;
            last = count;
        }
    }
}

void BM_SaveIntoEmptyStore(benchmark::State& state) {
    Scratch scratch;
    ZVTLogDBStorage store;
    int64_t n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(store.saveLog(startServiceLog(n++), "ZevOzozid", 1));
    state.SetItemsProcessed(n);
    state.counters["bytes_per_log"] = static_cast<double>(fs::file_size(store.dbFileURL())) /
                                      static_cast<double>(store.countLogs());
}
BENCHMARK(BM_SaveIntoEmptyStore)->Iterations(10000)->Unit(benchmark::kMicrosecond);

void BM_SaveAtCapEvicting(benchmark::State& state) {
    Scratch scratch;
    ZVTLogDBStorage store;
    fillToCap(store);
    const uint64_t count = store.countLogs();
    store.executeNonSelectionQuery("PRAGMA wal_checkpoint(TRUNCATE);");
    state.counters["logs_at_cap"] = static_cast<double>(count);
    state.counters["bytes_per_log"] =
        static_cast<double>(fs::file_size(store.dbFileURL())) / static_cast<double>(count);
    int64_t n = 1'000'000;
    for (auto _ : state)
        benchmark::DoNotOptimize(store.saveLog(startServiceLog(n++), "ZevOzozid", 1));
    state.SetItemsProcessed(n - 1'000'000);
}
BENCHMARK(BM_SaveAtCapEvicting)->Iterations(10000)->Unit(benchmark::kMicrosecond);

void BM_LoadAndDelete50(benchmark::State& state) {
    Scratch scratch;
    ZVTLogDBStorage store;
    for (int64_t n = 0; n < 12000; ++n) store.saveLog(startServiceLog(n), "ZevOzozid", 1);
    for (auto _ : state) {
        std::optional<std::string> batch;
        store.loadLogsWithGroupId("ZevOzozid", 50, std::nullopt,
                                  [&](const auto&, const auto& id) { batch = id; });
        if (batch) store.deleteLogsWithBatchId(*batch, "ZevOzozid");
    }
    state.SetItemsProcessed(state.iterations() * 50);
}
BENCHMARK(BM_LoadAndDelete50)->Iterations(200)->Unit(benchmark::kMicrosecond);

void BM_OpenFullStore(benchmark::State& state) {
    Scratch scratch;
    {
        ZVTLogDBStorage store;
        fillToCap(store);
    }
    for (auto _ : state) {
        ZVTLogDBStorage store;
        benchmark::DoNotOptimize(store.countLogs());
    }
}
BENCHMARK(BM_OpenFullStore)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
