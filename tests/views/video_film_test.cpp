// A lap film over fake players: opening, seeking, time reports, the run-over into the second
// file, scrubbing and the files it cannot show.
#include "tests/support/LoadingQueueHop.h"
#include "tests/support/ManualSession.h"
#include "tests/views/VideoTestFixture.h"

#include "views/MVVideoSurface.h"

#include "widgets/MVHelperColors.h"

#include "session/MVGLDFileManager.h"
#include "session/MVNotifications.h"

#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWheelEvent>

namespace {

using testing_support::FakeVideoPlayer;

class VideoFilm : public testing_support::VideoTestFixture {
  protected:
    std::unique_ptr<MVVideoFilmView> film(const MVLapPtr& lap, bool reference = true) {
        auto made = std::make_unique<MVVideoFilmView>(lap, MVHelper::Gui::FasterColor(), reference);
        made->resize(320, 200);
        return made;
    }
};

TEST_F(VideoFilm, PositionRequestedBeforeParsingIsAppliedOnceParsed) {
    auto view = film(makeLap(60, false));
    view->setPosition(10);
    openFiles();
    FakeVideoPlayer* p = players.player(0);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->opened, dir / "VID0001.mp4");
    EXPECT_TRUE(p->seeks.empty());

    p->finishParsing(true, 120000);
    EXPECT_TRUE(view->didParsed());
    EXPECT_TRUE(p->muted);
    EXPECT_EQ(p->seeks, std::vector<std::int64_t>{15000});
    EXPECT_DOUBLE_EQ(view->currentTime(), 10);
    // Seeking past the lap's end shows its last frame.
    view->setPosition(80);
    EXPECT_EQ(p->seeks.back(), 65000);
}

TEST_F(VideoFilm, FirstReportAfterParsingPausesAndTheReferenceReportsLapTime) {
    auto view = film(makeLap(60, false));
    std::vector<double> reported;
    auto token = view->observeCurrentTime([&](double, double now) { reported.push_back(now); });
    openFiles();
    FakeVideoPlayer* p = players.player(0);
    p->finishParsing(true, 120000);
    EXPECT_GE(p->plays, 1);  // started, to show a picture
    p->play();               // the engine gets going after the seek
    p->reportTime(1000);     // before the lap: not reported
    EXPECT_FALSE(view->isPlaying());
    EXPECT_TRUE(reported.empty());

    view->play();
    EXPECT_FALSE(p->muted);
    p->reportTime(15000);
    EXPECT_TRUE(view->isPlaying());
    EXPECT_EQ(reported, std::vector<double>{10.0});
    // Past the lap's end: held on its last frame; the time stops there.
    p->reportTime(66000);
    EXPECT_FALSE(view->isPlaying());
    EXPECT_EQ(p->seeks.back(), 65000);
    EXPECT_DOUBLE_EQ(reported.back(), 60.0);
}

TEST_F(VideoFilm, OtherFilmsDoNotReport) {
    auto view = film(makeLap(60, false), false);
    int reports = 0;
    auto token = view->observeCurrentTime([&](double, double) { ++reports; });
    openFiles();
    players.player(0)->finishParsing(true, 120000);
    players.player(0)->reportTime(15000);
    players.player(0)->reportTime(25000);
    EXPECT_EQ(reports, 0);
}

TEST_F(VideoFilm, TwoFilesSeekAcrossReportAndPlayOnIntoTheSecond) {
    auto view = film(makeLap(60, true));
    std::vector<double> reported;
    auto token = view->observeCurrentTime([&](double, double now) { reported.push_back(now); });
    openFiles();
    FakeVideoPlayer* first = players.player(0);
    FakeVideoPlayer* second = players.player(1);
    ASSERT_TRUE(first && second);
    first->finishParsing(true, kFileLength);
    second->finishParsing(true, kFileLength);
    EXPECT_EQ(view->activeFile(), 0);

    view->setPosition(20);  // 10 s into the second file
    EXPECT_EQ(view->activeFile(), 1);
    EXPECT_EQ(second->seeks.back(), 10000);
    view->setPosition(5);
    EXPECT_EQ(view->activeFile(), 0);
    EXPECT_EQ(first->seeks.back(), 295000);

    view->play();
    first->reportTime(299000);
    EXPECT_DOUBLE_EQ(reported.back(), 9.0);
    first->reachEnd();
    EXPECT_EQ(view->activeFile(), 1);
    EXPECT_EQ(first->seeks.back(), 0);
    EXPECT_EQ(second->seeks.back(), 0);
    EXPECT_TRUE(second->isPlaying());
    second->reportTime(500);
    EXPECT_DOUBLE_EQ(reported.back(), 10.5);
    // A report of the hidden player pauses it and is not taken as the lap's time.
    first->play();
    first->reportTime(1000);
    EXPECT_FALSE(first->isPlaying());
    EXPECT_DOUBLE_EQ(reported.back(), 10.5);
}

