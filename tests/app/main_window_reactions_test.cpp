// The main window following changes: the first load replaces the logo by the panes, lap clicks
// and option changes recompute off the main thread behind overlays and a click lock, closing
// sessions rebuilds from what is left, and out-of-date rebuilds are dropped.
#include "tests/app/MainWindowFixture.h"

#include "app/MVLapsController.h"
#include "app/MVLapsView.h"
#include "app/MVMenuController.h"
#include "app/MVMiddleView.h"

#include "views/MVChartController.h"
#include "views/MVChartPlotStackView.h"
#include "views/MVChartPlotView.h"
#include "views/MVChartToolBarView.h"
#include "views/MVChartView.h"
#include "views/MVPlotController.h"
#include "views/MVSectorController.h"
#include "views/MVThumbnailController.h"
#include "views/MVTrackController.h"
#include "views/MVTrackMapView.h"
#include "views/MVTrackView.h"
#include "views/MVVideoController.h"
#include "views/MVVideoFilmView.h"
#include "views/MVVideoView.h"

#include "widgets/MVProgressHUD.h"
#include "widgets/MVTextField.h"

#include "session/MVHelperKeys.h"
#include "session/MVNotifications.h"
#include "session/MVSynchronization.h"
#include "session/ZORFileLog.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

using testing_support::MainQueuePump;

class MainWindowReactionsTest : public testing_support::MainWindowFixture {
  protected:
    // Pumps until `applied` rebuilds more than `before` have reached the panes.
    void waitForRebuilds(int before, int count = 1) {
        ASSERT_TRUE(MainQueuePump::until([&] {
            return controller->appliedRebuilds() + controller->droppedRebuilds() >= before + count;
        }));
        MainQueuePump::drain();
    }
    int rebuildsSoFar() const {
        return controller->appliedRebuilds() + controller->droppedRebuilds();
    }
    // The plots the chart pane shows.
    std::vector<MVChartPlotView*> chartPlots() const {
        MVChartView* area = controller->chartController().chartView();
        if (!area || !area->plotStackView()) return {};
        return area->plotStackView()->arrayOfPlotViews();
    }
    MVLapPtr slowestListedLap() const {
        MVLapPtr slowest;
        for (MVLapsTableView* table : controller->lapTables()) {
            for (const MVLapPtr& lap : table->model()->rowLaps()) {
                if (!slowest || lap->duration() > slowest->duration()) slowest = lap;
            }
        }
        return slowest;
    }
};

TEST_F(MainWindowReactionsTest, FirstLoadReplacesTheLogoAndFillsEveryPane) {
    EXPECT_TRUE(controller->isLogoOn());
    EXPECT_FALSE(controller->menuController().buttonsEnabled());

    open(writeThreeLapSession("one.gld"));

    EXPECT_FALSE(controller->isLogoOn());
    EXPECT_TRUE(controller->menuController().buttonsEnabled());
    EXPECT_TRUE(controller->middleView()->enableUserInteract());
    const MVLapPtr best = MVGlobalData::sharedManager().bestLap();
    ASSERT_TRUE(best);
    MVChartController& chart = controller->chartController();
    EXPECT_TRUE(controller->trackController().trackView()->hasSubviews());
    // The video pane holds one film, of the best lap.
    ASSERT_EQ(controller->videoController().films().size(), 1u);
    EXPECT_EQ(controller->videoController().films().front()->lap(), best);
    // Position axis: the reference lap is the last selected one; one series per charted key.
    EXPECT_EQ(chart.referenceLap(), best);
    EXPECT_EQ(chart.arrayOfSelectedLaps(), std::vector<MVLapPtr>{best});
    ASSERT_TRUE(chart.dataForPlots());
    EXPECT_EQ(chart.dataForPlots()->size(), 2u);
    ASSERT_TRUE(best->positionIndexes());
    EXPECT_EQ(chart.xMax(), static_cast<double>(best->positionIndexes()->count()));
    // One plot per charted key, fitted to the whole lap.
    const std::vector<MVChartPlotView*> plots = chartPlots();
    ASSERT_EQ(plots.size(), 2u);
    EXPECT_EQ(plots[0]->key(), MVHelper::Key_Speed());
    EXPECT_EQ(plots[1]->key(), MVHelper::Key_DeltaT());
    for (MVChartPlotView* plot : plots) {
        EXPECT_EQ(plot->xRange().location, 0.0);
        EXPECT_EQ(plot->xRange().length, chart.xMax());
    }
    EXPECT_TRUE(controller->trackController().wholeLap());
    EXPECT_EQ(controller->videoController().arrayOfSelectedLaps(), std::vector<MVLapPtr>{best});
}

