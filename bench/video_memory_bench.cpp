// The memory lap films take: one and two films of a 1080p and of a 4K camera-like clip, each case
// in a fresh process (this executable started again with --films), which opens the films on the
// real engine, plays them for two seconds, pauses and makes ten paused seeks on each, as a user
// comparing two laps does. Reported per case: the process's resident memory at the end and its
// peak (VmRSS, VmHWM), and the part the films added to the process as it was before the first
// film (films_MB). The clips are made once with the ffmpeg command line in the cache folder.
#include "bench/VideoBench.h"
#include "tests/support/TestClips.h"

#include "views/MVVlcPlayer.h"

#include "platform/ChildProcess.h"
#include "platform/Dispatch.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// VmRSS and VmHWM of this process, in kB.
std::pair<long, long> residentKb() {
    std::ifstream status("/proc/self/status");
    long rss = 0, peak = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) rss = std::atol(line.c_str() + 6);
        if (line.rfind("VmHWM:", 0) == 0) peak = std::atol(line.c_str() + 6);
    }
    return {rss, peak};
}

// The child: `films` players of `clip`, played, paused and seeked; prints what it measured.
int measureFilms(int films, const char* clip) {
    MVVlcPlayer::setInstanceArguments(
        {"--no-audio", "--no-video-title-show", "--no-stats", "--no-xlib", "--quiet"});
    if (!MVVlcPlayer::isEngineAvailable()) return 2;
    const long before = residentKb().first;
    std::vector<std::unique_ptr<MVVlcPlayer>> players;
    int parsed = 0;
    for (int i = 0; i < films; ++i) {
        players.push_back(std::make_unique<MVVlcPlayer>());
        MVVideoPlayer::Callbacks callbacks;
        callbacks.parsed = [&parsed](bool ok) { parsed += ok ? 1 : 0; };
        players.back()->setCallbacks(callbacks);
        players.back()->open(clip, std::chrono::seconds(10));
    }
    if (!video_bench::pumpUntil([&] { return parsed == films; }, std::chrono::seconds(60)))
        return 3;
    for (auto& p : players) p->play();
    const auto playing = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    video_bench::pumpUntil([&] { return std::chrono::steady_clock::now() > playing; },
                           std::chrono::seconds(3));
    for (auto& p : players) p->pause();
    for (int seek = 0; seek < 10; ++seek) {
        for (auto& p : players) p->setTime(500 + seek * 700);
        video_bench::pumpUntil(
            [&] {
                for (auto& p : players) {
                    if (p->isSeeking()) return false;
                }
                return true;
            },
            std::chrono::seconds(60));
    }
    const auto [rss, peak] = residentKb();
    std::printf("rss_kb=%ld peak_kb=%ld before_kb=%ld\n", rss, peak, before);
    std::fflush(stdout);
    players.clear();
    return 0;
}

// A camera-like clip of `height` lines (16:9): a detailed, moving picture at 30 fps, a key frame
// each second, H.264 with B-frames, ten seconds.
std::filesystem::path cameraClip(int height) {
    const std::filesystem::path file =
        video_bench::clipFolder() / ("camera-" + std::to_string(height) + ".mp4");
    if (std::filesystem::exists(file)) return file;
    const std::string size = std::to_string(height * 16 / 9) + "x" + std::to_string(height);
    testing_support::runFfmpeg(
        {"-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=30:duration=10", "-vf",
         "noise=alls=12:allf=t", "-c:v", "libx264", "-preset", "ultrafast", "-g", "30", "-bf", "3",
         "-pix_fmt", "yuv420p", "-an"},
        file, std::chrono::minutes(10));
    return file;
}

void BM_FilmsMemory(benchmark::State& state) {
    const int films = int(state.range(0));
    const std::filesystem::path clip = cameraClip(int(state.range(1)));
    if (!std::filesystem::exists(clip)) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    long rss = 0, peak = 0, before = 0;
    for (auto _ : state) {
        platform::ProcessOptions options;
        options.timeout = std::chrono::minutes(5);
        const auto result = platform::runProcess(
            {video_bench::selfPath().string(), "--films", std::to_string(films), clip.string()},
            options);
        if (!result.succeeded() ||
            std::sscanf(result.standardOutput.c_str(), "rss_kb=%ld peak_kb=%ld before_kb=%ld", &rss,
                        &peak, &before) != 3) {
            state.SkipWithError("the measuring process failed");
            return;
        }
    }
    state.counters["process_MB"] = double(rss) / 1024;
    state.counters["peak_MB"] = double(peak) / 1024;
    state.counters["films_MB"] = double(rss - before) / 1024;
}
BENCHMARK(BM_FilmsMemory)
    ->ArgNames({"films", "lines"})
    ->Args({1, 1080})
    ->Args({2, 1080})
    ->Args({1, 2160})
    ->Args({2, 2160})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return video_bench::runMain(argc, argv, "--films", 2, [](char** args) {
        return measureFilms(std::atoi(args[0]), args[1]);
    });
}