// Changing file never shows the other file's old picture: its surface stays black until the
// picture of the new request comes, both for a paused seek and for play running over.
TEST_F(VideoFilm, ChangingFileShowsNothingOlderThanTheRequest) {
    auto view = film(makeLap(60, true));
    openFiles();
    FakeVideoPlayer* first = players.player(0);
    FakeVideoPlayer* second = players.player(1);
    first->finishParsing(true, kFileLength);
    second->finishParsing(true, kFileLength);
    view->setPosition(20);  // into the second file: its surface is made
    second->showPicture();
    view->setPosition(5);  // back into the first
    view->setPosition(25);
    EXPECT_TRUE(view->surface(1)->isBlank());
    second->showPicture();
    EXPECT_FALSE(view->surface(1)->isBlank());

    view->setPosition(5);
    first->showPicture();
    view->play();
    first->reachEnd();  // plays on into the second file
    EXPECT_EQ(view->activeFile(), 1);
    EXPECT_TRUE(view->surface(1)->isBlank());
    second->showPicture();
    EXPECT_FALSE(view->surface(1)->isBlank());
}

// With the session's own samples (10 Hz), the film seeks to the video time of the cursor's own
// moment, between the two samples around it, not to the sample at or before it.
TEST_F(VideoFilm, SeeksToTheVideoTimeBetweenTheSamplesAroundTheCursor) {
    // The shared manager's lists are written on the loading queue only.
    MVGLDFileManager& manager = MVGLDFileManager::sharedManager();
    testing_support::ManualSession session("Session", {"time", "avisynctime"});
    for (int i = 0; i <= 100; ++i) {
        session.addRow(i * 0.1, 100, 45, 5, {{"avisynctime", std::to_string(5000 + i * 100)}});
    }
    ASSERT_TRUE(testing_support::onLoadingQueue([&] {
        manager.removeAllData(true);
        session.install(manager);
    }));
    MVLapPtr lap = session.lap(0, 100);
    lap->setVideoURLs(std::vector<std::filesystem::path>{dir / "VID0001.mp4"});
    lap->setVideoTimestampStart(5000);
    lap->setVideoTimestampEnd(15000);
    MVVideoFilmView::setVideoTimeLookup(nullptr);  // the session's samples
    auto view = film(lap);
    openFiles();
    players.player(0)->finishParsing(true, kFileLength);
    for (double t : {2.0, 2.05, 2.075, 7.31}) {
        view->setPosition(t);
        EXPECT_EQ(players.player(0)->seeks.back(), std::llround(5000 + t * 1000)) << t;
    }
    ASSERT_TRUE(testing_support::onLoadingQueue([&] { manager.removeAllData(true); }));
}

TEST_F(VideoFilm, FilesItCannotShowSayVideoNotAvailable) {
    auto missing = makeLap(60, false);
    missing->setVideoURLs(std::vector<std::filesystem::path>{dir / "gone.mp4"});
    auto noUrls = makeLap(60, false);
    noUrls->setVideoURLs(std::nullopt);
    auto missingSecond = makeLap(60, true);
    missingSecond->setVideoURLs(
        std::vector<std::filesystem::path>{dir / "VID0001.mp4", dir / "gone.mp4"});

    auto a = film(missing);
    auto b = film(noUrls);
    auto c = film(missingSecond);
    auto failed = film(makeLap(60, false));
    auto never = film(makeLap(60, false));
    openFiles();
    EXPECT_TRUE(a->isShowingNoVideoMessage());
    EXPECT_TRUE(b->isShowingNoVideoMessage());
    EXPECT_TRUE(c->isShowingNoVideoMessage());  // over the first file, which still plays
    ASSERT_EQ(players.log->made.size(), 3u);    // c's first file, failed's and never's
    players.player(0)->finishParsing(true, 120000);
    EXPECT_TRUE(c->didParsed());
    players.player(1)->finishParsing(false, 0);
    EXPECT_TRUE(failed->isShowingNoVideoMessage());
    failed->play();
    failed->setPosition(10);
    EXPECT_FALSE(failed->isPlaying());
    EXPECT_FALSE(c->isShowingNoVideoMessage() && !c->didParsed());
    never->play();
    EXPECT_FALSE(never->isPlaying());
}

