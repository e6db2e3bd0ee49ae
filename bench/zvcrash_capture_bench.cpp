// Crash capture as the user waits for it: a fresh child with 20 parked threads faults; the time
// from the fault to the report closed on disk (stamped by the user callback) and the report size.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void BM_CrashToReportClosed(benchmark::State& state) {
#ifndef ZVCRASH_CRASH_CHILD
    state.SkipWithError("the crash child is built with the tests");
    return;
#else
    std::string templ = (fs::temp_directory_path() / "zvcrash_bench.XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    double size = 0;
    for (auto _ : state) {
        const pid_t child = fork();
        if (child == 0) {
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            execl(ZVCRASH_CRASH_CHILD, ZVCRASH_CRASH_CHILD, "bench", templ.c_str(), "--threads",
                  "20", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        long long elapsed = 0;
        std::ifstream(fs::path(templ) / "elapsed") >> elapsed;
        state.SetIterationTime(static_cast<double>(elapsed) / 1e9);
        // Each run leaves its report in a slot of its own name: measured, then removed.
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(
                 fs::path(templ) / "org.gridlark.crashreporter" / "crash_child", ec)) {
            if (entry.path().filename().string().rfind("live_report.", 0) != 0) continue;
            size = static_cast<double>(entry.file_size(ec));
            fs::remove(entry.path(), ec);
        }
    }
    state.counters["report_bytes"] = size;
    fs::remove_all(templ);
#endif
}
BENCHMARK(BM_CrashToReportClosed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

}  // namespace
BENCHMARK_MAIN();
