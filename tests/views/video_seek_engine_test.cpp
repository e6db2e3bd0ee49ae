// The real video engine on clips whose frames carry their number: what a seek shows.
#include "NumberedFrames.h"
#include "support/MainQueuePump.h"
#include "support/TempDir.h"
#include "views/MVVlcPlayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

using testing_support::MainQueuePump;

constexpr int kFps = 25;
constexpr std::int64_t kFrameMs = 1000 / kFps;

class VideoSeekEngine : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        MVVlcPlayer::setInstanceArguments(
            {"--no-audio", "--no-video-title-show", "--no-stats", "--no-xlib", "--quiet"});
    }
    void SetUp() override {
        ASSERT_TRUE(MVVlcPlayer::isEngineAvailable());
        testing_support::ClipOptions o;
        o.seconds = 20;
        o.framesPerSecond = kFps;
        o.keyFrameInterval = 25;
        ASSERT_TRUE(testing_support::makeNumberedClip(dir / "numbered.mp4", o));
        o.codec = "libx264";
        o.bFrames = 3;
        o.framesPerSecond = 30;
        ASSERT_TRUE(testing_support::makeNumberedClip(dir / "h264.mp4", o));
    }
    testing_support::TempDir dir;
};

TEST_F(VideoSeekEngine, Measure) {
    MVVlcPlayer player;
    std::optional<bool> parsed;
    int frames = 0;
    MVVideoPlayer::Callbacks callbacks;
    callbacks.parsed = [&](bool ok) { parsed = ok; };
    callbacks.frameReady = [&] { ++frames; };
    player.setCallbacks(callbacks);
    player.open(dir / (getenv("CLIP") ? getenv("CLIP") : "numbered.mp4"), std::chrono::seconds(10));
    ASSERT_TRUE(MainQueuePump::until([&] { return parsed.has_value(); }));
    player.play();
    ASSERT_TRUE(MainQueuePump::until([&] { return frames > 0; }));
    player.pause();
    std::vector<std::int64_t> errors;
    for (std::int64_t ms : {1234, 2500, 3710, 5000, 6480, 7200, 9040, 11111, 13370, 15800}) {
        const int before = frames;
        player.setTime(ms);
        ASSERT_TRUE(MainQueuePump::until([&] { return frames > before && !player.isSeeking(); }));
        const int n = testing_support::readFrameNumber(player.frame());
        const std::int64_t shownMs = getenv("CLIP") ? n * 1001 / 30 : n * kFrameMs;
        errors.push_back(shownMs - ms);
        std::printf("seek %lld -> frame %d (%lld ms), error %lld\n", (long long)ms, n,
                    (long long)(n * kFrameMs), (long long)errors.back());
    }
    std::sort(errors.begin(), errors.end());
    std::printf("median %lld worst %lld\n", (long long)errors[4],
                (long long)std::max(-errors.front(), errors.back()));
}

}  // namespace