TEST_F(VideoFilm, SlowParseIsWaitedForAndThenPlays) {
    auto view = film(makeLap(60, false));
    view->setPosition(10);
    openFiles();
    advance(MVVideoFilmView::kParseLimit * 10);
    EXPECT_FALSE(view->isShowingNoVideoMessage());
    FakeVideoPlayer* p = players.player(0);
    p->finishParsing(true, 120000);
    EXPECT_FALSE(view->isShowingNoVideoMessage());
    EXPECT_EQ(p->seeks, std::vector<std::int64_t>{15000});
    view->play();
    EXPECT_TRUE(view->isPlaying());
}

// The opening's still frame ends with the picture of its seek: the user's first play then plays
// on through the time reports that follow.
TEST_F(VideoFilm, FirstPlayAfterTheOpeningPictureKeepsPlaying) {
    for (bool reportBeforePlay : {false, true}) {
        SCOPED_TRACE(reportBeforePlay);
        players.log->made.clear();
        auto view = film(makeLap(60, false));
        view->setPosition(10);
        openFiles();
        FakeVideoPlayer* p = players.player(0);
        p->seeking = true;  // the opening's seek runs to its picture
        p->finishParsing(true, 120000);
        p->showPicture();
        EXPECT_FALSE(view->isPlaying());
        if (reportBeforePlay) p->reportTime(15000);
        view->play();
        p->reportTime(15040);
        p->reportTime(15300);
        EXPECT_TRUE(view->isPlaying());
        EXPECT_EQ(p->seeks, std::vector<std::int64_t>{15000});
    }
}

TEST_F(VideoFilm, SampleWithoutVideoTimeIsNotSeeked) {
    auto lap = makeLap(60, false);
    lap->setIsUnfinishedLap(true);  // the fixture's lookup gives no video time for it
    auto view = film(lap);
    openFiles();
    players.player(0)->finishParsing(true, 120000);
    view->setPosition(10);
    EXPECT_TRUE(players.player(0)->seeks.empty());
}

TEST_F(VideoFilm, ScrollingScrubsTheCursorWithinTheLapAndClicksAreAnnounced) {
    auto view = film(makeLap(60, false));
    openFiles();
    players.player(0)->finishParsing(true, 120000);
    players.player(0)->reportTime(5000);  // the still picture: paused
    MVSynchronization& sync = MVSynchronization::sharedManager();
    auto scroll = [&](int dx, Qt::ScrollPhase phase = Qt::ScrollUpdate) {
        QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(dx, 0), QPoint(dx, 0),
                          Qt::NoButton, Qt::NoModifier, phase, false);
        QCoreApplication::sendEvent(view.get(), &event);
    };
    scroll(5);  // back at 0 stays at 0
    EXPECT_DOUBLE_EQ(sync.syncTime(), 0);
    scroll(-5);
    EXPECT_NEAR(sync.syncTime(), 0.1, 1e-12);
    scroll(-5, Qt::ScrollMomentum);
    scroll(-5, Qt::ScrollEnd);
    EXPECT_NEAR(sync.syncTime(), 0.1, 1e-12);

    MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(1);
    sync.safelyChangeSyncIndexOfPositionWithoutKVO(60);  // the last of 61 positions
    scroll(-5);
    EXPECT_DOUBLE_EQ(sync.syncIndexOfPosition(), 60);
    scroll(5);
    EXPECT_DOUBLE_EQ(sync.syncIndexOfPosition(), 59.5);
    view->play();
    scroll(5);  // not while playing
    EXPECT_DOUBLE_EQ(sync.syncIndexOfPosition(), 59.5);

    int clicks = 0;
    auto token = platform::NotificationCenter::defaultCenter().addObserver(
        MVNotificationVideoClicked, nullptr, [&](const platform::Notification&) { ++clicks; });
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.get(), &release);
    EXPECT_EQ(clicks, 1);
}

}  // namespace
