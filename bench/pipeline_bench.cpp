// The loading pipeline against its floor, the bare parse (the file read and every number of
// "[data]" parsed once on one thread, tools/BareParse.h), on generated sessions of 1 h and 8 h at
// 10, 25 and 50 Hz (12 channels, video), side by side in one run:
//   Warm/...    repeated loads in this process: the whole load (read to aligned laps) with the
//               rows and follow-ups on 1, 2 and 4 threads and the default (threads:0), the reader
//               alone, and the bare parse. Counters x_bare and x_bare_cpu: the case's median
//               real and processor time (all threads) over the bare parse's, measured in the
//               same case.
//   Cold/...    first loads in a fresh process, counted from its start to its end:
//               tools/gld-load-once [--bare] [--threads N], timed from outside. Counters x_bare
//               (over the same for --bare), x_bare_cpu (the processor time the process reports
//               for the load over that of --bare) and x_file (the process's peak memory over the
//               file's size), and x_file_net: the same less the peak of a fresh process that
//               loads a two-lap session, so the process's own fixed memory (its libraries, a
//               few MB that weigh most against a short 10 Hz file) is not counted as the load's.
//               On a busy machine the processor times are the figures to read.
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
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <time.h>
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

    // A two-lap session of the same channels, for the memory a load of almost nothing takes.
    const fs::path& smallFile() {
        if (small.empty()) {
            testing_support::SessionOptions options;
            options.laps = 2;
            options.withHeading = true;
            options.withHeight = true;
            options.withVideo = true;
            options.extraChannels = 3;
            small = folder / "session-small.gld";
            testing_support::writeSessionFile(small,
                                              testing_support::generateSession(options).text);
        }
        return small;
    }

    fs::path folder;
    fs::path small;
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

// Processor time of the whole process (every thread), which a busy machine does not inflate.
double processorSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Real and processor time of one run of `work`.
struct Times {
    double real = 0.0;
    double processor = 0.0;
};
Times timesOf(const std::function<void()>& work) {
    const double before = processorSeconds();
    Times times;
    times.real = secondsOf(work);
    times.processor = processorSeconds() - before;
    return times;
}

void bareParse(const fs::path& path) {
    const std::string text = bare_parse::readFile(path.c_str());
    auto numbers = bare_parse::numbersOfData(text);
    benchmark::DoNotOptimize(numbers.data());
}

// The medians of the iterations' real and processor times over those of the bare parse, run
// here: x_bare and x_bare_cpu.
void compareWithBare(benchmark::State& state, const std::vector<Times>& times,
                     const fs::path& path) {
    std::vector<Times> bare;
    for (int i = 0; i < 5; ++i) bare.push_back(timesOf([&] { bareParse(path); }));
    const auto medianOf = [](const std::vector<Times>& all, double Times::*field) {
        std::vector<double> values;
        for (const Times& t : all) values.push_back(t.*field);
        return median(values);
    };
    state.counters["x_bare"] = medianOf(times, &Times::real) / medianOf(bare, &Times::real);
    state.counters["x_bare_cpu"] =
        medianOf(times, &Times::processor) / medianOf(bare, &Times::processor);
}

void Warm_WholeLoad(benchmark::State& state) {
    const fs::path& path = sessionOf(state);
    MVGLDRowReader::setDefaultThreads(static_cast<unsigned>(state.range(2)));
    std::vector<Times> times;
    for (auto _ : state) {
        const Times t = timesOf([&] {
            MVGLDFileManager manager;
            if (!manager.loadGLDFileWithURL(path)) state.SkipWithError("the session did not load");
        });
        state.SetIterationTime(t.real);
        times.push_back(t);
    }
    MVGLDRowReader::setDefaultThreads(0);
    compareWithBare(state, times, path);
}

void Warm_ReaderAlone(benchmark::State& state) {
    const fs::path& path = sessionOf(state);
    const auto threads = static_cast<unsigned>(state.range(2));
    std::vector<Times> times;
    for (auto _ : state) {
        const Times t = timesOf([&] {
            auto reading = MVGLDReader::readGLDSession(path, threads);
            benchmark::DoNotOptimize(reading.samples.rows.size());
        });
        state.SetIterationTime(t.real);
        times.push_back(t);
    }
    compareWithBare(state, times, path);
}

void Warm_BareParse(benchmark::State& state) {
    const fs::path& path = sessionOf(state);
    for (auto _ : state) state.SetIterationTime(secondsOf([&] { bareParse(path); }));
}

// One fresh process of gld-load-once: its real time from start to end, the processor time it
// reports for the load, and its peak memory (kB); real time -1 when it failed.
struct Run {
    double real = -1.0;
    double processor = 0.0;
    double peak = 0.0;
};
Run loadOnce(const std::vector<std::string>& options, const fs::path& path) {
    std::vector<std::string> argv{GLD_LOAD_ONCE};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(path.string());
    platform::ProcessResult result;
    Run run;
    const double seconds = secondsOf([&] { result = platform::runProcess(argv); });
    if (!result.succeeded()) return run;
    run.real = seconds;
    const auto number = [&](const char* label) {
        const auto at = result.standardError.find(label);
        return at == std::string::npos
                   ? 0.0
                   : std::atof(result.standardError.c_str() + at + std::strlen(label));
    };
    run.processor = number("processor time ");
    run.peak = number("peak memory ");
    return run;
}

// The largest peak memory (kB) of three fresh processes loading the two-lap session, measured
// once.
double smallLoadPeak() {
    static const double peak = [] {
        double most = 0.0;
        for (int i = 0; i < 3; ++i) {
            most = std::max(most, loadOnce({}, Sessions::shared().smallFile()).peak);
        }
        return most;
    }();
    return peak;
}

void Cold_WholeLoad(benchmark::State& state) {
    const fs::path& path = sessionOf(state);
    std::vector<std::string> options;
    if (state.range(2) != 0) options = {"--threads", std::to_string(state.range(2))};
    std::vector<double> real, processor;
    double peak = 0.0;
    for (auto _ : state) {
        const Run run = loadOnce(options, path);
        if (run.real < 0) {
            state.SkipWithError("gld-load-once failed");
            return;
        }
        state.SetIterationTime(run.real);
        real.push_back(run.real);
        processor.push_back(run.processor);
        peak = std::max(peak, run.peak);
    }
    std::vector<double> bareReal, bareProcessor;
    for (int i = 0; i < 5; ++i) {
        const Run run = loadOnce({"--bare"}, path);
        bareReal.push_back(run.real);
        bareProcessor.push_back(run.processor);
    }
    state.counters["x_bare"] = median(real) / median(bareReal);
    state.counters["x_bare_cpu"] = median(processor) / median(bareProcessor);
    state.counters["x_file"] = peak * 1024.0 / static_cast<double>(fs::file_size(path));
    state.counters["x_file_net"] =
        (peak - smallLoadPeak()) * 1024.0 / static_cast<double>(fs::file_size(path));
}

void Cold_BareParse(benchmark::State& state) {
    const fs::path& path = sessionOf(state);
    double peak = 0.0;
    for (auto _ : state) {
        const Run run = loadOnce({"--bare"}, path);
        state.SetIterationTime(run.real);
        peak = std::max(peak, run.peak);
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
