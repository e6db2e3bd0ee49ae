// The video pane controller over fake players on the fake clock, and the film stack it builds.
#include "tests/views/VideoTestFixture.h"

#include "views/MVVideoController.h"
#include "views/MVVideoFilmStackView.h"
#include "views/MVVideoShellHooks.h"
#include "views/MVVideoToolBarView.h"
#include "views/MVVideoView.h"

#include "widgets/MVButton.h"
#include "widgets/MVHelperColors.h"

#include "session/MVNotifications.h"

#include "platform/NotificationCenter.h"

#include <QComboBox>

namespace {

using testing_support::FakeVideoPlayer;
using testing_support::MainQueuePump;
using ShellHooks = testing_support::ScopedHook<&MVVideoShellHooks::setShared>;

class VideoController : public testing_support::VideoTestFixture {
  protected:
    void SetUp() override {
        VideoTestFixture::SetUp();
        pane.resize(640, 300);
        controller.setVideoView(&pane);
    }
    void TearDown() override {
        controller.removeSubviews();
        MVOptionsAndSettings::sharedManager().setIsVideoFullScreen(false);
        VideoTestFixture::TearDown();
    }
    // Builds the pane for the laps and lets every film parse its files.
    void build(std::vector<MVLapPtr> laps) {
        controller.setArrayOfSelectedLaps(std::move(laps));
        controller.initSubviews();
        openFiles();
        for (FakeVideoPlayer* p : players.log->made) p->finishParsing(true, kFileLength);
        // The engines start, and the first report rests each film on its still picture.
        for (FakeVideoPlayer* p : players.log->made) {
            p->play();
            p->reportTime(p->time());
            p->seeks.clear();
        }
    }
    std::vector<FakeVideoPlayer*> firstPlayers() const {
        std::vector<FakeVideoPlayer*> out;
        for (MVVideoFilmView* film : controller.films()) {
            out.push_back(static_cast<FakeVideoPlayer*>(film->player(0)));
        }
        return out;
    }

