// The loading pipeline against its floor, the bare parse (the file read and every number of
// "[data]" parsed once on one thread, tools/BareParse.h), on generated sessions of 1 h and 8 h at
// 10, 25 and 50 Hz (12 channels, video), side by side in one run:
//   Warm/...    repeated loads in this process: the whole load (read to aligned laps) with the
//               rows and follow-ups on 1, 2 and 4 threads and the default (threads:0), the reader
//               alone, and the bare parse. Counter x_bare: the case's time over the bare parse's
//               median, measured in the same case.
//   Cold/...    first loads in a fresh process, counted from its start to its end:
//               tools/gld-load-once [--bare] [--threads N], timed from outside. Counters x_bare
//               (over the same for --bare) and x_file (the process's peak memory over the file's
//               size).
// The sessions are generated once (the 8 h ones take a while) into a temporary folder that is
// removed at exit.
#include "tests/support/SessionGenerator.h"
#include "tools/BareParse.h"

#include "session/MVGLDFileManager.h"
#include "session/MVGLDReader.h"
#include "session/MVGLDRowReader.h"
#include "session/MVStepTimer.h"

#include "platform/ChildProcess.h"
#include "platform/UserDefaults.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#ifndef GLD_LOAD_ONCE
#define GLD_LOAD_ONCE "gld-load-once"
#endif

namespace {

namespace fs = std::filesystem;

struct Sessions {
    static Sessions& shared() {
        static Sessions sessions;
        return sessions;
    }

    // The session of `hours` at `rate` Hz, generated at first use.
    const fs::path& file(int hours, int rate) {
        auto& path = files[{hours, rate}];
        if (path.empty()) {
            testing_support::SessionOptions options;
            options.durationHours = hours;
            options.rateHz = rate;
            options.withHeading = true;
            options.withHeight = true;
            options.withVideo = true;
            options.extraChannels = 3;  // 12 channels in all
            const auto session = testing_support::generateSession(options);
            path = folder /
                   ("session-" + std::to_string(hours) + "h-" + std::to_string(rate) + "hz.gld");
            testing_support::writeSessionFile(path, session.text);
        }
        return path;
    }

    fs::path folder;
    std::map<std::pair<int, int>, fs::path> files;
    std::unique_ptr<platform::UserDefaults> defaults;

