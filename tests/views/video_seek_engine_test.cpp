// The real video engine on clips whose frames carry their number: the picture a paused seek shows
// on every codec, play resuming from it, a film opened at the cursor, and the first play after
// opening.
#include "tests/support/MainQueuePump.h"
#include "tests/support/RealVideoEngineTest.h"
#include "tests/support/ScopedHook.h"
#include "tests/support/TempDir.h"
#include "tests/views/NumberedFrames.h"

#include "views/MVVideoController.h"
#include "views/MVVideoFilmView.h"
#include "views/MVVideoSurface.h"
#include "views/MVVideoView.h"
#include "views/MVVlcPlayer.h"

#include "widgets/MVHelperColors.h"

#include "session/MVOptionsAndSettings.h"
#include "session/MVSynchronization.h"

#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <thread>

namespace {

using testing_support::MainQueuePump;
using testing_support::readFrameNumber;

class VideoSeekEngine : public testing_support::RealVideoEngineTest {
  protected:
    // Waits that only a hang outlasts, on a busy computer.
    static constexpr std::chrono::milliseconds kHangLimit{60000};

    // A 20 s numbered clip; key frames once a second, as cameras write them.
    std::filesystem::path clip(const std::string& codec, int fps, int bFrames) {
        testing_support::ClipOptions o;
        o.seconds = 20;
        o.framesPerSecond = fps;
        o.keyFrameInterval = fps;
        o.codec = codec;
        o.bFrames = bFrames;
        const std::filesystem::path file =
            dir / (codec + "-" + std::to_string(fps) + "-" + std::to_string(bFrames) + ".mp4");
        EXPECT_TRUE(testing_support::makeNumberedClip(file, o));
        return file;
    }

