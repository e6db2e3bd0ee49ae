// The loading pipeline on a generated one-hour session at 25 Hz (90,000 rows, 12 channels): the
// whole load (read to aligned laps), the reader alone, each with the rows read on one thread and
// on four, and beside them the bare parse (the file read and every number of "[data]" parsed
// once), the floor any load is measured against. First loads in a fresh process, with the peak
// memory of one load: tools/gld-load-once [--bare] [--threads N].
#include "bench/HourSession.h"
#include "tools/BareParse.h"

#include "session/MVDerivedSeries.h"
#include "session/MVGLDFileManager.h"
#include "session/MVGLDReader.h"
#include "session/MVGLDRowReader.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include <unistd.h>

namespace {

const std::filesystem::path& hourSession() {
    return HourSession::shared().file;
}

size_t rowCount() {
    static const size_t rows = [] {
        auto text = MVGLDReader::readGLDText(hourSession());
        size_t n = 0;
        for (char c : text.text) n += c == '\n';
        return n;
    }();
    return rows;
}

void BM_WholeLoad(benchmark::State& state) {
    const auto& path = hourSession();
    MVGLDRowReader::setDefaultThreads(static_cast<unsigned>(state.range(0)));
    for (auto _ : state) {
        MVGLDFileManager manager;
        bool ok = manager.loadGLDFileWithURL(path);
        benchmark::DoNotOptimize(ok);
        if (!ok) state.SkipWithError("the session did not load");
    }
    MVGLDRowReader::setDefaultThreads(0);
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rowCount()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WholeLoad)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_BareParse(benchmark::State& state) {
    const auto& path = hourSession();
    for (auto _ : state) {
        const std::string text = bare_parse::readFile(path.c_str());
        auto numbers = bare_parse::numbersOfData(text);
        benchmark::DoNotOptimize(numbers.data());
    }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rowCount()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_BareParse)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReaderAlone(benchmark::State& state) {
    const auto& path = hourSession();
    const auto threads = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        auto reading = MVGLDReader::readGLDSession(path, threads);
        benchmark::DoNotOptimize(reading.samples.rows.size());
    }
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rowCount()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReaderAlone)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
