#pragma once

#include "platform/Dispatch.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

// What the video benchmarks share: the main queue run by hand, the folder their clips are made in
// once, and a main that runs a measuring child (this executable started again with `childFlag`)
// or the benchmarks.
namespace video_bench {

// Runs the main queue until `done` holds or `limit` passes.
template <typename F, typename Rep, typename Period>
bool pumpUntil(F done, std::chrono::duration<Rep, Period> limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (platform::mainQueue().drain() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}

// The cache folder's "gridlark-bench", made if need be.
inline std::filesystem::path clipFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    std::filesystem::path folder = cache && *cache
                                       ? std::filesystem::path(cache)
                                       : std::filesystem::path(home ? home : "/tmp") / ".cache";
    folder /= "gridlark-bench";
    std::filesystem::create_directories(folder);
    return folder;
}

inline std::filesystem::path selfPath() {
    return std::filesystem::read_symlink("/proc/self/exe");
}

// `child(argc, argv)` when the first argument is `childFlag` and `arguments` follow it, else the
// benchmarks.
template <typename Child>
int runMain(int argc, char** argv, const char* childFlag, int arguments, Child child) {
    if (argc == arguments + 2 && std::strcmp(argv[1], childFlag) == 0) return child(argv + 2);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace video_bench
