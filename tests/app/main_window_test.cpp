// The main window opening sessions through the real loading path: progress in the status bar,
// the selection worked out after the load and the laps listed, failures shown, never silent.
#include "tests/app/MainWindowFixture.h"
#include "tests/support/MainQueuePump.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "app/MVLapTableModel.h"
#include "app/MVLapsTableView.h"
#include "app/MVMiddleView.h"
#include "app/MVSplitView.h"
#include "app/MVStatusView.h"
#include "app/MVZQViewController.h"

#include "session/MVGLDFileManager.h"
#include "session/MVGlobalData.h"
#include "session/MVHelperKeys.h"
#include "session/MVOptionsAndSettings.h"

#include "platform/ObserverToken.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using testing_support::MainQueuePump;

using MainWindowTest = testing_support::MainWindowFixture;

TEST_F(MainWindowTest, OpeningASessionListsItsLapsAndSelectsTheBestLap) {
    int filledWith = -1;
    QObject::connect(controller.get(), &MVZQViewController::lapTableFilled,
                     [&](int laps) { filledWith = laps; });

    open(writeThreeLapSession("three.gld"));

    ASSERT_EQ(controller->lapTables().size(), 1u);
    MVLapTableModel* model = controller->lapTables().front()->model();
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(filledWith, 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_NEAR(model->lapAtRow(row)->duration(), threeLapTruth.laps[row].readerDuration, 0.05)
            << row;
    }
    // The best lap alone is selected, and it is the fastest listed lap.
    MVGlobalData& global = MVGlobalData::sharedManager();
    ASSERT_TRUE(global.bestLap());
    for (const MVLapPtr& lap : model->rowLaps()) {
        EXPECT_LE(global.bestLap()->duration(), lap->duration());
    }
    ASSERT_EQ(global.selectedLaps().size(), 1u);
    EXPECT_EQ(global.selectedLaps().front(), global.bestLap());
    EXPECT_EQ(global.selectedKeys(),
              (std::vector<std::string>{MVHelper::Key_Speed(), MVHelper::Key_DeltaT()}));
    // The load ended cleanly: bar gone, no failure message.
    EXPECT_FALSE(controller->statusView()->isLoading());
    EXPECT_FALSE(controller->statusView()->isIndicatorShown());
    EXPECT_TRUE(controller->statusView()->message().isEmpty());
    EXPECT_EQ(controller->droppedRebuilds(), 0);
}

// A second session with one lap selected pairs that lap with the fastest lap of the other
// session, the longer one first; both sessions get their page.
TEST_F(MainWindowTest, ASecondSessionAddsItsPageAndPairsTheSelection) {
    open(writeThreeLapSession("first.gld"));
    const MVLapPtr first = MVGlobalData::sharedManager().bestLap();
    open(writeThreeLapSession("second.gld", {0.95, 0.9, 0.93}));

    ASSERT_EQ(controller->lapTables().size(), 2u);
    EXPECT_EQ(listedLaps(), 6);
    const auto selected = MVGlobalData::sharedManager().selectedLaps();
    ASSERT_EQ(selected.size(), 2u);
    EXPECT_GE(selected[0]->duration(), selected[1]->duration());
    EXPECT_TRUE(selected[0] == first || selected[1] == first);
}

// Two sessions logged at the same pace hold laps of equal timing; the pair still takes one lap
// from each, told apart by the lap itself.
TEST_F(MainWindowTest, EqualPaceSessionsStillPairOneLapOfEach) {
    open(writeThreeLapSession("morning.gld"));
    open(writeThreeLapSession("evening.gld"));

    const auto selected = MVGlobalData::sharedManager().selectedLaps();
    ASSERT_EQ(selected.size(), 2u);
    EXPECT_NE(selected[0]->gldFile(), selected[1]->gldFile());
    EXPECT_EQ(selected[0], MVGlobalData::sharedManager().bestLap());
}

struct UnopenableCase {
    const char* name;
    // Makes the file in `dir` and returns its path.
    std::filesystem::path (*make)(const testing_support::TempDir& dir);
    QString expectedText;  // empty: the manager's own failure text, whatever it is
};

class MainWindowFailureTest : public MainWindowTest,
                              public ::testing::WithParamInterface<UnopenableCase> {};

// A file that cannot be opened ends with a failure in the status bar, and the laps already
// listed stay as they were.
TEST_P(MainWindowFailureTest, ShowsTheFailureAndKeepsTheTable) {
    open(writeThreeLapSession("good.gld"));
    ASSERT_EQ(listedLaps(), 3);
    const int applied = controller->appliedRebuilds();

    open(GetParam().make(dir));

    MVStatusView* status = controller->statusView();
    EXPECT_FALSE(status->isLoading());
    EXPECT_FALSE(status->isIndicatorShown());
    if (GetParam().expectedText.isEmpty()) {
        EXPECT_FALSE(status->message().isEmpty());
    } else {
        EXPECT_EQ(status->message(), GetParam().expectedText);
    }
    EXPECT_TRUE(status->isBlinking());
    EXPECT_EQ(listedLaps(), 3);
    EXPECT_EQ(controller->lapTables().size(), 1u);
    EXPECT_EQ(controller->appliedRebuilds(), applied);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MainWindowFailureTest,
    ::testing::Values(UnopenableCase{"Missing",
                                     [](const testing_support::TempDir& d) {
                                         return d / "missing.gld";
                                     },
                                     MVStatusView::unreachableFileText()},
                      UnopenableCase{"Folder",
                                     [](const testing_support::TempDir& d) {
                                         std::filesystem::create_directories(d / "folder.gld");
                                         return d / "folder.gld";
                                     },
                                     MVStatusView::unreadableFileText()},
                      UnopenableCase{"NotASession",
                                     [](const testing_support::TempDir& d) {
                                         return d.write("notes.gld", "nothing to see here\r\n");
                                     },
                                     QString()}),
    [](const auto& info) { return std::string(info.param.name); });