    MVVideoView pane;
    MVVideoController controller;
};

TEST_F(VideoController, BurstOfCursorMovesSeeksEachFilmOnceAfterTheLast) {
    build({makeLap(70, false), makeLap(60, false)});
    MVSynchronization& sync = MVSynchronization::sharedManager();
    for (int i = 1; i <= 10; ++i) {
        sync.setSyncTime(i);
        advance(std::chrono::milliseconds(9));
    }
    for (FakeVideoPlayer* p : firstPlayers()) EXPECT_TRUE(p->seeks.empty());
    advance(std::chrono::milliseconds(100));
    for (FakeVideoPlayer* p : firstPlayers()) EXPECT_EQ(p->seeks, std::vector<std::int64_t>{15000});

    // The position axis: each film goes to the time its own lap passed that place.
    MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(1);
    sync.setSyncIndexOfPosition(20.5);
    advance(std::chrono::milliseconds(100));
    for (FakeVideoPlayer* p : firstPlayers()) EXPECT_EQ(p->seeks.back(), 25500);
}

// A new pane (a lap ticked) opens every film on the cursor's frame, never on its lap's start.
TEST_F(VideoController, NewFilmsOpenOnTheCursor) {
    MVSynchronization::sharedManager().safelyChangeSyncTimeWithoutKVO(7);
    controller.setArrayOfSelectedLaps({makeLap(70, false), makeLap(60, false)});
    controller.initSubviews();
    openFiles();
    for (FakeVideoPlayer* p : players.log->made) {
        p->finishParsing(true, kFileLength);
        EXPECT_EQ(p->seeks, std::vector<std::int64_t>{12000});
    }
}

TEST_F(VideoController, PlayingReferenceDrivesTheCursorWithoutReseekingTheFilms) {
    build({makeLap(70, false), makeLap(60, false)});
    MVVideoFilmView* reference = controller.films()[1];  // time axis: the slower lap, on the right
    ASSERT_TRUE(reference->isReference());
    std::vector<double> heard;
    auto token = MVSynchronization::sharedManager().observeSyncTime(
        [&](double, double now) { heard.push_back(now); });
    controller.play();
    static_cast<FakeVideoPlayer*>(reference->player(0))->reportTime(17500);
    EXPECT_EQ(heard, std::vector<double>{12.5});
    advance(std::chrono::milliseconds(200));
    for (FakeVideoPlayer* p : firstPlayers()) {
        EXPECT_TRUE(p->seeks.empty());
        EXPECT_TRUE(p->isPlaying());
    }

    // The position axis writes the whole position index the reference lap has reached.
    MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(1);
    static_cast<FakeVideoPlayer*>(reference->player(0))->reportTime(20000);
    EXPECT_DOUBLE_EQ(MVSynchronization::sharedManager().syncIndexOfPosition(), 15);
}

TEST_F(VideoController, ReferenceWithoutPositionsLeavesThePositionCursorAlone) {
    auto lap = makeLap(60, false);
    lap->setPositionIndexes(nullptr);  // an empty list
    build({lap});
    MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(1);
    MVSynchronization::sharedManager().safelyChangeSyncIndexOfPositionWithoutKVO(7);
    controller.play();
    static_cast<FakeVideoPlayer*>(controller.films()[0]->player(0))->reportTime(15000);
    EXPECT_DOUBLE_EQ(MVSynchronization::sharedManager().syncIndexOfPosition(), 7);
}

TEST_F(VideoController, PlaySpeeds) {
    build({makeLap(60, false)});
    QComboBox* speed = controller.toolBarView()->popUpButton();
    FakeVideoPlayer* p = firstPlayers().front();
    EXPECT_EQ(speed->currentText(), "1X");
    controller.playFaster();
    controller.playFaster();
    EXPECT_EQ(speed->currentText(), "4X");
    EXPECT_FLOAT_EQ(p->rate, 4);
    controller.playFaster();
    controller.playFaster();  // already at 8X
    EXPECT_EQ(speed->currentIndex(), 5);
    EXPECT_FLOAT_EQ(p->rate, 8);
    for (int i = 0; i < 7; ++i) controller.playSlower();  // stops at 0.25X
    EXPECT_EQ(speed->currentText(), "0.25X");
    EXPECT_FLOAT_EQ(p->rate, 0.25f);
    speed->setCurrentIndex(3);
    emit speed->activated(3);
    EXPECT_FLOAT_EQ(p->rate, 2);
    // A rebuilt pane starts at 1X again.
    controller.initSubviews();
    EXPECT_EQ(controller.toolBarView()->popUpButton()->currentText(), "1X");
}

TEST_F(VideoController, QuartoLapsAreShownEarlierOnTheTimeAxisOnly) {
    build({makeLap(60, false, true), makeLap(60, false)});
    const std::vector<FakeVideoPlayer*> p = firstPlayers();  // [faster (plain), slower (Quarto)]
    MVSynchronization::sharedManager().safelyChangeSyncTimeWithoutKVO(10);
    controller.updateVideoPositionForTimeBased();
    EXPECT_EQ(p[0]->seeks.back(), 15000);
    EXPECT_EQ(p[1]->seeks.back(), 14650);
    MVSynchronization::sharedManager().safelyChangeSyncTimeWithoutKVO(0.2);
    controller.updateVideoPositionForTimeBased();
    EXPECT_EQ(p[1]->seeks.back(), 5000);  // clamped at the lap's start
    MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(1);
    MVSynchronization::sharedManager().safelyChangeSyncIndexOfPositionWithoutKVO(10);
    controller.updateVideoPositionForPositionBased();
    EXPECT_EQ(p[0]->seeks.back(), 15000);
    EXPECT_EQ(p[1]->seeks.back(), 15000);
}

// Pause rests the driving film on the picture it shows, as the still of that same time, and
// moves the cursor there; every other film goes to the cursor. Also when only one film plays.
TEST_F(VideoController, PauseRestsOnTheShownPictureAndMovesTheCursorThere) {
    build({makeLap(70, false), makeLap(60, false)});
    const std::vector<FakeVideoPlayer*> p = firstPlayers();  // [faster, slower = reference]
    controller.playOrPause();
    EXPECT_TRUE(p[0]->isPlaying() && p[1]->isPlaying());
    p[1]->reportTime(7960);
    p[0]->pause();
    MVSynchronization::sharedManager().safelyChangeSyncTimeWithoutKVO(1);  // trails the picture
    p[1]->reportTime(8000);  // the picture showing: lap time 3 s
    EXPECT_DOUBLE_EQ(MVSynchronization::sharedManager().syncTime(), 3);
    MVSynchronization::sharedManager().safelyChangeSyncTimeWithoutKVO(2.9);
    platform::NotificationCenter::defaultCenter().post(MVNotificationVideoClicked);
    EXPECT_DOUBLE_EQ(MVSynchronization::sharedManager().syncTime(), 3);
    for (FakeVideoPlayer* player : p) {
        EXPECT_FALSE(player->isPlaying());
        EXPECT_EQ(player->seeks.back(), 8000);
    }
    // Not re-seeked once more by the cursor write.
    advance(std::chrono::milliseconds(200));
    for (FakeVideoPlayer* player : p) EXPECT_EQ(player->seeks.size(), 1u);
}

// Played against a lap without video that is the reference (in time mode the slower lap, in
// position mode the faster one), the film that has video drives the cursor, and Pause keeps it.
TEST_F(VideoController, AFilmWithVideoDrivesWhenTheReferenceHasNone) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(mode);
        MVSynchronization::sharedManager().safelyChangeSyncTimeWithoutKVO(0);
        MVSynchronization::sharedManager().safelyChangeSyncIndexOfPositionWithoutKVO(0);
        auto slower = makeLap(70, false);
        auto faster = makeLap(60, false);
        (mode == 0 ? slower : faster)->setVideoURLs(std::nullopt);
        players.log->made.clear();
        build({slower, faster});
        const std::vector<MVVideoFilmView*> films = controller.films();
        MVVideoFilmView* withVideo = films[mode == 0 ? 0 : 1];
        ASSERT_FALSE(withVideo->isReference());
        ASSERT_TRUE(withVideo->hasVideo());
        EXPECT_EQ(controller.drivingFilm(), withVideo);
        auto* p = static_cast<FakeVideoPlayer*>(withVideo->player(0));
        controller.playOrPause();
        ASSERT_TRUE(p->isPlaying());
        p->reportTime(9000);  // lap time 4 s
        MVSynchronization& sync = MVSynchronization::sharedManager();
        EXPECT_DOUBLE_EQ(mode == 0 ? sync.syncTime() : sync.syncIndexOfPosition(), 4);
        controller.playOrPause();
        EXPECT_FALSE(p->isPlaying());
        EXPECT_EQ(p->seeks.back(), 9000);
        EXPECT_DOUBLE_EQ(mode == 0 ? sync.syncTime() : sync.syncIndexOfPosition(), 4);
        controller.removeSubviews();
    }
}

