// The thumbnail strip: which frames it asks for and keeps, its scrolling, its controller's
// cursor moves, and its place in the chart pane with the channel chooser.
#include "views/MVChartController.h"
#include "views/MVChartThumbnailView.h"
#include "views/MVChartToolBarView.h"
#include "views/MVChartView.h"
#include "views/MVPopOverInfoViewController.h"
#include "views/MVThumbnailController.h"

#include "views/ChartWorld.h"

#include "widgets/MVButton.h"

#include "platform/Clock.h"

#include "support/MainQueuePump.h"

#include <QLabel>
#include <QScrollBar>

#include <gtest/gtest.h>

namespace {

using namespace testing_support;

MVThumbnailImageAndIndex frame(std::int64_t slot) {
    QImage image(160, 100, QImage::Format_RGB32);
    image.fill(Qt::green);
    return {image, slot};
}

std::vector<MVThumbnailInfo> infos(int n) {
    std::vector<MVThumbnailInfo> out;
    for (int k = 0; k < n; ++k) out.push_back({"/nowhere/VID1.mp4", k * 1.0, std::size_t(k)});
    return out;
}

class ThumbnailStrip : public ::testing::Test {
  protected:
    void SetUp() override {
        strip.resize(480, 100);
        strip.show();
        // The whole lap (30) at a visible length of 10: a document three strips wide.
        strip.updateContentViewWithGraphRange({0, 10}, 30, infos(9));
    }
    std::vector<int> placedAt() {
        std::vector<int> xs;
        for (auto* label : strip.scrollContentView()->findChildren<QLabel*>()) {
            xs.push_back(label->x());
        }
        std::sort(xs.begin(), xs.end());
        return xs;
    }

