// Sessions with a long run of bytes without a line break: a card that lost power leaves its last
// block zero-filled, here 64 MB of NUL bytes after the last row, and a file of one 64 MB line. The
// whole load of the first (its laps are kept) and the refusal of the second, each in a fresh
// manager; the time grows with the file's length, never with its square.
#include "tests/support/SessionGenerator.h"

#include "session/MVGLDFileManager.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

constexpr std::size_t kTailBytes = std::size_t{64} << 20;

struct LongLineFiles {
    std::filesystem::path folder;
    std::filesystem::path nulTail;
    std::filesystem::path oneLine;

    LongLineFiles() {
        folder = std::filesystem::temp_directory_path() /
                 ("gridlark-nul-tail-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        // Loads record usage and recent documents: keep them out of the user's own store.
        setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
        setenv("HOME", folder.c_str(), 1);
        testing_support::SessionOptions options;
        options.laps = 5;
        const auto session = testing_support::generateSession(options);
        nulTail = folder / "nul-tail.gld";
        testing_support::writeSessionFile(nulTail, session.text + std::string(kTailBytes, '\0'));
        oneLine = folder / "one-line.gld";
        testing_support::writeSessionFile(oneLine, std::string(kTailBytes, 'x'));
    }
    ~LongLineFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

const LongLineFiles& files() {
    static const LongLineFiles shared;
    return shared;
}

void BM_NulTailLoad(benchmark::State& state) {
    const auto& path = files().nulTail;
    for (auto _ : state) {
        MVGLDFileManager manager;
        const bool ok = manager.loadGLDFileWithURL(path);
        if (!ok || manager.arrayOfMVLaps().front()->count() == 0) {
            state.SkipWithError("the session did not load with its laps");
        }
    }
}
BENCHMARK(BM_NulTailLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_OneLineRefused(benchmark::State& state) {
    const auto& path = files().oneLine;
    for (auto _ : state) {
        MVGLDFileManager manager;
        if (manager.loadGLDFileWithURL(path)) state.SkipWithError("the file was not refused");
    }
}
BENCHMARK(BM_OneLineRefused)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