TEST_F(MainWindowReactionsTest, WholeSessionDisplayChartsVelocityOfTheWholeSession) {
    MVOptionsAndSettings::sharedManager().safelyChangeMVDisplayModeWithoutKVO(1);
    MVOptionsAndSettings::sharedManager().safelyChangeMVModeWithoutKVO(0);

    open(writeThreeLapSession("whole.gld"));

    const auto selected = MVGlobalData::sharedManager().selectedLaps();
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_TRUE(selected.front()->isWholeFileLap());
    EXPECT_EQ(MVGlobalData::sharedManager().selectedKeys(),
              std::vector<std::string>{MVHelper::Key_Speed()});
    EXPECT_EQ(listedLaps(), 1);
    // Time axis: the x range is the whole session's duration.
    EXPECT_DOUBLE_EQ(controller->chartController().xMax(), selected.front()->duration());
}

// A lap click refuses further clicks and shows an overlay on the laps panel until the panes are
// rebuilt; a click that arrives meanwhile is dropped.
TEST_F(MainWindowReactionsTest, LapClickRecomputesBehindTheOverlayAndTheClickLock) {
    platform::FakeClock clock;
    clock.install();
    open(writeThreeLapSession("one.gld"));
    const MVLapPtr best = MVGlobalData::sharedManager().bestLap();
    const MVLapPtr slowest = slowestListedLap();
    ASSERT_NE(best, slowest);
    const int before = rebuildsSoFar();

    platform::NotificationCenter::defaultCenter().post(MVLapDidSelected, nullptr,
                                                       {{"selectedLap", slowest}});
    EXPECT_EQ(MVGlobalData::sharedManager().selectedLaps(), (std::vector<MVLapPtr>{slowest, best}));
    EXPECT_FALSE(controller->middleView()->enableUserInteract());
    EXPECT_TRUE(MVProgressHUD::HUDForView(controller->lapsView()));

    // Dropped: the overlay shows.
    platform::NotificationCenter::defaultCenter().post(MVLapDidSelected, nullptr,
                                                       {{"selectedLap", best}});
    EXPECT_EQ(MVGlobalData::sharedManager().selectedLaps().size(), 2u);

    waitForRebuilds(before);
    EXPECT_TRUE(controller->middleView()->enableUserInteract());
    for (MVChartPlotView* plot : chartPlots()) {
        EXPECT_EQ(plot->arrayOfSelectedLaps(), (std::vector<MVLapPtr>{slowest, best}));
        EXPECT_EQ(plot->dataForPlot().size(), 2u);
        EXPECT_EQ(plot->xRange().location, 0.0);
    }
    ASSERT_TRUE(controller->trackController().trackMapView());
    EXPECT_EQ(controller->trackController().trackMapView()->arrayOfSelectedLaps(),
              (std::vector<MVLapPtr>{slowest, best}));
    EXPECT_EQ(controller->lapsController().selectedLaps(), (std::vector<MVLapPtr>{slowest, best}));
    EXPECT_EQ(controller->chartController().arrayOfSelectedLaps(),
              (std::vector<MVLapPtr>{slowest, best}));

    for (int i = 0; i < 20 && MVProgressHUD::HUDForView(controller->lapsView()); ++i) {
        clock.advance(std::chrono::milliseconds(100));
        MainQueuePump::drain();
    }
    EXPECT_FALSE(MVProgressHUD::HUDForView(controller->lapsView()));
    clock.uninstall();
}