    TempDir dir;
    platform::UserDefaults defaults{dir / "defaults.json"};
    MVChartThumbnailView strip{defaults, dir / "thumbs"};
};

TEST(ThumbnailStripAlone, BeforeItsFirstSlotsTheDocumentIsAsWideAsTheStrip) {
    TempDir dir;
    platform::UserDefaults defaults{dir / "defaults.json"};
    MVChartThumbnailView strip{defaults, dir / "thumbs"};
    strip.resize(800, 100);
    strip.show();
    EXPECT_EQ(strip.getCurrentScrollViewWidth(), 800);
}

TEST_F(ThumbnailStrip, AFilledWindowStartsNoWork) {
    EXPECT_EQ(strip.getCurrentScrollViewWidth(), 1440);
    strip.startGeneratingThumbanils();
    EXPECT_EQ(strip.generationRequests(), 1);
    for (int slot : {0, 1, 2}) strip.frameArrived(frame(slot));
    EXPECT_EQ(strip.integerArray(), (std::set<std::int64_t>{0, 1, 2}));
    strip.startGeneratingThumbanils();
    EXPECT_EQ(strip.generationRequests(), 1);
}

TEST_F(ThumbnailStrip, FramesAfterClearingOrLeftOfTheWindowAreDroppedOthersLandAtTheirSlot) {
    strip.scrollThumbnailByPoint(480);  // window: slots 3..5
    strip.startGeneratingThumbanils();
    EXPECT_EQ(strip.currentStartIndex(), 3);
    strip.frameArrived(frame(2));   // left of the window
    strip.frameArrived(frame(4));
    strip.frameArrived(frame(7));   // right of it: at its own place in the document
    strip.frameArrived(frame(9));   // beyond the last slot
    EXPECT_EQ(placedAt(), (std::vector<int>{640, 1120}));
    strip.removeThumbnails();
    strip.frameArrived(frame(5));
    EXPECT_TRUE(placedAt().empty());
}

TEST_F(ThumbnailStrip, OnlyAScrollOfAPointOrMoreIsPublished) {
    std::vector<double> offsets;
    auto token = strip.observeScrollMoveOffset([&](double, double v) { offsets.push_back(v); });
    strip.scrollThumbnailByPoint(0.4);
    EXPECT_TRUE(offsets.empty());
    strip.scrollThumbnailByPoint(1);
    strip.scrollThumbnailByPoint(100);
    EXPECT_EQ(offsets, (std::vector<double>{1, 100}));
}

class ThumbnailControllerTest : public ThumbnailStrip {
  protected:
    void SetUp() override {
        ThumbnailStrip::SetUp();
        world.sync.setSyncShift(20);  // clamped to the time-mode minimum
        controller.setThumbnailView(&strip);
        lap->setDuration(90.3);
        controller.setLap(lap);
    }
    ChartWorld world;
    MVLapPtr lap = MVLap::instance();
    MVThumbnailController controller{world.shared()};
};

TEST_F(ThumbnailControllerTest, ScrollingTheStripMovesTheCursorAndSnapsToTheLapsEnds) {
    ASSERT_EQ(controller.xShift(), 20);
    world.sync.setSyncTime(50);
    strip.horizontalScrollBar()->setValue(10);  // 10 / 480 x 20 = 0.42 s
    EXPECT_EQ(world.sync.syncTime(), 0);
    strip.horizontalScrollBar()->setValue(480);
    EXPECT_EQ(world.sync.syncTime(), 20);
    strip.updateContentViewWithGraphRange({0, 10}, 90.3, infos(9));
    strip.horizontalScrollBar()->setValue(2160);  // 90 s: within 0.5 s of the end
    EXPECT_NEAR(world.sync.syncTime(), 90.3, 1e-9);

    // Moving the cursor scrolls the strip without writing the cursor back.
    int writes = 0;
    auto token = world.sync.observeSyncTime([&](double, double) { ++writes; });
    world.sync.setGraphCurrentRange(MVPlotRange{10, 20});
    world.sync.setSyncTime(30);
    EXPECT_EQ(strip.horizontalScrollBar()->value(), 240);
    EXPECT_EQ(writes, 1);
}

TEST_F(ThumbnailControllerTest, NothingMovesWithoutWidthOrPositions) {
    world.options.safelyChangeMVModeWithoutKVO(1);
    world.sync.setSyncIndexOfPosition(7);
    strip.horizontalScrollBar()->setValue(300);  // the lap has no positions
    EXPECT_EQ(world.sync.syncIndexOfPosition(), 7);
    lap->positionIndexes()->setData({0, 1, 2, 3, 4, 5});
    strip.horizontalScrollBar()->setValue(480);  // index 20: beyond the last
    EXPECT_EQ(world.sync.syncIndexOfPosition(), 5);
    strip.resize(0, 100);
    strip.horizontalScrollBar()->setValue(10);
    EXPECT_EQ(world.sync.syncIndexOfPosition(), 5);
}

TEST_F(ThumbnailControllerTest, ARangeChangeRefillsAShownStripHalfASecondLaterAndAHiddenOneNever) {
    platform::FakeClock clock;
    clock.install();
    int lists = 0;
    auto token = controller.infosGenerator().observeListOfThumbnailInfos(
        [&](const auto&, const auto&) { ++lists; });
    strip.frameArrived(frame(0));
    strip.resize(480, 0);
    world.sync.setGraphCurrentRange(MVPlotRange{0, 30});
    EXPECT_TRUE(strip.integerArray().empty());
    clock.advance(std::chrono::seconds(1));
    MainQueuePump::drain();
    EXPECT_EQ(lists, 0);

    strip.resize(480, 100);
    world.sync.setGraphCurrentRange(MVPlotRange{0, 30});
    clock.advance(std::chrono::milliseconds(400));
    MainQueuePump::drain();
    EXPECT_EQ(lists, 0);
    clock.advance(std::chrono::milliseconds(200));
    ASSERT_TRUE(MainQueuePump::until([&] { return lists == 1; }));
    clock.uninstall();
}

TEST(ChartPaneStrips, TheChartAreaHasTheStripAndTheChannelButtonOpensTheChooser) {
    ChartWorld world;
    QWidget pane;
    pane.resize(1200, 700);
    MVChartController chart{world.shared()};
    chart.setChartView(&pane);
    chart.chartView()->setAnimationDuration(0);
    pane.show();
    MVLapPtr lap = lapWithSectors({0, 40, 100});
    chart.setXMax(100);
    chart.setXShift(40);
    chart.setReferenceLap(lap);
    chart.setArrayOfSelectedLaps({lap});
    chart.setArrayOfAllKeys({{"time", "velocity", "rpm"}});
    chart.setArrayOfSelectedKeys({"velocity"});
    chart.setDataForPlots(MVPlotSeries(1, MVPlotCurves(1)));
    chart.initSubviews();
    ASSERT_TRUE(chart.chartView()->thumbnailView());
    ASSERT_TRUE(chart.thumbnailController());
    EXPECT_EQ(chart.thumbnailController()->thumbnailView(), chart.chartView()->thumbnailView());
    EXPECT_EQ(chart.thumbnailController()->lap(), lap);

    MVButton* edit = chart.chartView()->toolBarView()->editButton();
    ASSERT_TRUE(edit->isEnabled());
    edit->click();
    ASSERT_TRUE(chart.channelChooser());
    EXPECT_TRUE(chart.channelChooser()->isVisible());
    EXPECT_EQ(chart.channelChooser()->arrayOfSortedHeaders().size(), 8u);
    EXPECT_EQ(chart.channelChooser()->arrayOfSelectedKeys(), std::vector<std::string>{"velocity"});
    chart.channelChooser()->close();
}

}  // namespace