    testing_support::TempDir dir;
};

// A clip kind: codec, frame rate, reordered frames, key frame interval (frames) and size; a
// camera-like clip is 1080p with a detailed, grainy picture.
struct ClipKind {
    const char* codec;
    int fps;
    int bFrames;
    int keyFrameInterval;
    int width = 160;
    int height = 120;
    double seconds = 20;
    bool cameraLike = false;
};

// Beside the test, the computer is busy: one thread that never rests.
class BusyThread {
  public:
    BusyThread()
        : thread_([this] {
              volatile std::uint64_t x = 1;
              while (!stop_.load()) x = x * 6364136223846793005ull + 1;
          }) {}
    ~BusyThread() {
        stop_ = true;
        thread_.join();
    }

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Paused seeks: jumps across the clip, each followed by small steps forward (as a scrub does),
// and back; each made once the one before has shown its picture.
std::vector<std::int64_t> pausedSeekTimes(std::int64_t lengthMs, int count) {
    std::vector<std::int64_t> times;
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    while (int(times.size()) < count) {
        std::int64_t t = std::int64_t(next() % std::uint32_t(lengthMs - 1500));
        times.push_back(t);
        for (int step = 0; step < 3 && int(times.size()) < count; ++step) {
            t += 40 + std::int64_t(next() % 97);
            times.push_back(t);
        }
        if (int(times.size()) < count) times.push_back(std::max<std::int64_t>(0, t - 700));
    }
    return times;
}

std::string kindName(const ClipKind& kind) {
    return std::string(kind.cameraLike ? "camera-like " : "") + kind.codec + " " +
           std::to_string(kind.fps) + " fps, " + std::to_string(kind.bFrames) + " B-frames, GOP " +
           std::to_string(kind.keyFrameInterval) + ", " + std::to_string(kind.width) + "x" +
           std::to_string(kind.height);
}

// On every codec, with the computer busy, a paused seek shows exactly the frame at or before the
// time asked for, and never a picture of another time. Prints, per clip, how many seeks were
// exact, the worst frames off, and the time from the seek to its picture (all seeks, and the
// jumps alone, which seek and decode from a key frame; the steps decode on).
TEST_F(VideoSeekEngine, PausedSeeksShowTheExactFrameOnEveryCodec) {
    const ClipKind kinds[] = {
        {"mpeg4", 25, 0, 25},
        {"libx264", 30, 0, 30},
        {"libx264", 25, 3, 25},
        {"libx264", 50, 3, 50},
        {"libx264", 60, 3, 60},
        {"libx264", 25, 3, 250},
        {"libx265", 30, 4, 30},
        {"libx265", 60, 4, 60},
        {"libx264", 30, 3, 30, 1920, 1080, 8},
        {"libx264", 30, 3, 30, 1920, 1080, 6, true},
    };
    BusyThread busy;
    for (const ClipKind& kind : kinds) {
        const std::string name = kindName(kind);
        SCOPED_TRACE(name);
        testing_support::ClipOptions o;
        o.seconds = kind.seconds;
        o.framesPerSecond = kind.fps;
        o.keyFrameInterval = kind.keyFrameInterval;
        o.codec = kind.codec;
        o.bFrames = kind.bFrames;
        o.width = kind.width;
        o.height = kind.height;
        const std::filesystem::path file =
            dir / (std::string(kind.codec) + "-" + std::to_string(&kind - kinds) + ".mp4");
        ASSERT_TRUE(kind.cameraLike ? testing_support::makeCameraLikeNumberedClip(
                                          file, kind.fps, kind.seconds, kind.keyFrameInterval)
                                    : testing_support::makeNumberedClip(file, o));
        MVVlcPlayer player;
        std::optional<bool> parsed;
        int frames = 0;
        MVVideoPlayer::Callbacks callbacks;
        callbacks.parsed = [&](bool ok) { parsed = ok; };
        callbacks.frameReady = [&] { ++frames; };
        player.setCallbacks(callbacks);
        player.open(file, std::chrono::seconds(10));
        ASSERT_TRUE(MainQueuePump::until([&] { return parsed.has_value(); }, kHangLimit));
        ASSERT_TRUE(*parsed);
        player.play();
        ASSERT_TRUE(MainQueuePump::until([&] { return frames > 0; }, kHangLimit));
        player.pause();

        int exact = 0;
        int worst = 0;
        std::vector<double> latencies;
        std::vector<double> jumps;  // more than a second from the seek before
        std::int64_t before = 0;
        const auto times = pausedSeekTimes(std::int64_t(kind.seconds * 1000), 40);
        for (std::int64_t ms : times) {
            const auto asked = std::chrono::steady_clock::now();
            player.setTime(ms);
            ASSERT_TRUE(MainQueuePump::until([&] { return !player.isSeeking(); }, kHangLimit));
            latencies.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked)
                    .count());
            if (std::abs(ms - before) > 1000) jumps.push_back(latencies.back());
            before = ms;
            EXPECT_FALSE(player.isPlaying());
            const int shown = readFrameNumber(player.frame());
            const int wanted = int(ms * kind.fps / 1000);
            EXPECT_EQ(shown, wanted) << ms;
            exact += shown == wanted;
            worst = std::max(worst, std::abs(shown - wanted));
        }
        std::sort(latencies.begin(), latencies.end());
        std::sort(jumps.begin(), jumps.end());
        std::printf(
            "paused seeks, %s: exact %d/%zu, worst %d frames off; seek to picture median "
            "%.0f ms, slowest %.0f ms; jumps of over 1 s median %.0f ms (computer busy)\n",
            name.c_str(), exact, times.size(), worst, latencies[latencies.size() / 2],
            latencies.back(), jumps.empty() ? 0.0 : jumps[jumps.size() / 2]);
    }
}