// The export offers the last lap (the faster one of two) or, when that one has no video, the lap
// that has; with no video at all, or no sheet, it is off.
TEST_F(VideoController, ExportTakesTheLastLapThatHasVideo) {
    std::vector<MVLapPtr> exported;
    MVVideoShellHooks hooks = MVVideoShellHooks::shared();
    hooks.showExportSheet = [&](const MVLapPtr& lap) { exported.push_back(lap); };
    const ShellHooks exporting(hooks);
    auto slower = makeLap(70, false);
    auto faster = makeLap(60, false);
    build({slower, faster});
    MVButton* button = controller.toolBarView()->exportButton();
    ASSERT_TRUE(button->isEnabled());
    button->click();
    EXPECT_EQ(exported, std::vector<MVLapPtr>{faster});

    faster->setVideoURLs(std::nullopt);
    build({slower, faster});
    ASSERT_TRUE(controller.toolBarView()->exportButton()->isEnabled());
    controller.toolBarView()->exportButton()->click();
    EXPECT_EQ(exported, (std::vector<MVLapPtr>{faster, slower}));
    slower->setVideoURLs(std::nullopt);
    build({slower, faster});
    EXPECT_FALSE(controller.toolBarView()->exportButton()->isEnabled());
    hooks.showExportSheet = nullptr;
    const ShellHooks noExport(hooks);
    build({makeLap(60, false)});
    EXPECT_FALSE(controller.toolBarView()->exportButton()->isEnabled());
}

TEST_F(VideoController, FullScreenIsAskedForOnceASecondAfterTheFirstBuildWithTheOptionOn) {
    int posts = 0;
    auto token = platform::NotificationCenter::defaultCenter().addObserver(
        MVNotificationVideoFullScreen, nullptr, [&](const platform::Notification&) { ++posts; });
    bool launched = true;
    MVVideoShellHooks hooks = MVVideoShellHooks::shared();
    hooks.isSessionLaunched = [&] { return launched; };
    hooks.setIsSessionLaunched = [&](bool v) { launched = v; };
    const ShellHooks delegateFlag(hooks);

    build({makeLap(60, false)});  // option off
    advance(std::chrono::seconds(2));
    EXPECT_EQ(posts, 0);
    EXPECT_TRUE(launched);

    MVOptionsAndSettings::sharedManager().setIsVideoFullScreen(true);
    build({makeLap(60, false)});
    EXPECT_FALSE(launched);
    advance(std::chrono::milliseconds(900));
    EXPECT_EQ(posts, 0);
    advance(std::chrono::milliseconds(100));
    EXPECT_EQ(posts, 1);
    build({makeLap(60, false)});
    advance(std::chrono::seconds(2));
    EXPECT_EQ(posts, 1);

    // The expand button asks every time.
    controller.toolBarView()->expandButton()->click();
    EXPECT_EQ(posts, 2);
}

