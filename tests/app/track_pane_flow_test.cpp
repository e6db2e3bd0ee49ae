// The track pane in the main window: a session that no circuit matches opens the track wizard by
// itself; a click on the route places the gate and Yes parses the session again with it.
#include "tests/app/MainWindowFixture.h"

#include "views/MVTrackController.h"
#include "views/MVTrackWizardView.h"
#include "views/MVTrackWizardWindowController.h"

#include "session/MVGlobalData.h"
#include "session/MVOptionsAndSettings.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>

namespace {

using testing_support::MainQueuePump;

class TrackPaneFlowTest : public testing_support::MainWindowFixture {
  protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        shipped = manager().shippedCircuitDatabase();
        std::ofstream(dir / "empty.xml") << "<?xml version=\"1.0\"?>\n<circuits>\n</circuits>\n";
        manager().setShippedCircuitDatabase(dir / "empty.xml");
    }
    void TearDown() override {
        MainWindowFixture::TearDown();
        manager().setShippedCircuitDatabase(shipped);
    }
    static MVGLDFileManager& manager() { return MVGLDFileManager::sharedManager(); }
    std::filesystem::path shipped;
};

TEST_F(TrackPaneFlowTest, NoLapSessionOpensTheWizardAndYesCutsItsLaps) {
    platform::FakeClock clock;
    clock.install();
    testing_support::SessionOptions options;
    options.laps = 3;
    const auto path = dir / "nogates.gld";
    ASSERT_TRUE(
        testing_support::writeSessionFile(path, testing_support::generateSession(options).text));
    open(path);
    ASSERT_EQ(manager().arrayOfMVLaps().size(), 1u);
    ASSERT_TRUE(manager().arrayOfMVLaps()[0]->data().empty());
    MVOptionsAndSettings& display = MVOptionsAndSettings::sharedManager();
    EXPECT_EQ(display.displayMode(), 1);  // no laps: the whole session
    EXPECT_EQ(listedLaps(), 1);

    MVTrackController& track = controller->trackController();
    clock.advance(std::chrono::milliseconds(499));
    MainQueuePump::drain();
    EXPECT_FALSE(track.wizardWindowController());
    clock.advance(std::chrono::milliseconds(1));
    MainQueuePump::drain();
    MVTrackWizardWindowController* wizard = track.wizardWindowController();
    ASSERT_TRUE(wizard);
    EXPECT_TRUE(wizard->isVisible());

    MVTrackWizardView* map = wizard->trackWizardView();
    map->resize(800, 600);
    const auto& route = map->wholeMap()->sectorSegments().front();
    const MVTrackMapViewport vp = map->viewport();
    const MVViewPoint at = vp.toScreen(vp.project(route[route.size() / 3]->point()));
    map->clickAt(QPointF(at.x, at.y), false);
    const std::int64_t laps = map->lapDetected();
    ASSERT_GE(laps, 2);
    EXPECT_EQ(map->labelString(), QString("%1 Laps detected").arg(laps));

    const int before = controller->appliedRebuilds() + controller->droppedRebuilds();
    wizard->yesButton();
    EXPECT_FALSE(wizard->isVisible());
    // The wizard queues the new record on the loading queue, which queues the re-parse there: a
    // mark queued behind that re-parse tells its end, waited for while the main queue runs the
    // statuses the re-parse hops there with.
    std::atomic<bool> reparsed{false};
    MVGLDFileManager::loadingQueue().async(
        [&reparsed] { MVGLDFileManager::loadingQueue().async([&reparsed] { reparsed = true; }); });
    ASSERT_TRUE(MainQueuePump::until([&] {
        return reparsed && controller->appliedRebuilds() + controller->droppedRebuilds() > before;
    }));
    MainQueuePump::drain();
    EXPECT_EQ(static_cast<std::int64_t>(manager().arrayOfMVLaps()[0]->count()), laps);
    // The laps just found are listed: the manager's display rule has returned the display to the
    // laps, on the position axis.
    ASSERT_TRUE(MainQueuePump::until([&] { return display.displayMode() == 0; }));
    EXPECT_TRUE(MainQueuePump::until([&] { return display.mode() == 1; }));
    EXPECT_TRUE(MainQueuePump::until([&] { return listedLaps() == laps; })) << listedLaps();
    ASSERT_EQ(MVGlobalData::sharedManager().selectedLaps().size(), 1u);
    EXPECT_FALSE(MVGlobalData::sharedManager().selectedLaps().front()->isWholeFileLap());
    ASSERT_TRUE(manager().trackInfo() && manager().trackInfo()->sfLocations());
    const MVLocationPtr& gate = manager().trackInfo()->sfLocations()->nextLocation();
    EXPECT_EQ(gate->latitude(), map->trackInfo()->sfLocations()->nextLocation()->latitude());
    EXPECT_EQ(gate->longitude(), map->trackInfo()->sfLocations()->nextLocation()->longitude());
}

}  // namespace