// A load whose progress report throws still ends: as a file that could not be read, with the
// display mode no longer held, and the next session opens as usual.
TEST_F(MainWindowTest, ALoadThatThrowsEndsAndReleasesTheDisplayMode) {
    class ThrowingDelegate final : public MVParsingProcessDelegate {
      public:
        void parsingStatus(std::int32_t) override { throw std::runtime_error("no status bar"); }
    };
    MVGLDFileManager& manager = MVGLDFileManager::sharedManager();
    const std::shared_ptr<MVParsingProcessDelegate> window = manager.delegate();
    const auto throwing = std::make_shared<ThrowingDelegate>();
    manager.setDelegate(throwing);
    testing::internal::CaptureStderr();
    open(writeThreeLapSession("thrown.gld"));
    const std::string err = testing::internal::GetCapturedStderr();
    manager.setDelegate(window);

    EXPECT_NE(err.find("threw: no status bar"), std::string::npos) << err;
    EXPECT_FALSE(MVOptionsAndSettings::sharedManager().displayModeChangesHeld());
    EXPECT_EQ(controller->statusView()->message(), MVStatusView::unreadableFileText());
    EXPECT_FALSE(controller->statusView()->isLoading());

    open(writeThreeLapSession("next.gld"));
    EXPECT_EQ(listedLaps(), 3);
    EXPECT_TRUE(controller->middleView()->enableUserInteract());
}

// A recomputation whose work throws (here an observer of the selection) takes clicks again, and
// the next one is applied.
TEST_F(MainWindowTest, ARecomputationThatThrowsTakesClicksAgain) {
    bool throwOnce = true;
    platform::ObserverToken observer = MVGlobalData::sharedManager().observeSelectedLaps(
        [&](const std::vector<MVLapPtr>&, const std::vector<MVLapPtr>&) {
            if (!MVGLDFileManager::loadingQueue().isCurrent() || !throwOnce) return;
            throwOnce = false;
            throw std::runtime_error("selection observer");
        });
    testing::internal::CaptureStderr();
    open(writeThreeLapSession("first.gld"));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("threw: selection observer"), std::string::npos) << err;
    EXPECT_FALSE(throwOnce);
    EXPECT_TRUE(controller->middleView()->enableUserInteract());

    const int applied = controller->appliedRebuilds();
    open(writeThreeLapSession("second.gld"));
    EXPECT_GT(controller->appliedRebuilds(), applied);
    EXPECT_EQ(listedLaps(), 6);
    EXPECT_TRUE(controller->middleView()->enableUserInteract());
}

// Divider positions stored by an earlier run are put back when the window first shows, and a
// moved divider stores all three positions.
TEST_F(MainWindowTest, DividerPositionsAreRestoredAndStored) {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setInteger(MVHelper::Default_MacOSDividerVerticalMapPosition(), 500);
    defaults.setInteger(MVHelper::Default_MacOSDividerTrackMapPosition(), 300);
    defaults.setInteger(MVHelper::Default_MacOSDividerChartVideoMapPosition(), 200);

    controller->resize(1200, 800);
    controller->show();
    MainQueuePump::drain();

    EXPECT_EQ(controller->splitViewForVerticalDivider()->positionOfDividerAtIndex(0), 500);
    EXPECT_EQ(controller->splitViewForLeftPanel()->positionOfDividerAtIndex(0), 300);
    EXPECT_EQ(controller->splitViewForChartAndVideo()->positionOfDividerAtIndex(0), 200);

    MVSplitView* vertical = controller->splitViewForVerticalDivider();
    emit vertical->splitterMoved(400, 1);
    EXPECT_EQ(defaults.integerForKey(MVHelper::Default_MacOSDividerVerticalMapPosition()), 500);
    EXPECT_EQ(defaults.integerForKey(MVHelper::Default_MacOSDividerTrackMapPosition()), 300);

    controller->resetLayout();
    emit vertical->splitterMoved(0, 1);
    EXPECT_NEAR(defaults.integerForKey(MVHelper::Default_MacOSDividerVerticalMapPosition()),
                1200 / 3, 4);
    defaults.setInteger(MVHelper::Default_MacOSDividerVerticalMapPosition(), 0);
    defaults.setInteger(MVHelper::Default_MacOSDividerTrackMapPosition(), 0);
    defaults.setInteger(MVHelper::Default_MacOSDividerChartVideoMapPosition(), 0);
}

}  // namespace
