// The track pane controller, offscreen on the fake clock: cursor, lock, the delayed wizard check
// and lock restore, the border kept across a re-parse, the tool-bar buttons and the chooser.
#include "tests/support/MainQueuePump.h"
#include "tests/support/ManualSession.h"
#include "tests/support/TempDir.h"
#include "tests/views/TrackViewsFixtures.h"

#include "views/MVPopOverAvailableTracksViewController.h"
#include "views/MVTrackCarousel.h"
#include "views/MVTrackController.h"
#include "views/MVTrackMapView.h"
#include "views/MVTrackToolBarView.h"
#include "views/MVTrackView.h"
#include "views/MVTrackWizardWindowController.h"

#include "widgets/MVButton.h"

#include "session/MVGLDFileManager.h"
#include "session/MVGlobalData.h"
#include "session/MVHelperKeys.h"
#include "session/MVLaps.h"
#include "session/MVNotifications.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSynchronization.h"

#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>

namespace {

using namespace std::chrono_literals;
using testing_support::MainQueuePump;

MVTrackInfoPtr trackWithGateAt(double latitude, double longitude) {
    auto loc = MVLocation::instance();
    loc->setLatitude(latitude);
    loc->setLongitude(longitude);
    auto gate = MVPreviousNextLocation::instance();
    gate->setPreviousLocation(loc);
    gate->setNextLocation(MVLocation::locationCopy(*loc));
    auto track = MVTrackInfo::instance();
    track->setTrackName("Test Loop");
    track->setSfLocations(gate);
    return track;
}

class TrackPaneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.install();
        host.resize(400, 325);
        host.show();
        controller = std::make_unique<MVTrackController>(manager, options, cursor, defaults);
        controller->setTrackView(&host);
        slow = track_fixtures::lap({{0, 0}, {50, 0}, {100, 0}, {150, 50}, {200, 100}}, 100);
        fast = track_fixtures::lap({{200, 100}, {150, 100}, {100, 100}, {50, 50}, {0, 0}}, 300);
        auto whole = MVLap::instance();
        whole->setIsWholeFileLap(true);
        whole->setMap(track_fixtures::map(
            {{track_fixtures::at(0, 0), track_fixtures::at(200, 100)}}, 0, 0, 200, 100));
        controller->setWholeLap(whole);
        controller->setBestLap(fast);
        controller->setArrayOfSelectedLaps({slow, fast});
        auto laps = MVLaps::instance();
        laps->setData({slow, fast});
        testing_support::replaceCompleteLaps(manager, {laps});
    }
    void TearDown() override {
        controller.reset();
        clock.uninstall();
    }
    void advance(std::chrono::milliseconds d) {
        clock.advance(d);
        MainQueuePump::drain();
    }
    MVTrackMapView* map() const { return controller->trackMapView(); }
    QPointF projected(MVPoint p) const {
        const MVViewPoint s = map()->viewport().toScreen(map()->viewport().project(p));
        return {s.x, s.y};
    }

    platform::FakeClock clock;
    testing_support::TempDir dir;
    platform::UserDefaults defaults{dir / "defaults.json"};
    MVOptionsAndSettings options{defaults};
    MVGlobalData selection{options};
    MVSynchronization cursor{selection};
    MVGLDFileManager manager;
    QWidget host;
    std::unique_ptr<MVTrackController> controller;
    MVLapPtr slow;
    MVLapPtr fast;
};

TEST_F(TrackPaneTest, CursorWritesMoveBothMarkers) {
    controller->initSubviews();
    ASSERT_TRUE(map());
    EXPECT_EQ(map()->height(), 300);  // under the 25-point tool bar
    cursor.setSyncTime(2.0);
    EXPECT_EQ(map()->fasterVehicleCentre(), projected({100, 100}));
    EXPECT_EQ(map()->slowerVehicleCentre(), projected({100, 0}));
    cursor.setSyncTime(0.5);  // doubles all the way: half-way between the first two points
    EXPECT_EQ(map()->slowerVehicleCentre(), projected({25, 0}));
    // After the pane is gone the cursor reaches nothing.
    controller->removeSubviews();
    MainQueuePump::drain();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    cursor.setSyncTime(1.0);
    EXPECT_FALSE(controller->trackView()->hasSubviews());
}

TEST_F(TrackPaneTest, MenuLockLeavesTheButtonInTheMapsState) {
    controller->initSubviews();
    MVButton* lock = controller->toolBarView()->lockButton();
    for (bool expected : {true, false, true}) {
        controller->lockOrUnlockMapFromButtonClick(false);
        EXPECT_EQ(map()->locked(), expected);
        EXPECT_EQ(lock->isChecked(), expected);
        EXPECT_EQ(options.trackLockFlag(), expected);
        EXPECT_EQ(defaults.boolForKey(MVHelper::Default_TrackLockFlag()), expected);
    }
    // The button itself: Qt toggles its state, the controller the map's.
    lock->click();
    EXPECT_FALSE(map()->locked());
    EXPECT_FALSE(lock->isChecked());
}

