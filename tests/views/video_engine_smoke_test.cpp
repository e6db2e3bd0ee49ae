// The real video engine on real clips, offscreen and without audio output: parsing, seeking,
// pictures, time reports, and the preview's run-over from the first file into the second.
#include "tests/support/MainQueuePump.h"
#include "tests/support/RealVideoEngineTest.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestClips.h"

#include "views/MVFileWizardVideoView.h"
#include "views/MVVlcPlayer.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using testing_support::MainQueuePump;

class VideoEngineSmoke : public testing_support::RealVideoEngineTest {
  protected:
    void SetUp() override {
        RealVideoEngineTest::SetUp();
        ASSERT_TRUE(testing_support::makeVideoClip(dir / "clip.mp4"));
    }

    // Opens the clip and waits for the parse; returns whether it succeeded.
    bool openAndParse(MVVlcPlayer& player, const std::filesystem::path& file) {
        std::optional<bool> parsed;
        MVVideoPlayer::Callbacks callbacks;
        callbacks.parsed = [&](bool ok) { parsed = ok; };
        callbacks.timeChanged = [this](std::int64_t ms) { times.push_back(ms); };
        callbacks.frameReady = [this] { ++frames; };
        player.setCallbacks(callbacks);
        player.open(file, std::chrono::seconds(10));
        EXPECT_TRUE(MainQueuePump::until([&] { return parsed.has_value(); }));
        return parsed.value_or(false);
    }
    // Seeks the paused player and waits for a picture of that time.
    QImage frameAt(MVVlcPlayer& player, std::int64_t ms) {
        const int before = frames;
        player.setTime(ms);
        EXPECT_TRUE(MainQueuePump::until([&] { return frames > before && !player.isSeeking(); }));
        return player.frame();
    }

    testing_support::TempDir dir;
    std::vector<std::int64_t> times;
    int frames = 0;
};

bool isBlack(const QImage& image) {
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            if (qGray(image.pixel(x, y)) > 40) return false;
        }
    }
    return true;
}

TEST_F(VideoEngineSmoke, ParsingGivesTheLengthAndFrameSize) {
    MVVlcPlayer player;
    ASSERT_TRUE(openAndParse(player, dir / "clip.mp4"));
    EXPECT_NEAR(player.length(), 6000, 200);
    EXPECT_EQ(player.videoSize(), QSize(160, 120));
}

TEST_F(VideoEngineSmoke, SeeksPaintDifferentPicturesAndPlayingReportsTime) {
    MVVlcPlayer player;
    ASSERT_TRUE(openAndParse(player, dir / "clip.mp4"));
    player.play();
    ASSERT_TRUE(MainQueuePump::until([&] { return !times.empty() && frames > 0; }));
    player.pause();
    ASSERT_TRUE(MainQueuePump::until([&] { return player.state() == MVVideoPlayer::Paused; }));

    const QImage atTwo = frameAt(player, 2000);
    const QImage atFive = frameAt(player, 5000);
    ASSERT_FALSE(atTwo.isNull());
    EXPECT_EQ(atTwo.size(), QSize(160, 120));
    EXPECT_FALSE(isBlack(atTwo));
    EXPECT_NE(atTwo, atFive);
}

// A parse that outlasts its time limit is not a failure: it goes on to its end.
TEST_F(VideoEngineSmoke, ParsingPastItsTimeLimitGoesOn) {
    MVVlcPlayer player;
    std::optional<bool> parsed;
    MVVideoPlayer::Callbacks callbacks;
    callbacks.parsed = [&](bool ok) { parsed = ok; };
    player.setCallbacks(callbacks);
    player.open(dir / "clip.mp4", std::chrono::milliseconds(1));
    ASSERT_TRUE(MainQueuePump::until([&] { return parsed.has_value(); }));
    EXPECT_TRUE(*parsed);
    EXPECT_NEAR(player.length(), 6000, 200);
}

TEST_F(VideoEngineSmoke, MissingEmptyAndAudioOnlyFiles) {
    ASSERT_TRUE(testing_support::makeEmptyClip(dir / "empty.mp4"));
    ASSERT_TRUE(testing_support::makeAudioOnlyClip(dir / "audio.mp4"));
    {
        MVVlcPlayer player;
        EXPECT_FALSE(openAndParse(player, dir / "missing.mp4"));
    }
    {
        MVVlcPlayer player;
        EXPECT_FALSE(openAndParse(player, dir / "empty.mp4"));
        EXPECT_EQ(player.length(), 0);
    }
    MVVlcPlayer player;
    ASSERT_TRUE(openAndParse(player, dir / "audio.mp4"));
    EXPECT_TRUE(player.videoSize().isEmpty());
    player.play();
    ASSERT_TRUE(MainQueuePump::until([&] { return player.state() >= MVVideoPlayer::Playing; }));
    EXPECT_TRUE(player.frame().isNull());
}

TEST_F(VideoEngineSmoke, PreviewRestsOnTheFirstPictureThenPlaysOnIntoTheSecondFile) {
    testing_support::ClipOptions second;
    second.seconds = 3;
    second.pattern = "smptebars";
    ASSERT_TRUE(testing_support::makeVideoClip(dir / "second.mp4", second));
    testing_support::ClipOptions first;
    first.seconds = 1;
    ASSERT_TRUE(testing_support::makeVideoClip(dir / "first.mp4", first));

    MVFileWizardVideoView preview;
    preview.resize(320, 180);
    preview.updateWithURLs({dir / "first.mp4", dir / "second.mp4"});
    ASSERT_TRUE(MainQueuePump::until([&] {
        return preview.player(1) && preview.activeFile() == 0 && !preview.isPlaying() &&
               !preview.player(0)->frame().isNull();
    }));
    preview.play();
    ASSERT_TRUE(MainQueuePump::until([&] {
        return preview.activeFile() == 1 && preview.isPlaying();
    })) << preview.activeFile()
        << " " << int(preview.player(0)->state()) << " " << int(preview.player(1)->state());
}

}  // namespace
