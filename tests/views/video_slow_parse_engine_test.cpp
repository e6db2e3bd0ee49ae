// The real video engine when parsing a file takes longer than its time limit (a network share, a
// disk that spins up): the engine's own limit is cut to a millisecond here, so every parse with a
// limit runs out, as a slow one does.
#include "tests/support/MainQueuePump.h"
#include "tests/support/RealVideoEngineTest.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestClips.h"

#include "views/MVVlcPlayer.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using testing_support::MainQueuePump;

class VideoSlowParseEngine : public testing_support::RealVideoEngineTest {
  protected:
    static void SetUpTestSuite() { startEngineWith({"--preparse-timeout=1"}); }

    testing_support::TempDir dir;
};

// A parse that runs past its limit goes on without one and opens the file once it ends: asked for
// once more, reported once, as a success, with the file's length.
TEST_F(VideoSlowParseEngine, AParsePastItsLimitOpensTheFileWhenItEnds) {
    ASSERT_TRUE(testing_support::makeVideoClip(dir / "slow.mp4"));
    MVVlcPlayer player;
    int reports = 0;
    std::optional<bool> parsed;
    MVVideoPlayer::Callbacks callbacks;
    callbacks.parsed = [&](bool ok) {
        ++reports;
        parsed = ok;
    };
    player.setCallbacks(callbacks);
    player.open(dir / "slow.mp4", std::chrono::milliseconds(1));
    ASSERT_TRUE(MainQueuePump::until([&] { return parsed.has_value(); }, std::chrono::seconds(60)));
    EXPECT_TRUE(*parsed);
    EXPECT_EQ(reports, 1);
    EXPECT_LE(player.parsesAsked(), 2);
    EXPECT_NEAR(double(player.length()), 6000.0, 200.0);
}

}  // namespace