TEST_F(VideoController, FilmStackColoursAndReference) {
    auto slower = makeLap(70, false);
    auto faster = makeLap(60, false);
    struct Case {
        const char* name;
        int mode;
        std::vector<MVLapPtr> laps;
        std::vector<MVLapPtr> films;  // left to right
        std::vector<QColor> colours;
        int reference;  // index of the reference film, -1 for none
    } cases[] = {
        {"two laps, time axis",
         0,
         {slower, faster},
         {faster, slower},
         {MVHelper::Gui::FasterColor(), MVHelper::Gui::SlowerColor()},
         1},
        {"two laps, position axis",
         1,
         {slower, faster},
         {faster, slower},
         {MVHelper::Gui::FasterColor(), MVHelper::Gui::SlowerColor()},
         0},
        {"one lap", 0, {faster}, {faster}, {MVHelper::Gui::FasterColor()}, 0},
        {"three laps", 0, {slower, faster, faster}, {}, {}, -1},
    };
    for (const Case& c : cases) {
        MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(c.mode);
        controller.setArrayOfSelectedLaps(c.laps);
        controller.initSubviews();
        const std::vector<MVVideoFilmView*> films = controller.films();
        ASSERT_EQ(films.size(), c.films.size()) << c.name;
        for (size_t i = 0; i < films.size(); ++i) {
            EXPECT_EQ(films[i]->lap(), c.films[i]) << c.name;
            EXPECT_EQ(films[i]->borderColor(), c.colours[i]) << c.name;
            EXPECT_EQ(films[i]->isReference(), int(i) == c.reference) << c.name;
        }
    }
    // Layout: the tool bar 25 points high on top, two films of equal width with 1-point gaps.
    controller.setArrayOfSelectedLaps({slower, faster});
    controller.initSubviews();
    EXPECT_EQ(pane.toolBarView()->geometry(), QRect(0, 0, 640, 25));
    const auto films = controller.films();
    EXPECT_EQ(films[0]->geometry(), QRect(1, 1, 319, 273));
    EXPECT_EQ(films[1]->geometry(), QRect(321, 1, 318, 273));
    controller.removeSubviews();
    EXPECT_FALSE(pane.filmStackView());
    EXPECT_TRUE(controller.films().empty());
}

}  // namespace

// In position mode the other film plays its own lap: it is kept at the time its lap passed the
// cursor's place by small changes of its rate, never by seeks (which would make it jump).
TEST_F(VideoController, PositionModeKeepsTheOtherFilmAtTheCursorsPlaceWithoutSeeking) {
    MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(1);
    // A lap whose position indexes come every 0.1 s of the reference lap: a lap of another
    // `pace` reaches each place that many times as late.
    auto lapOfPace = [&](double pace) {
        auto lap = MVLap::instance();
        lap->setTimestampStart(100);
        lap->setDuration(70);
        lap->setVideoTimestampStart(5000);
        lap->setVideoTimestampEnd(75000);
        lap->setVideoURLs(std::vector<std::filesystem::path>{dir / "VID0001.mp4"});
        for (int i = 0; i <= 600; ++i) lap->positionIndexes()->addValue(100 + i * 0.1 * pace);
        return lap;
    };
    for (double pace : {1.05, 0.96}) {
        SCOPED_TRACE(pace);
        auto faster = lapOfPace(1.0);
        auto other = lapOfPace(pace);
        build({other, faster});
        MVVideoFilmView* reference = controller.films()[0];
        MVVideoFilmView* follower = controller.films()[1];
        ASSERT_TRUE(reference->isReference());
        ASSERT_EQ(follower->lap(), other);
        controller.play();
        std::vector<float> rates;
        // 30 s of play: each playing engine moves on by its rate and reports every 40 ms.
        for (int step = 0; step < 750; ++step) {
            clock.advance(std::chrono::milliseconds(40));
            for (MVVideoFilmView* film : controller.films()) {
                auto* p = static_cast<FakeVideoPlayer*>(film->player(0));
                if (!p->isPlaying()) continue;
                p->reportTime(p->time() + std::int64_t(std::lround(40 * p->rate)));
            }
            MainQueuePump::drain();
            rates.push_back(follower->rate());
        }
        const double k = MVSynchronization::sharedManager().syncIndexOfPosition();
        EXPECT_GT(k, 250);
        EXPECT_NEAR(*reference->shownLapTime(), faster->calculatePositionTimestamp(k), 0.2);
        EXPECT_NEAR(*follower->shownLapTime(), other->calculatePositionTimestamp(k), 0.2);
        for (FakeVideoPlayer* p : firstPlayers()) EXPECT_TRUE(p->seeks.empty());
        const auto [low, high] = std::minmax_element(rates.begin(), rates.end());
        EXPECT_GE(*low, 1 - MVVideoFilmView::kKeepUpChange);
        EXPECT_LE(*high, 1 + MVVideoFilmView::kKeepUpChange);
        controller.playOrPause();  // the pause puts every film back at its own rate
        EXPECT_FLOAT_EQ(follower->rate(), 1);
        controller.removeSubviews();
        players.log->made.clear();
    }
}