// Seeks that follow each other faster than pictures come: only the last one's picture is shown,
// and play goes on from that frame.
TEST_F(VideoSeekEngine, OvertakenSeeksAreDroppedAndPlayResumesFromTheStill) {
    const std::filesystem::path file = clip("libx264", 25, 3);
    MVVlcPlayer player;
    std::optional<bool> parsed;
    std::vector<int> shown;
    MVVideoPlayer::Callbacks callbacks;
    callbacks.parsed = [&](bool ok) { parsed = ok; };
    callbacks.frameReady = [&] { shown.push_back(readFrameNumber(player.frame())); };
    player.setCallbacks(callbacks);
    player.open(file, std::chrono::seconds(10));
    ASSERT_TRUE(MainQueuePump::until([&] { return parsed.has_value(); }, kHangLimit));
    player.setTime(2000);
    ASSERT_TRUE(MainQueuePump::until([&] { return !player.isSeeking(); }, kHangLimit));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), 50);
    shown.clear();
    for (std::int64_t ms : {9000, 3000, 15000, 7000, 12345}) player.setTime(ms);
    ASSERT_TRUE(MainQueuePump::until([&] { return !player.isSeeking(); }, kHangLimit));
    EXPECT_EQ(shown, std::vector<int>{308});

    shown.clear();
    player.play();
    ASSERT_TRUE(MainQueuePump::until([&] { return shown.size() >= 10; }, kHangLimit));
    player.pause();
    // The engine's pictures take over from the still at its own frame, and run on from there.
    EXPECT_GE(shown.front(), 308);
    EXPECT_LE(shown.front(), 309);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
}

// A lap of the numbered 25 fps clip whose video time runs on with the lap from 1 s.
class VideoFilmEngine : public VideoSeekEngine {
  protected:
    void SetUp() override {
        VideoSeekEngine::SetUp();
        file = clip("mpeg4", 25, 0);
    }
    void TearDown() override { MainQueuePump::drain(); }
    // With position indexes every 0.1 s of the lap, or `pace` times as far apart.
    MVLapPtr lap(double pace = 1) {
        auto lap = MVLap::instance();
        lap->setTimestampStart(100);
        lap->setDuration(18);
        lap->setVideoTimestampStart(1000);
        lap->setVideoTimestampEnd(19000);
        lap->setVideoURLs(std::vector<std::filesystem::path>{file});
        for (int i = 0; i < 170; ++i) lap->positionIndexes()->addValue(100 + i * 0.1 * pace);
        return lap;
    }
    std::unique_ptr<MVVideoFilmView> film() {
        auto made = std::make_unique<MVVideoFilmView>(lap(), MVHelper::Gui::FasterColor(), true);
        made->resize(324, 244);
        return made;
    }
    // The number of the frame the film's surface shows.
    static int shownFrame(MVVideoFilmView& view) {
        MVVideoSurface* surface = view.surface(view.activeFile());
        if (!surface || surface->pictureRect().isEmpty()) return -1;
        return readFrameNumber(surface->grab(surface->pictureRect()).toImage());
    }
    static int frameAt(double lapSeconds) { return int((1000 + lapSeconds * 1000) * 25 / 1000); }
    static double lapTimeOf(int frame) { return frame / 25.0 - 1.0; }
    static bool atRest(MVVideoFilmView& view) {
        return view.didParsed() && view.player(0) && !view.player(0)->isSeeking() &&
               !view.isPlaying();
    }

    std::filesystem::path file;
    testing_support::ScopedHook<&MVVideoFilmView::setVideoTimeLookup> lookup{
        [](const MVLap& lap, double t) {
            return double(lap.videoTimestampStart()) + (t - lap.timestampStart()) * 1000.0;
        }};
};