    Sessions() {
        folder =
            fs::temp_directory_path() / ("gridlark-pipeline-bench-" + std::to_string(getpid()));
        fs::create_directories(folder);
        // Loads record usage in the user defaults: keep them out of the user's own store (the
        // child processes inherit this).
        setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
        setenv("HOME", folder.c_str(), 1);
        defaults = std::make_unique<platform::UserDefaults>(folder / "defaults.json");
        MVStepTimer::setLinesEnabled(false);
    }
    ~Sessions() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

int hoursOf(const benchmark::State& state) {
    return static_cast<int>(state.range(0));
}
int rateOf(const benchmark::State& state) {
    return static_cast<int>(state.range(1));
}
const fs::path& sessionOf(const benchmark::State& state) {
    return Sessions::shared().file(hoursOf(state), rateOf(state));
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void bareParse(const fs::path& path) {
    const std::string text = bare_parse::readFile(path.c_str());
    auto numbers = bare_parse::numbersOfData(text);
    benchmark::DoNotOptimize(numbers.data());
}

double bareMedian(const fs::path& path) {
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) times.push_back(secondsOf([&] { bareParse(path); }));
    return median(times);
}

// The time of each iteration over the bare parse's median.
void compareWithBare(benchmark::State& state, const std::vector<double>& times,
                     const fs::path& path) {
    state.counters["x_bare"] = median(times) / bareMedian(path);
}

void Warm_WholeLoad(benchmark::State& state) {
    const fs::path& path = sessionOf(state);
    MVGLDRowReader::setDefaultThreads(static_cast<unsigned>(state.range(2)));
    std::vector<double> times;
    for (auto _ : state) {
        const double seconds = secondsOf([&] {
            MVGLDFileManager manager;
            if (!manager.loadGLDFileWithURL(path)) state.SkipWithError("the session did not load");
        });
        state.SetIterationTime(seconds);
        times.push_back(seconds);
    }
    MVGLDRowReader::setDefaultThreads(0);
    compareWithBare(state, times, path);
}

void Warm_ReaderAlone(benchmark::State& state) {
    const fs::path& path = sessionOf(state);
    const auto threads = static_cast<unsigned>(state.range(2));
    std::vector<double> times;
    for (auto _ : state) {
        const double seconds = secondsOf([&] {
            auto reading = MVGLDReader::readGLDSession(path, threads);
            benchmark::DoNotOptimize(reading.samples.rows.size());
        });
        state.SetIterationTime(seconds);
        times.push_back(seconds);
    }
    compareWithBare(state, times, path);
}

void Warm_BareParse(benchmark::State& state) {
    const fs::path& path = sessionOf(state);
    for (auto _ : state) state.SetIterationTime(secondsOf([&] { bareParse(path); }));
}

// One fresh process of gld-load-once: its wall time from start to end and its peak memory (kB).
std::pair<double, double> loadOnce(const std::vector<std::string>& options, const fs::path& path) {
    std::vector<std::string> argv{GLD_LOAD_ONCE};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(path.string());
    platform::ProcessResult result;
    const double seconds = secondsOf([&] { result = platform::runProcess(argv); });
    if (!result.succeeded()) return {-1.0, 0.0};
    double peak = 0.0;
    if (const auto at = result.standardError.find("peak memory "); at != std::string::npos) {
        peak = std::atof(result.standardError.c_str() + at + 12);
    }
    return {seconds, peak};
}

void Cold_WholeLoad(benchmark::State& state) {
    const fs::path& path = sessionOf(state);
    std::vector<std::string> options;
    if (state.range(2) != 0) options = {"--threads", std::to_string(state.range(2))};
    std::vector<double> times;
    double peak = 0.0;
    for (auto _ : state) {
        const auto [seconds, kilobytes] = loadOnce(options, path);
        if (seconds < 0) {
            state.SkipWithError("gld-load-once failed");
            return;
        }
        state.SetIterationTime(seconds);
        times.push_back(seconds);
        peak = std::max(peak, kilobytes);
    }
    std::vector<double> bare;
    for (int i = 0; i < 5; ++i) bare.push_back(loadOnce({"--bare"}, path).first);
    state.counters["x_bare"] = median(times) / median(bare);
    state.counters["x_file"] = peak * 1024.0 / static_cast<double>(fs::file_size(path));
}

void Cold_BareParse(benchmark::State& state) {
    const fs::path& path = sessionOf(state);
    double peak = 0.0;
    for (auto _ : state) {
        const auto [seconds, kilobytes] = loadOnce({"--bare"}, path);
        state.SetIterationTime(seconds);
        peak = std::max(peak, kilobytes);
    }
    state.counters["x_file"] = peak * 1024.0 / static_cast<double>(fs::file_size(path));
}

// Hours, rate, threads (0: the default).
void sessionsAndThreads(benchmark::internal::Benchmark* b) {
    b->ArgNames({"hours", "hz", "threads"});
    for (int hours : {1, 8}) {
        for (int rate : {10, 25, 50}) {
            for (int threads : {1, 2, 4, 0}) b->Args({hours, rate, threads});
        }
    }
}

void sessionsOnly(benchmark::internal::Benchmark* b) {
    b->ArgNames({"hours", "hz"});
    for (int hours : {1, 8}) {
        for (int rate : {10, 25, 50}) b->Args({hours, rate});
    }
}

BENCHMARK(Warm_BareParse)->Apply(sessionsOnly)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Warm_WholeLoad)
    ->Apply(sessionsAndThreads)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Warm_ReaderAlone)
    ->Args({1, 25, 1})
    ->Args({1, 25, 4})
    ->ArgNames({"hours", "hz", "threads"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Cold_BareParse)
    ->Apply(sessionsOnly)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Cold_WholeLoad)
    ->Apply(sessionsAndThreads)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