// The x extent every part of the chart pane holds, and the visible range of every plot.
void expectWholeExtent(MVChartController& chart, double xMax) {
    EXPECT_EQ(chart.xMax(), xMax);
    EXPECT_EQ(chart.chartView()->xMax(), xMax);
    for (MVChartPlotView* plot : chart.chartView()->plotStackView()->arrayOfPlotViews()) {
        EXPECT_EQ(plot->xMax(), xMax);
        EXPECT_EQ(plot->xRange(), (MVPlotRange{0.0, xMax}));
    }
    ASSERT_FALSE(chart.plotControllers().empty());
    for (const auto& plotController : chart.plotControllers()) {
        EXPECT_EQ(plotController->xMax(), xMax);
    }
    ASSERT_TRUE(chart.sectorController() && chart.thumbnailController());
    EXPECT_EQ(chart.sectorController()->xMax(), xMax);
    EXPECT_EQ(chart.thumbnailController()->xMax(), xMax);
}

// In time mode a second, slower lap becomes the reference: the whole of it stays reachable
// after pairing, and after a switch of the x axis with the pair selected.
TEST_F(MainWindowReactionsTest, PairingALongerLapAndSwitchingTheAxisShowTheWholeReferenceLap) {
    open(writeThreeLapSession("one.gld"));
    MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager();
    MVChartController& chart = controller->chartController();
    int before = rebuildsSoFar();
    options.setMode(0);
    waitForRebuilds(before);
    const MVLapPtr best = MVGlobalData::sharedManager().bestLap();
    const MVLapPtr slowest = slowestListedLap();
    ASSERT_GT(slowest->duration(), best->duration() + 1.0);
    expectWholeExtent(chart, best->duration());

    before = rebuildsSoFar();
    platform::NotificationCenter::defaultCenter().post(MVLapDidSelected, nullptr,
                                                       {{"selectedLap", slowest}});
    waitForRebuilds(before);
    ASSERT_EQ(chart.referenceLap(), slowest);
    expectWholeExtent(chart, slowest->duration());
    EXPECT_EQ(chart.chartView()->toolBarView()->maxTimeTextField()->text(),
              QString::asprintf("Total: %3.2fs", slowest->duration()));
    // Menu moves reach past the faster lap's end up to the slower lap's.
    for (int i = 0; i < 20; ++i) chart.moveRight();
    EXPECT_NEAR(MVSynchronization::sharedManager().syncTime(), slowest->duration(), 1e-5);
    // Zooming out past the whole lap stops at it.
    for (int i = 0; i < 5; ++i) chart.moveUp();
    EXPECT_EQ(chart.chartView()->plotStackView()->arrayOfPlotViews().front()->xRange(),
              (MVPlotRange{0.0, slowest->duration()}));

    before = rebuildsSoFar();
    options.setMode(1);
    waitForRebuilds(before);
    ASSERT_EQ(chart.referenceLap(), best);
    expectWholeExtent(chart, static_cast<double>(best->positionIndexes()->count()));
    before = rebuildsSoFar();
    options.setMode(0);
    waitForRebuilds(before);
    ASSERT_EQ(chart.referenceLap(), slowest);
    expectWholeExtent(chart, slowest->duration());
}

struct UnitCase {
    const char* name;
    std::vector<std::string> charted;
    bool redraws;
};

class MainWindowUnitTest : public MainWindowReactionsTest,
                           public ::testing::WithParamInterface<UnitCase> {};