// A film opened at the cursor (as after choosing another lap) rests on the cursor's frame, and
// so does every later seek.
TEST_F(VideoFilmEngine, OpensOnTheCursorsFrameAndSeeksToFramesOfTheLap) {
    for (double opening : {0.0, 4.52, 11.3}) {
        SCOPED_TRACE(opening);
        auto view = film();
        view->setPosition(opening);
        ASSERT_TRUE(MainQueuePump::until([&] { return atRest(*view) && shownFrame(*view) >= 0; }));
        EXPECT_EQ(shownFrame(*view), frameAt(opening));
        EXPECT_DOUBLE_EQ(view->currentTime(), opening);
    }
    auto view = film();
    ASSERT_TRUE(MainQueuePump::until([&] { return atRest(*view); }));
    for (double t : {2.0, 2.07, 9.99, 6.5}) {
        view->setPosition(t);
        ASSERT_TRUE(MainQueuePump::until([&] { return atRest(*view); }));
        EXPECT_EQ(shownFrame(*view), frameAt(t)) << t;
    }
}

// The first play after opening plays on (the opening's still frame does not pause it again).
TEST_F(VideoFilmEngine, FirstPlayAfterOpeningKeepsPlaying) {
    auto view = film();
    view->setPosition(3);
    ASSERT_TRUE(MainQueuePump::until([&] { return atRest(*view) && shownFrame(*view) >= 0; }));
    const int rest = shownFrame(*view);
    std::vector<double> reported;
    auto token = view->observeCurrentTime([&](double, double now) { reported.push_back(now); });
    view->play();
    // A second of video: 25 frames on, still playing, the lap time reported as it goes.
    ASSERT_TRUE(MainQueuePump::until([&] {
        return shownFrame(*view) >= rest + 25 && !reported.empty() && reported.back() > 3.5;
    })) << shownFrame(*view);
    EXPECT_TRUE(view->isPlaying());
    ASSERT_FALSE(reported.empty());
    EXPECT_GT(reported.back(), 3.5);
    view->pause();
}

// Pause at ten moments of play: the film rests on the picture it was showing (at most one frame
// on, the one the engine drew meanwhile), and the cursor is at that picture's lap time.
TEST_F(VideoFilmEngine, PauseKeepsThePictureThatWasShowing) {
    MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(0);
    MVVideoView pane;
    pane.resize(330, 270);
    MVVideoController controller;
    controller.setVideoView(&pane);
    controller.setArrayOfSelectedLaps({lap()});
    controller.initSubviews();
    MVVideoFilmView& view = *controller.films().front();
    view.setPosition(1);
    ASSERT_TRUE(
        MainQueuePump::until([&] { return atRest(view) && shownFrame(view) >= 0; }, kHangLimit));
    int worst = 0;
    for (int moment = 0; moment < 10; ++moment) {
        const int from = shownFrame(view);
        controller.playOrPause();
        ASSERT_TRUE(view.isPlaying());
        ASSERT_TRUE(MainQueuePump::until([&] { return shownFrame(view) >= from + 4 + 3 * moment; },
                                         kHangLimit));
        const int showing = shownFrame(view);
        controller.playOrPause();
        ASSERT_TRUE(MainQueuePump::until([&] { return atRest(view); }, kHangLimit));
        const int rest = shownFrame(view);
        EXPECT_GE(rest, showing - 1) << moment;
        EXPECT_LE(rest, showing + 1) << moment;
        worst = std::max(worst, std::abs(rest - showing));
        EXPECT_NEAR(MVSynchronization::sharedManager().syncTime(), lapTimeOf(rest), 0.041);
    }
    std::printf("pause at ten moments: the picture moved by at most %d frame(s)\n", worst);
    controller.removeSubviews();
}

