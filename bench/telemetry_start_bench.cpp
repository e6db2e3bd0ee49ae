// The program's start with and without telemetry, as the user waits for it: the main thread's
// time from before the SDK and its analytics and crash services are started to their return, in
// a fresh process each time (this executable run again with --child). Cases: telemetry off (the
// switch), a first start (no store yet), a start over a full 10 MiB store, and one over a
// damaged full store (salvaged at open), and a start after a crash (a pending crash report left by
// a run that aborted). The store's work runs on the logs queue; the child waits for it after the
// timing, so its cost is also reported ("logs_queue_ms").
#include "tests/ZevOzozid/ZVTStoredDevice.h"

#include "platform/ChildProcess.h"
#include "platform/Dispatch.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuziz.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduv.h"

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* g_self = nullptr;
const ZVTApplicationInfo kApp{"dev.gridlark.startbench", "1.0", "1", "en", 1920, 1080};

void useHome(const fs::path& home) {
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    setenv("XDG_STATE_HOME", (home / "state").c_str(), 1);
}

// In the child: prints "<main thread us> <logs queue us>".
int runChild(const std::string& mode, const fs::path& home) {
    useHome(home);
    platform::mainQueue().bindToCurrentThread();
    const auto began = Clock::now();
    if (mode != "off") {
        ZVTApplicationInfo::setCurrent(kApp);
        ZVTZevOzozid::setNetworkRequestsAllowed(false);
        ZVTZevOzozid::start(
            "7d3e9b52-1c4a-4f86-a0d7-58e2c61b94f3",
            std::vector{ZVTServiceClass::of<ZVTZerevuziz>(), ZVTServiceClass::of<ZVTZeroduv>()});
    }
    const auto started = Clock::now();
    if (mode != "off") ZVTZevOzozid::waitForLogsQueue(std::chrono::seconds(30));
    if (mode == "crash") std::abort();
    const auto settled = Clock::now();
    using std::chrono::duration_cast;
    using std::chrono::microseconds;
    std::printf("%lld %lld\n",
                static_cast<long long>(duration_cast<microseconds>(started - began).count()),
                static_cast<long long>(duration_cast<microseconds>(settled - started).count()));
    std::fflush(stdout);
    std::_Exit(0);
}

class Scratch {
  public:
    Scratch() {
        std::string tmpl = (fs::temp_directory_path() / "zvt-start-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) std::abort();
        root_ = tmpl;
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const fs::path& root() const { return root_; }

  private:
    fs::path root_;
};

// A full store (10 MiB of start-service logs), left checkpointed in `home`; its folder's path
// below the home.
fs::path makeFullStore(const fs::path& home) {
    useHome(home);
    ZVTApplicationInfo::setCurrent(kApp);
    ZVTUtility::resetZevOzozidDirectory();
    ZVTLogDBStorage store;
    uint64_t last = 0;
    for (int64_t n = 0;; ++n) {
        auto log = std::make_shared<ZVTAbstractLog>();
        log->setType("startService");
        log->setTimestamp(ZVTDate(std::chrono::milliseconds(1'767'323'045'678 + n)));
        log->setDevice(zvt_test::storedDevice());
        store.saveLog(log, "ZevOzozid", 1);
        if (n % 500 == 0) {
            const uint64_t count = store.countLogs();
            if (count == last) break;
            last = count;
        }
    }
    store.executeNonSelectionQuery("PRAGMA wal_checkpoint(TRUNCATE);");
    return fs::relative(store.dbFileURL().parent_path(), home);
}

void damage(const fs::path& file) {
    std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(static_cast<std::streamoff>(fs::file_size(file) / 2 / 4096 * 4096));
    const std::string junk(4096, '\x5a');
    out.write(junk.data(), static_cast<std::streamsize>(junk.size()));
}

// A home holding what a run that crashed left: its store and its pending crash report.
void makeCrashedHome(const fs::path& home) {
    platform::ProcessOptions options;
    options.timeout = std::chrono::seconds(60);
    const auto result = platform::runProcess({g_self, "--child", "crash", home.string()}, options);
    if (result.signal == 0) std::abort();
}

enum class Store { None, Full, Damaged, Crashed };

void startOnce(benchmark::State& state, const char* mode, Store kind) {
    Scratch full;
    fs::path folder;
    if (kind == Store::Full || kind == Store::Damaged) folder = makeFullStore(full.root());
    if (kind == Store::Crashed) makeCrashedHome(full.root());
    double queueMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Scratch home;
        if (kind == Store::Crashed) {
            fs::copy(full.root(), home.root(), fs::copy_options::recursive);
        } else if (kind != Store::None) {
            fs::create_directories(home.root() / folder);
            fs::copy(full.root() / folder, home.root() / folder, fs::copy_options::recursive);
            if (kind == Store::Damaged) damage(home.root() / folder / "Logs.sqlite");
        }
        state.ResumeTiming();
        platform::ProcessOptions options;
        options.timeout = std::chrono::seconds(60);
        const auto result =
            platform::runProcess({g_self, "--child", mode, home.root().string()}, options);
        long long mainUs = 0, queueUs = 0;
        if (result.exitCode != 0 ||
            std::sscanf(result.standardOutput.c_str(), "%lld %lld", &mainUs, &queueUs) != 2) {
            state.SkipWithError("the child failed");
            return;
        }
        state.SetIterationTime(static_cast<double>(mainUs) / 1e6);
        queueMs += static_cast<double>(queueUs) / 1e3;
    }
    state.counters["logs_queue_ms"] =
        benchmark::Counter(queueMs / static_cast<double>(state.iterations()));
}

// Each start in a fresh process: the main thread's milliseconds are the time reported.
#define START_CASE(name, mode, kind)               \
    BENCHMARK_CAPTURE(startOnce, name, mode, kind) \
        ->UseManualTime()                          \
        ->Iterations(10)                           \
        ->Unit(benchmark::kMillisecond)
START_CASE(TelemetryOff, "off", Store::None);
START_CASE(FirstRun, "on", Store::None);
START_CASE(FullStore, "on", Store::Full);
START_CASE(DamagedStore, "on", Store::Damaged);
START_CASE(AfterACrash, "on", Store::Crashed);

}  // namespace

int main(int argc, char** argv) {
    g_self = argv[0];
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return runChild(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