TEST_F(TrackPaneTest, FlagsAreRestoredAtOnceAndTheLockAfterASecondOnTheSameMap) {
    options.setTrackRouteFlag(true);
    options.setTrackLockFlag(true);
    controller->initSubviews();
    EXPECT_TRUE(map()->sectorFlag());
    EXPECT_TRUE(controller->toolBarView()->sectorFlagButton()->isChecked());
    EXPECT_TRUE(controller->toolBarView()->lockButton()->isChecked());
    advance(900ms);
    EXPECT_FALSE(map()->locked());
    // A rebuild cancels the pending restore of the old map; the new one gets its own.
    QPointer<MVTrackMapView> first = map();
    controller->initSubviews();
    advance(200ms);
    EXPECT_TRUE(!first || !first->locked());
    EXPECT_FALSE(map()->locked());
    advance(800ms);
    EXPECT_TRUE(map()->locked());

    controller->toolBarView()->sectorFlagButton()->click();
    EXPECT_FALSE(map()->sectorFlag());
    EXPECT_FALSE(options.trackRouteFlag());
    EXPECT_FALSE(defaults.boolForKey(MVHelper::Default_TrackRouteFlag()));
}

TEST_F(TrackPaneTest, SessionWithoutLapsOpensTheWizardHalfASecondLater) {
    testing_support::replaceCompleteLaps(manager, {MVLaps::instance()});
    controller->initSubviews();
    advance(400ms);
    EXPECT_FALSE(controller->wizardWindowController());
    advance(100ms);
    ASSERT_TRUE(controller->wizardWindowController());
    EXPECT_TRUE(controller->wizardWindowController()->isVisible());
    controller->wizardWindowController()->cancelButton();

    // Sessions closed in the meantime: no session, no wizard.
    MVTrackWizardWindowController* before = controller->wizardWindowController();
    controller->initSubviews();
    testing_support::replaceCompleteLaps(manager, {});
    advance(600ms);
    EXPECT_EQ(controller->wizardWindowController(), before);
    // The pane removed in the meantime: nothing either.
    testing_support::replaceCompleteLaps(manager, {MVLaps::instance()});
    controller->initSubviews();
    controller->removeSubviews();
    advance(600ms);
    EXPECT_EQ(controller->wizardWindowController(), before);
    // A session with laps: nothing.
    auto laps = MVLaps::instance();
    laps->setData({slow});
    testing_support::replaceCompleteLaps(manager, {laps});
    controller->initSubviews();
    advance(600ms);
    EXPECT_EQ(controller->wizardWindowController(), before);
}

TEST_F(TrackPaneTest, ChosenBorderSurvivesAReparseWithTheGateInPlace) {
    const std::vector<MV2DSegmentPtr> chosen{track_fixtures::at(1, 1), track_fixtures::at(2, 2)};
    const std::vector<MV2DSegmentPtr> parsed{track_fixtures::at(5, 5)};
    controller->setTrackInfo(trackWithGateAt(45.0, 7.0));
    controller->initSubviews();
    controller->setTrackBorderArray(chosen);
    controller->updateTrackViewByTrackBoarderArray();
    EXPECT_EQ(map()->trackBorderArray(), chosen);

    struct Step {
        double latitude, longitude;
        bool kept;
    };
    const Step steps[] = {{45.09, 7.0, true},
                          {45.0, 7.099, true},
                          {45.0, 7.11, false},
                          {45.0, 7.0, false}};  // once dropped, the copy is gone
    for (const Step& s : steps) {
        controller->setTrackInfo(trackWithGateAt(s.latitude, s.longitude));
        controller->setTrackBorderArray(parsed);
        controller->initSubviews();
        EXPECT_EQ(map()->trackBorderArray(), s.kept ? chosen : parsed)
            << s.latitude << ", " << s.longitude;
    }
}

class ChooserTest : public TrackPaneTest {
  protected:
    void SetUp() override {
        TrackPaneTest::SetUp();
        tracks = {trackWithGateAt(45, 7), trackWithGateAt(46, 8)};
        tracks[1]->setTrackName("");
        controller->setAvailableTracks(tracks);
        controller->initSubviews();
        controller->toolBarView()->editButton()->click();
        chooser = controller->chooser();
        ASSERT_TRUE(chooser);
        observation = platform::NotificationCenter::defaultCenter().addObserver(
            "", chooser, [this](const platform::Notification& n) {
                if (n.name != MVNotificationTrackChanged && n.name != MVNotificationOverlayChanged)
                    return;
                posted.push_back(n.name);
                const MVTrackInfoPtr* record = n.value<MVTrackInfoPtr>("track");
                records.push_back(record ? *record : nullptr);
            });
        chooser->setAlert([this](QWidget*, const QString& text) { alerts << text; });
    }
    std::vector<MVTrackInfoPtr> tracks;
    MVPopOverAvailableTracksViewController* chooser = nullptr;
    platform::ObserverToken observation;
    std::vector<std::string> posted;
    std::vector<MVTrackInfoPtr> records;
    QStringList alerts;
};