// A lap with video played against a faster lap without video, which is the reference: the film
// drives the cursor, and Pause leaves film and cursor on the same picture.
TEST_F(VideoFilmEngine, AFilmWithVideoDrivesTheCursorWhenTheReferenceHasNone) {
    MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager();
    options.safelyChangeMVModeWithoutKVO(1);  // the faster lap is the reference
    MVSynchronization::sharedManager().safelyChangeSyncIndexOfPositionWithoutKVO(0);
    MVVideoView pane;
    pane.resize(660, 270);
    MVVideoController controller;
    controller.setVideoView(&pane);
    auto faster = lap();
    faster->setVideoURLs(std::nullopt);
    auto slower = lap();
    controller.setArrayOfSelectedLaps({slower, faster});
    controller.initSubviews();
    MVVideoFilmView& view = *controller.films()[1];
    ASSERT_EQ(view.lap(), slower);
    ASSERT_TRUE(
        MainQueuePump::until([&] { return atRest(view) && shownFrame(view) >= 0; }, kHangLimit));
    const int start = shownFrame(view);
    controller.playOrPause();
    ASSERT_TRUE(MainQueuePump::until([&] { return shownFrame(view) >= start + 50; }, kHangLimit));
    controller.playOrPause();
    ASSERT_TRUE(MainQueuePump::until([&] { return atRest(view); }, kHangLimit));
    const double k = MVSynchronization::sharedManager().syncIndexOfPosition();
    EXPECT_GE(k, 19);  // two seconds of the lap, position indexes 0.1 s apart
    EXPECT_NEAR(slower->calculatePositionTimestamp(k), lapTimeOf(shownFrame(view)), 0.11);
    controller.removeSubviews();
    options.safelyChangeMVModeWithoutKVO(0);
}

// Two laps of different pace on the position axis, played by the pane for five seconds: both
// films show the cursor's place.
TEST_F(VideoFilmEngine, PositionModeKeepsBothFilmsAtTheCursorsPlace) {
    MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager();
    options.safelyChangeMVModeWithoutKVO(1);
    MVSynchronization::sharedManager().safelyChangeSyncIndexOfPositionWithoutKVO(10);
    MVVideoView pane;
    pane.resize(660, 270);
    MVVideoController controller;
    controller.setVideoView(&pane);
    auto faster = lap(1.0);
    auto slower = lap(1.06);
    controller.setArrayOfSelectedLaps({slower, faster});
    controller.initSubviews();
    const std::vector<MVVideoFilmView*> films = controller.films();
    ASSERT_EQ(films.size(), 2u);
    ASSERT_TRUE(MainQueuePump::until([&] {
        return atRest(*films[0]) && atRest(*films[1]) && shownFrame(*films[0]) >= 0 &&
               shownFrame(*films[1]) >= 0;
    }));
    controller.updateVideoPositionForPositionBased();
    ASSERT_TRUE(MainQueuePump::until([&] { return atRest(*films[0]) && atRest(*films[1]); }));
    const int start = shownFrame(*films[0]);
    controller.play();
    ASSERT_TRUE(MainQueuePump::until([&] { return shownFrame(*films[0]) >= start + 125; }));
    const double k = MVSynchronization::sharedManager().syncIndexOfPosition();
    const double shownFaster = lapTimeOf(shownFrame(*films[0]));
    const double shownSlower = lapTimeOf(shownFrame(*films[1]));
    controller.pause();
    std::printf(
        "cursor at %.0f: faster film %.2f s (place %.2f s), slower film %.2f s (place %.2f s)\n", k,
        shownFaster, faster->calculatePositionTimestamp(k), shownSlower,
        slower->calculatePositionTimestamp(k));
    // The cursor follows the reference film's time reports, a few of which come each second;
    // the other film shows the place the reference film shows.
    EXPECT_NEAR(shownFaster, faster->calculatePositionTimestamp(k), 0.35);
    const double place = double(faster->calculatePositionIndex(shownFaster));
    EXPECT_NEAR(shownSlower, slower->calculatePositionTimestamp(place), 0.2);
    controller.removeSubviews();
    options.safelyChangeMVModeWithoutKVO(0);
}

