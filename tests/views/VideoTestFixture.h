#pragma once

#include "tests/support/MainQueuePump.h"
#include "tests/support/ScopedHook.h"
#include "tests/support/TempDir.h"
#include "tests/views/FakeVideoPlayer.h"

#include "views/MVVideoFilmView.h"

#include "session/MVOptionsAndSettings.h"
#include "session/MVSynchronization.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace testing_support {

// Fake players, the fake clock, video files that exist (their content is never read by the fake
// players) and a video-time lookup of the laps made here: a lap starting at session second 100
// whose video runs on without a gap from `videoTimestampStart`, over into a second 300 s file
// when there is one. Restores the shared cursor and axis mode afterwards.
class VideoTestFixture : public testing::Test {
  protected:
    static constexpr std::int64_t kFileLength = 300000;

    void SetUp() override {
        clock.install();
        MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(0);
        MVSynchronization::sharedManager().safelyChangeSyncTimeWithoutKVO(0);
        MVSynchronization::sharedManager().safelyChangeSyncIndexOfPositionWithoutKVO(0);
        dir.write("VID0001.mp4", "");
        dir.write("VID0002.mp4", "");
    }
    void TearDown() override {
        MainQueuePump::drain();
        MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(0);
        clock.uninstall();
    }

    // A lap of `duration` s starting at session second 100; with two files its video begins
    // 10 s before the end of the first file.
    MVLapPtr makeLap(double duration, bool twoFiles, bool quarto = false) {
        auto lap = MVLap::instance();
        lap->setTimestampStart(100);
        lap->setDuration(duration);
        lap->setIsQuarto(quarto);
        std::vector<std::filesystem::path> urls{dir / "VID0001.mp4"};
        if (twoFiles) {
            urls.push_back(dir / "VID0002.mp4");
            lap->setVideoTimestampStart(kFileLength - 10000);
            lap->setVideoTimestampEnd(std::int64_t(duration * 1000) - 10000);
        } else {
            lap->setVideoTimestampStart(5000);
            lap->setVideoTimestampEnd(5000 + std::int64_t(duration * 1000));
        }
        lap->setVideoURLs(urls);
        for (int i = 0; i <= int(duration); ++i) lap->positionIndexes()->addValue(i * 1.0);
        return lap;
    }

    // Lets the films open their files (after their 0.05 s delay).
    void openFiles() {
        clock.advance(MVVideoFilmView::kOpenDelay);
        MainQueuePump::drain();
    }
    void advance(std::chrono::milliseconds d) {
        clock.advance(d);
        MainQueuePump::drain();
    }

    platform::FakeClock clock;
    FakePlayerScope players;
    TempDir dir;
    ScopedHook<&MVVideoFilmView::setVideoTimeLookup> lookup{[](const MVLap& lap, double t) {
        if (lap.isUnfinishedLap()) return -1.0;  // stands for a lap without video times
        double ms = double(lap.videoTimestampStart()) + (t - lap.timestampStart()) * 1000.0;
        return ms < double(kFileLength) ? ms : ms - double(kFileLength);
    }};
};

}  // namespace testing_support