// A speed-unit change redraws the chart and the lap table only when velocity is charted.
TEST_P(MainWindowUnitTest, SpeedUnitChangeRedrawsWhatShowsSpeed) {
    open(writeThreeLapSession("one.gld"));
    {
        // Charted keys changed by the chart: follow it first.
        const int before = rebuildsSoFar();
        MVGlobalData::sharedManager().setSelectedKeys(GetParam().charted);
        waitForRebuilds(before);
    }
    const int before = rebuildsSoFar();
    ASSERT_FALSE(chartPlots().empty());
    const MVPlotCurves shownBefore = chartPlots().front()->dataForPlot();

    MVOptionsAndSettings::sharedManager().setSpeedUnit(1);

    EXPECT_EQ(controller->middleView()->enableUserInteract(), !GetParam().redraws);
    if (GetParam().redraws) waitForRebuilds(before);
    MainQueuePump::drain();
    EXPECT_EQ(rebuildsSoFar(), before + (GetParam().redraws ? 1 : 0));
    // The first plot shows velocity in the new unit, or its delta times unchanged.
    EXPECT_EQ(chartPlots().front()->dataForPlot() != shownBefore, GetParam().redraws);
    if (GetParam().redraws) {
        EXPECT_EQ(controller->fileController().speedUnit(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Units, MainWindowUnitTest,
                         ::testing::Values(UnitCase{"DeltaTimeOnly", {"delta t"}, false},
                                           UnitCase{"Velocity", {"velocity", "delta t"}, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Switching to the whole-session display puts the x axis on time, back to laps on the stored axis;
// of two full rebuilds dispatched at once only the later reaches the panes.
TEST_F(MainWindowReactionsTest, DisplayModeSwitchesTheAxisAndDropsTheOutOfDateRebuild) {
    open(writeThreeLapSession("one.gld"));
    MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager();
    int before = rebuildsSoFar();

    options.setDisplayMode(1);
    waitForRebuilds(before);
    EXPECT_EQ(options.mode(), 0);
    ASSERT_EQ(MVGlobalData::sharedManager().selectedLaps().size(), 1u);
    EXPECT_TRUE(MVGlobalData::sharedManager().selectedLaps().front()->isWholeFileLap());
    EXPECT_EQ(listedLaps(), 1);

    before = rebuildsSoFar();
    const int droppedBefore = controller->droppedRebuilds();
    options.setDisplayMode(0);
    options.setLapOptionsMode(0);
    waitForRebuilds(before, 2);
    EXPECT_EQ(controller->droppedRebuilds(), droppedBefore + 1);
    EXPECT_EQ(options.mode(), 1);
    EXPECT_FALSE(MVGlobalData::sharedManager().selectedLaps().front()->isWholeFileLap());
    EXPECT_EQ(listedLaps(), 3);
    EXPECT_TRUE(controller->middleView()->enableUserInteract());
}

// Leaving the whole-session display, by the settings or by a sector click there, puts back the
// x axis the user stored, and so does a change of the lap option: the chart and the settings
// say the same.
TEST_F(MainWindowReactionsTest, LapDisplayReadsAgainstTheStoredAxis) {
    open(writeThreeLapSession("axis.gld"));
    MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager();
    for (const MVXAxisMode stored : {MVXAxisMode::Time, MVXAxisMode::Position}) {
        platform::UserDefaults::standard().setInteger(
            MVHelper::Default_XAxisMode(),
            MVOptionsAndSettings::storedXAxisModeForMode(storedOptionValue(stored)));
        options.safelyChangeMVModeWithoutKVO(stored);
        const char* name = stored == MVXAxisMode::Time ? "time" : "position";

        int before = rebuildsSoFar();
        options.setDisplayMode(1);
        waitForRebuilds(before);
        EXPECT_TRUE(options.is(MVXAxisMode::Time)) << name;
        before = rebuildsSoFar();
        options.setDisplayMode(0);
        waitForRebuilds(before);
        EXPECT_TRUE(options.is(stored)) << name << ": back to the laps";

        options.safelyChangeMVModeWithoutKVO(MVXAxisMode::Time);
        before = rebuildsSoFar();
        options.setLapOptionsMode(1);
        waitForRebuilds(before);
        EXPECT_TRUE(options.is(stored)) << name << ": lap option";
        options.safelyChnageMVLapsOptionWithoutKVO(0);

        options.safelyChangeMVModeWithoutKVO(MVXAxisMode::Time);
        before = rebuildsSoFar();
        platform::NotificationCenter::defaultCenter().post(
            MVNotificationSelectedLapsChangedFromWholeFileSession, nullptr, {});
        waitForRebuilds(before);
        EXPECT_TRUE(options.is(stored)) << name << ": sector click in the whole session";
    }
    platform::UserDefaults::standard().setInteger(MVHelper::Default_XAxisMode(), 0);
}

// Closing the visible session rebuilds from what is left; closing the last brings the logo
// back with the buttons disabled and nothing selected.
TEST_F(MainWindowReactionsTest, ClosingSessionsRebuildsAndFinallyShowsTheLogo) {
    open(writeThreeLapSession("first.gld"));
    open(writeThreeLapSession("second.gld", {0.95, 0.9, 0.93}));
    ASSERT_EQ(controller->lapTables().size(), 2u);
    const std::string firstName = controller->fileController().gldFileNames().front();

    int before = rebuildsSoFar();
    controller->lapsController().closeCurrentSession();
    waitForRebuilds(before);
    ASSERT_EQ(controller->fileController().gldFileNames(), std::vector<std::string>{firstName});
    EXPECT_EQ(controller->lapTables().size(), 1u);
    const auto selected = MVGlobalData::sharedManager().selectedLaps();
    ASSERT_FALSE(selected.empty());
    for (const MVLapPtr& lap : selected) EXPECT_EQ(lap->gldFile(), selected.front()->gldFile());
    EXPECT_FALSE(controller->isLogoOn());

    before = rebuildsSoFar();
    controller->lapsController().closeCurrentSession();
    waitForRebuilds(before);
    EXPECT_TRUE(controller->isLogoOn());
    EXPECT_FALSE(controller->menuController().buttonsEnabled());
    EXPECT_TRUE(MVGlobalData::sharedManager().selectedLaps().empty());
    EXPECT_FALSE(MVGlobalData::sharedManager().bestLap());
    EXPECT_TRUE(controller->lapTables().empty());
    EXPECT_FALSE(controller->chartController().chartView()->hasSubviews());
    EXPECT_FALSE(controller->trackController().trackView()->hasSubviews());
    EXPECT_TRUE(controller->videoController().films().empty());
    ASSERT_TRUE(controller->videoController().videoView());
    EXPECT_FALSE(controller->videoController().videoView()->filmStackView());

    // Nothing loaded: closing does nothing.
    before = rebuildsSoFar();
    controller->lapsController().closeCurrentSession();
    MainQueuePump::drain();
    EXPECT_EQ(rebuildsSoFar(), before);
}

// Sessions whose lap lists are empty give no best lap and no partner: nothing missing ever
// enters the selection.
TEST(MainWindowSelection, EmptySessionsNeverEnterTheSelection) {
    MVGLDFileManager manager;
    MVZQViewController controller(manager);
    auto lap = [](const char* file, double duration) {
        MVLapPtr made = MVLap::instance();
        made->setGldFile(file);
        made->setDuration(duration);
        return made;
    };
    struct Case {
        const char* name;
        std::vector<std::vector<double>> sessions;  // lap times of each session
        bool selectFirstLap;
        size_t expected;
    };
    for (const Case& c :
         {Case{"no laps anywhere", {{}, {}}, false, 0},
          Case{"one lap kept, the other session empty", {{92.1, 90.4}, {}}, true, 1},
          Case{"best lap alone, the other session empty", {{}, {91.0}}, false, 1}}) {
        std::vector<MVLapsPtr> lists;
        std::vector<std::string> names;
        for (size_t i = 0; i < c.sessions.size(); ++i) {
            names.push_back("s" + std::to_string(i));
            lists.push_back(MVLaps::instance());
            for (double t : c.sessions[i]) lists.back()->addLap(lap(names.back().c_str(), t));
        }
        MVLoadedFiles files;
        for (size_t i = 0; i < names.size(); ++i) {
            files.appendSeries({names[i], {}, {}, nullptr, nullptr, nullptr});
            files.appendLaps({lists[i], lists[i], lists[i], MVLaps::instance()});
        }
        manager.replaceLoadedFiles(std::move(files));
        MVGlobalData::sharedManager().safelyChangeSelectedLapsWithoutKVO(
            c.selectFirstLap ? std::vector<MVLapPtr>{lists[0]->data().front()}
                             : std::vector<MVLapPtr>{});
        const int before = controller.appliedRebuilds();
        platform::NotificationCenter::defaultCenter().post(MVNotificationGLDFileDidRemoved);
        ASSERT_TRUE(MainQueuePump::until([&] { return controller.appliedRebuilds() > before; }));

        const auto selected = MVGlobalData::sharedManager().selectedLaps();
        EXPECT_EQ(selected.size(), c.expected) << c.name;
        for (const MVLapPtr& kept : selected) EXPECT_TRUE(kept) << c.name;
    }
    MVGlobalData::sharedManager().resetData();
    MVGlobalData::sharedManager().setSelectedKeys({});
    ASSERT_TRUE(MVGLDFileManager::loadingQueue().drainFor(std::chrono::seconds(20)));
    MainQueuePump::drain();
}

// A main window that is gone leaves no laps controller behind that still reacts to a close
// button (tasks on their way may hold it a little longer).
TEST(MainWindowSelection, AClosedWindowNoLongerClosesSessions) {
    MVGLDFileManager manager;
    MVLoadedFiles files;
    files.appendSeries({"kept", {}, {}, nullptr, nullptr, nullptr});
    files.appendLaps(
        {MVLaps::instance(), MVLaps::instance(), MVLaps::instance(), MVLaps::instance()});
    manager.replaceLoadedFiles(std::move(files));
    auto controller = std::make_unique<MVZQViewController>(manager);
    // A recomputation waits behind a busy loading queue and keeps the window's workers alive.
    platform::Semaphore gate;
    MVGLDFileManager::loadingQueue().async([&gate] { gate.wait(std::chrono::seconds(20)); });
    platform::NotificationCenter::defaultCenter().post(MVNotificationGLDFileDidRemoved);
    controller.reset();

    platform::NotificationCenter::defaultCenter().post(MVSessionCloseButtonClicked, nullptr,
                                                       {{"index", 0LL}});
    gate.signal();
    ASSERT_TRUE(MVGLDFileManager::loadingQueue().drainFor(std::chrono::seconds(20)));
    MainQueuePump::drain();
    EXPECT_EQ(manager.gldFileNames(), std::vector<std::string>{"kept"});
}

TEST_F(MainWindowReactionsTest, ChoosingARecentFileOpensIt) {
    const std::filesystem::path path = writeThreeLapSession("recent.gld");
    const int before = controller->finishedLoads();
    platform::NotificationCenter::defaultCenter().post(MVNotificationRecentFileSelected, nullptr,
                                                       {{"recent", path}});
    ASSERT_TRUE(MainQueuePump::until([&] { return controller->finishedLoads() > before; }));
    MainQueuePump::drain();
    EXPECT_EQ(listedLaps(), 3);
}

// Each recomputation step writes its start and finish lines to the diagnostic log.
TEST_F(MainWindowReactionsTest, StepsWriteTheirLinesToTheDiagnosticLog) {
    std::filesystem::create_directories(ZORFileLog::shared().logFile().parent_path());
    ZORFileLog::turnOnLog();
    open(writeThreeLapSession("logged.gld"));
    ZORFileLog::turnOffLog();
    std::ifstream in(ZORFileLog::shared().logFile());
    std::stringstream text;
    text << in.rdbuf();
    for (const char* line :
         {"\nstart - (void)loadGLDFile:(NSURL *)url\n", "\nstart - (void)calculateGlobalData\n",
          "finish - (void)calculateGlobalLapsData\n", "\nstart - (void)initLapOptionsView\n",
          "finish - (void)initVideoView\n", "finish [_fileController loadGLDFileWithURL:url]\n"}) {
        EXPECT_NE(text.str().find(line), std::string::npos) << line;
    }
}

}  // namespace