// Where the first picture of a file lies in it, and its size in bytes, as ffprobe reads them; none
// when it cannot tell.
std::optional<std::pair<std::uintmax_t, std::uintmax_t>> firstPictureBytes(
    const std::filesystem::path& file) {
    platform::ProcessOptions options;
    options.timeout = std::chrono::seconds(30);
    const auto result = platform::runProcess(
        {"ffprobe", "-v", "error", "-select_streams", "v:0", "-read_intervals", "%+#1",
         "-show_entries", "packet=pos,size", "-of", "default=noprint_wrappers=1", file.string()},
        options);
    std::istringstream lines(result.standardOutput);
    std::optional<std::uintmax_t> pos, size;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("pos=", 0) == 0) pos = std::strtoull(line.c_str() + 4, nullptr, 10);
        if (line.rfind("size=", 0) == 0) size = std::strtoull(line.c_str() + 5, nullptr, 10);
    }
    if (!pos || !size) return std::nullopt;
    return std::pair{*pos, *size};
}

// A lap whose video runs over from a file of which no frame is readable (an interrupted copy
// that kept its index: cut inside its first picture, or right after the index) into a readable
// one. While the unreadable file is on screen the film says "Video not available" and shows no
// picture, stale or black; play and pause keep their meaning; the readable file, once on screen,
// shows its frames and clears the message, which comes back with the unreadable file.
TEST_F(VideoFilmEngine, AFileWithNoReadableFrameSaysVideoNotAvailable) {
    for (const double part : {0.5, 0.0}) {
        SCOPED_TRACE(part);
        testing_support::ClipOptions o;
        o.seconds = 20;
        o.framesPerSecond = 25;
        o.keyFrameInterval = 250;
        o.codec = "libx264";
        o.bFrames = 3;
        o.indexFirst = true;
        const std::filesystem::path cut = dir / ("cut-" + std::to_string(int(part * 10)) + ".mp4");
        ASSERT_TRUE(testing_support::makeNumberedClip(cut, o));
        const auto first = firstPictureBytes(cut);
        ASSERT_TRUE(first);
        std::filesystem::resize_file(cut, first->first + std::uintmax_t(part * first->second));

        auto made = lap();
        made->setVideoTimestampStart(15000);
        made->setVideoURLs(std::vector<std::filesystem::path>{cut, file});
        testing_support::ScopedHook<&MVVideoFilmView::setVideoTimeLookup> overFiles{
            [](const MVLap& lap, double t) {
                const double ms =
                    double(lap.videoTimestampStart()) + (t - lap.timestampStart()) * 1000.0;
                return ms < 20000 ? ms : ms - 20000;
            }};
        MVVideoFilmView view(made, MVHelper::Gui::FasterColor(), true);
        view.resize(324, 244);
        auto settled = [&](int file) {
            return view.didParsed() && view.activeFile() == file && view.player(file) &&
                   !view.player(file)->isSeeking() && !view.isPlaying();
        };
        view.setPosition(2);
        ASSERT_TRUE(MainQueuePump::until(
            [&] { return settled(0) && view.player(1) && view.isShowingNoVideoMessage(); },
            kHangLimit));
        EXPECT_EQ(shownFrame(view), -1);
        // Play plays from there (a file that holds nothing to play may have reached its end at
        // once), Pause pauses, and the message stays.
        view.play();
        const MVVideoPlayer::State state = view.player(0)->state();
        EXPECT_TRUE(view.isPlaying() || state == MVVideoPlayer::Ended ||
                    state == MVVideoPlayer::Error)
            << state;
        view.pause();
        EXPECT_FALSE(view.isPlaying());
        EXPECT_TRUE(view.isShowingNoVideoMessage());
        EXPECT_EQ(shownFrame(view), -1);

        view.setPosition(8);  // 3 s into the readable file
        ASSERT_TRUE(MainQueuePump::until([&] { return settled(1); }, kHangLimit));
        EXPECT_FALSE(view.isShowingNoVideoMessage());
        EXPECT_EQ(shownFrame(view), 75);
        view.setPosition(1);
        ASSERT_TRUE(MainQueuePump::until(
            [&] { return settled(0) && view.isShowingNoVideoMessage(); }, kHangLimit));
        EXPECT_EQ(shownFrame(view), -1);
    }
}

}  // namespace