TEST_F(ChooserTest, CandidatesAndTheOutlineItemPostTheirRecords) {
    ASSERT_EQ(chooser->numberOfItemsInCarousel(), 3);
    EXPECT_EQ(chooser->nameOfItemAtIndex(0), "Test Loop");
    EXPECT_EQ(chooser->nameOfItemAtIndex(1), "");
    EXPECT_EQ(chooser->nameOfItemAtIndex(2), "Load custom circuit overlay");
    chooser->didSelectItemAtIndex(0);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0], MVNotificationTrackChanged);
    EXPECT_EQ(records[0], tracks[0]);

    const auto good = dir / "mine.cir";
    std::ofstream(good) << "[header]\nLatitude\nLongitude\n[data]\n2700 -420\n2700.1 -420.1\n";
    const auto bad = dir / "broken.cir";
    std::ofstream(bad) << "[header]\nLatitude\n[data]\n1\n";
    std::optional<std::filesystem::path> pick;
    chooser->setFileChooser([&](QWidget*) { return pick; });

    chooser->didSelectItemAtIndex(2);  // cancelled
    pick = bad;
    chooser->didSelectItemAtIndex(2);  // unreadable: an alert and nothing else
    EXPECT_EQ(posted.size(), 1u);
    EXPECT_EQ(alerts.size(), 1);
    pick = good;
    chooser->didSelectItemAtIndex(2);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1], MVNotificationOverlayChanged);
    ASSERT_TRUE(records[1]);
    EXPECT_EQ(records[1]->urlFromCustomer(), good);
    EXPECT_FALSE(records[1]->sfLocations());
}

// The outline panel opens where the last outline was chosen, or in the home folder (not in the
// process's working folder).
TEST_F(ChooserTest, TheOutlinePanelOpensAtTheLastOutlinesFolderElseAtHome) {
    const auto folder = dir / "outlines";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "mine.cir") << "[header]\nLatitude\nLongitude\n[data]\n2700 -420\n";
    chooser->setFileChooser([&](QWidget*) { return folder / "mine.cir"; });
    chooser->didSelectItemAtIndex(2);
    const auto panelFolder = [] {
        return std::filesystem::path(
            MVPopOverAvailableTracksViewController::makeOutlinePanel(nullptr)
                ->directory()
                .absolutePath()
                .toStdString());
    };
    EXPECT_EQ(MVPopOverAvailableTracksViewController::outlinePanelFolder(), folder);
    EXPECT_TRUE(std::filesystem::equivalent(panelFolder(), folder));

    std::filesystem::remove_all(folder);
    EXPECT_EQ(MVPopOverAvailableTracksViewController::outlinePanelFolder(),
              platform::folders::home());
    EXPECT_TRUE(std::filesystem::equivalent(panelFolder(), platform::folders::home()));
}

TEST_F(ChooserTest, WheelStepsBeyondTwoOnly) {
    MVTrackCarousel* carousel = chooser->carousel();
    for (double delta : {2.0, -2.0, 0.0, 1.5}) {
        chooser->scrollWheel(delta);
        EXPECT_EQ(carousel->currentItemIndex(), 0) << delta;
        EXPECT_FALSE(carousel->isScrolling());
    }
    chooser->scrollWheel(-2.5);
    EXPECT_EQ(carousel->currentItemIndex(), 1);
    EXPECT_TRUE(carousel->isScrolling());
    chooser->scrollWheel(-5);  // ignored while it scrolls
    EXPECT_EQ(carousel->currentItemIndex(), 1);
    carousel->scrollToItemAtIndex(2, false);
    chooser->scrollWheel(3);
    EXPECT_EQ(carousel->currentItemIndex(), 1);
}

TEST(TrackChooserPreview, ExactNameFirstThenAnyNameContainingIt) {
    testing_support::TempDir dir;
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string previous = saved ? saved : "";
    setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    const auto folder = dir / "Morvane" / "Trackmap Database" / "DataBaseTrackmapFiles";
    std::filesystem::create_directories(folder);
    for (const char* name : {"Hilltop.PNG", "Hill.PNG", "Hillside.png"}) {
        std::ofstream(folder / name) << "x";
    }
    using Chooser = MVPopOverAvailableTracksViewController;
    EXPECT_EQ(Chooser::previewFileForName("Hill"), folder / "Hill.PNG");
    EXPECT_EQ(Chooser::previewFileForName("Hilltop"), folder / "Hilltop.PNG");
    EXPECT_EQ(Chooser::previewFileForName("top"), folder / "Hilltop.PNG");
    EXPECT_FALSE(Chooser::previewFileForName("side"));  // extension must be "PNG"
    EXPECT_FALSE(Chooser::previewFileForName(""));
    if (saved) {
        setenv("XDG_DATA_HOME", previous.c_str(), 1);
    } else {
        unsetenv("XDG_DATA_HOME");
    }
}

}  // namespace
