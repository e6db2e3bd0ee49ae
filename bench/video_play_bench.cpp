// How long Play takes to move the picture of a lap film: from play() on a paused still of a
// detailed, grainy 1080p camera-like clip to the first playing picture after the still's frame.
// Each case runs in a fresh process (this executable started again with --play), which opens the
// clip on the real engine as a film does and then plays from eight stills in turn: the first Play
// of the process, and the median and slowest of all eight. Play comes either at once after the
// still shows (as when a scrub ends on Play) or once the still has rested half a second (as a user
// looks before pressing Play), with the computer idle or with a busy thread per core beside the
// film (wall time: what the user waits for). The clip is made once with the ffmpeg command line
// in the cache folder.
#include "bench/VideoBench.h"
#include "tests/support/TestClips.h"
#include "tests/views/NumberedFrames.h"

#include "views/MVVlcPlayer.h"

#include "platform/ChildProcess.h"
#include "platform/Dispatch.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using video_bench::pumpUntil;

// Threads that never rest, one per core, for as long as they live.
class Busy {
  public:
    explicit Busy(int threads) {
        for (int i = 0; i < threads; ++i) {
            threads_.emplace_back([this] {
                volatile std::uint64_t x = 1;
                while (!stop_.load()) x = x * 6364136223846793005ull + 1;
            });
        }
    }
    ~Busy() {
        stop_ = true;
        for (auto& t : threads_) t.join();
    }

  private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

// The child: Play from eight stills of `clip`; prints the milliseconds each took to move the
// picture, in order.
int measurePlays(const char* clip, bool busy, bool rested) {
    MVVlcPlayer::setInstanceArguments(
        {"--no-audio", "--no-video-title-show", "--no-stats", "--no-xlib", "--quiet"});
    if (!MVVlcPlayer::isEngineAvailable()) return 2;
    MVVlcPlayer player;
    std::optional<bool> parsed;
    int pictures = 0;
    MVVideoPlayer::Callbacks callbacks;
    callbacks.parsed = [&](bool ok) { parsed = ok; };
    callbacks.frameReady = [&] { ++pictures; };
    player.setCallbacks(callbacks);
    player.open(clip, std::chrono::seconds(10));
    constexpr std::chrono::seconds kLimit{60};
    if (!pumpUntil([&] { return parsed.has_value(); }, kLimit) || !*parsed) return 3;
    player.play();  // as a film opens: the engine started, then paused at its first picture
    if (!pumpUntil([&] { return pictures > 0; }, kLimit)) return 3;
    player.pause();
    Busy load(busy ? int(std::thread::hardware_concurrency()) : 0);
    std::string out;
    for (std::int64_t ms : {2000, 4000, 1000, 3000, 4400, 2200, 1500, 3600}) {
        player.setTime(ms);
        if (!pumpUntil([&] { return !player.isSeeking(); }, kLimit)) return 4;
        const int still = testing_support::readFrameNumber(player.frame());
        if (rested) {
            const auto until = Clock::now() + std::chrono::milliseconds(500);
            pumpUntil([&] { return Clock::now() > until; }, kLimit);
        }
        const auto asked = Clock::now();
        player.play();
        if (!pumpUntil([&] { return testing_support::readFrameNumber(player.frame()) > still; },
                       kLimit)) {
            return 4;
        }
        const double moved =
            std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
        out += std::to_string(int(moved + 0.5)) + " ";
        player.pause();
    }
    std::printf("%s\n", out.c_str());
    std::fflush(stdout);
    return 0;
}

std::filesystem::path clipFile() {
    const std::filesystem::path file = video_bench::clipFolder() / "numbered-detailed-1080.mp4";
    if (!std::filesystem::exists(file)) {
        testing_support::makeCameraLikeNumberedClip(file, 25, 6, 25);
    }
    return file;
}

void BM_PlayMovesThePicture(benchmark::State& state) {
    const bool busy = state.range(0) != 0;
    const bool rested = state.range(1) != 0;
    const std::filesystem::path clip = clipFile();
    if (!std::filesystem::exists(clip)) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    std::vector<int> moved;
    for (auto _ : state) {
        platform::ProcessOptions options;
        options.timeout = std::chrono::minutes(5);
        const auto result =
            platform::runProcess({video_bench::selfPath().string(), "--play", clip.string(),
                                  busy ? "1" : "0", rested ? "1" : "0"},
                                 options);
        if (!result.succeeded()) {
            state.SkipWithError("the measuring process failed");
            return;
        }
        moved.clear();
        const char* text = result.standardOutput.c_str();
        for (char* end = nullptr;; text = end) {
            const long value = std::strtol(text, &end, 10);
            if (end == text) break;
            moved.push_back(int(value));
        }
    }
    if (moved.empty()) return state.SkipWithError("no Play was measured");
    state.counters["first_ms"] = moved.front();
    std::vector<int> sorted = moved;
    std::sort(sorted.begin(), sorted.end());
    state.counters["median_ms"] = sorted[sorted.size() / 2];
    state.counters["slowest_ms"] = sorted.back();
}
BENCHMARK(BM_PlayMovesThePicture)
    ->ArgNames({"busy", "rested"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return video_bench::runMain(argc, argv, "--play", 3, [](char** args) {
        return measurePlays(args[0], std::strcmp(args[1], "1") == 0,
                            std::strcmp(args[2], "1") == 0);
    });
}
