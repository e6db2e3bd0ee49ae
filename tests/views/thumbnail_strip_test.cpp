// The thumbnail strip: which frames it asks for and keeps, its scrolling, its controller's
// cursor moves, and its place in the chart pane with the channel chooser.
#include "tests/support/MainQueuePump.h"
#include "tests/views/ChartWorld.h"

#include "views/MVChartController.h"
#include "views/MVChartPlotStackView.h"
#include "views/MVChartPlotView.h"
#include "views/MVChartThumbnailView.h"
#include "views/MVChartToolBarView.h"
#include "views/MVChartView.h"
#include "views/MVPopOverInfoViewController.h"
#include "views/MVThumbnailController.h"

#include "widgets/MVButton.h"

#include "platform/Clock.h"

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

// One curve of a point a second over [0, seconds].
MVPlotCurves curvesOver(int seconds) {
    MVPlotCurves out(1);
    for (int k = 0; k <= seconds; ++k) out[0].push_back({double(k), 50.0 + k % 7});
    return out;
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
    strip.frameArrived(frame(2));  // left of the window
    strip.frameArrived(frame(4));
    strip.frameArrived(frame(7));  // right of it: at its own place in the document
    strip.frameArrived(frame(9));  // beyond the last slot
    EXPECT_EQ(placedAt(), (std::vector<int>{640, 1120}));
    strip.removeThumbnails();
    strip.frameArrived(frame(5));
    EXPECT_TRUE(placedAt().empty());
}

// The window 400..880 shows slot 5 in part (720..880): it is asked for like the whole ones, and
// the frame of a lap's last, fractional slot is cut at the document's end.
TEST_F(ThumbnailStrip, TheSlotCutAtTheWindowsEdgeIsAskedForAndDrawn) {
    strip.scrollThumbnailByPoint(400);
    strip.startGeneratingThumbanils();
    EXPECT_EQ(strip.generationRequests(), 1);
    for (int slot : {2, 3, 4}) strip.frameArrived(frame(slot));
    strip.startGeneratingThumbanils();
    EXPECT_EQ(strip.generationRequests(), 2);  // slot 5 is still missing
    strip.frameArrived(frame(5));
    strip.startGeneratingThumbanils();
    EXPECT_EQ(strip.generationRequests(), 2);
    EXPECT_EQ(placedAt(), (std::vector<int>{320, 480, 640, 800}));

    // 8.7 slots: the ninth frame starts at 1280 and the document ends at 1392.
    strip.removeThumbnails();
    strip.updateContentViewWithGraphRange({0, 10}, 29, infos(9));
    strip.scrollThumbnailByPoint(strip.getCurrentScrollViewWidth());
    strip.startGeneratingThumbanils();
    strip.frameArrived(frame(8));
    const QRect cut = strip.scrollContentView()->childrenRect() & strip.scrollContentView()->rect();
    EXPECT_EQ(cut.right() + 1, 1392);
    EXPECT_EQ(cut.left(), 1280);
    EXPECT_EQ(strip.scrollContentView()->mapTo(strip.viewport(), QPoint(1392, 0)).x(),
              strip.viewport()->width());  // the cut frame ends at the strip's right edge
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

// A wheel step of 120 over a strip 480 wide showing 10 s asks for 120 px: 2.5 s.
TEST_F(ThumbnailControllerTest, AScrollMovesTheCursorByWhatItsPixelsShowAndTheRangeFollows) {
    controller.updateShift(20, -10, 90.3);
    world.sync.setGraphCurrentRange(MVPlotRange{0, 10});
    world.sync.setSyncTime(5);
    wheel(strip.viewport(), -120);
    EXPECT_DOUBLE_EQ(world.sync.syncTime(), 7.5);
    EXPECT_EQ(world.sync.graphCurrentRange(), (MVPlotRange{0, 10}));
    wheel(strip.viewport(), -120);
    wheel(strip.viewport(), -120);  // 12.5 s: past the range, which moves just enough to hold it
    EXPECT_DOUBLE_EQ(world.sync.syncTime(), 12.5);
    EXPECT_EQ(world.sync.graphCurrentRange(), (MVPlotRange{2.5, 10}));
    EXPECT_EQ(strip.horizontalScrollBar()->value(), 120);  // the strip shows the new range
    for (int i = 0; i < 8; ++i) wheel(strip.viewport(), 120);
    EXPECT_EQ(world.sync.syncTime(), 0);  // kept within the lap
    EXPECT_EQ(world.sync.graphCurrentRange(), (MVPlotRange{0, 10}));

    world.sync.setGraphCurrentRange(MVPlotRange{80.3, 10});
    world.sync.setSyncTime(89);
    wheel(strip.viewport(), -120);
    EXPECT_DOUBLE_EQ(world.sync.syncTime(), 90.3);
    EXPECT_EQ(world.sync.graphCurrentRange(), (MVPlotRange{80.3, 10}));

    // The whole lap in view: the strip cannot scroll, the wheel still moves the cursor.
    world.sync.setGraphCurrentRange(MVPlotRange{0, 90.3});
    world.sync.setSyncTime(30);
    wheel(strip.viewport(), -120);
    EXPECT_DOUBLE_EQ(world.sync.syncTime(), 30 + 120 * 90.3 / 480);

    // Moving the cursor from elsewhere scrolls the strip without writing the cursor back.
    int writes = 0;
    auto token = world.sync.observeSyncTime([&](double, double) { ++writes; });
    world.sync.setGraphCurrentRange(MVPlotRange{10, 20});
    world.sync.setSyncTime(30);
    EXPECT_EQ(strip.horizontalScrollBar()->value(), 240);
    EXPECT_EQ(writes, 1);
}

TEST_F(ThumbnailControllerTest, NothingMovesWithoutWidthOrPositions) {
    world.options.safelyChangeMVModeWithoutKVO(1);
    controller.updateShift(20, 0, 6);
    world.sync.setGraphCurrentRange(MVPlotRange{0, 4.8});
    world.sync.setSyncIndexOfPosition(3);
    wheel(strip.viewport(), -120);  // the lap has no positions
    EXPECT_EQ(world.sync.syncIndexOfPosition(), 3);
    lap->positionIndexes()->setData({0, 1, 2, 3, 4, 5});
    wheel(strip.viewport(), -120);  // 1.2 positions on
    EXPECT_DOUBLE_EQ(world.sync.syncIndexOfPosition(), 4.2);
    wheel(strip.viewport(), -120);
    EXPECT_EQ(world.sync.syncIndexOfPosition(), 5);  // the last position
    strip.resize(0, 100);
    wheel(strip.viewport(), 120);
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
    chart.setArrayOfAllKeys({{"time", "velocity", "rpm", "heading"}});
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
    EXPECT_EQ(chart.channelChooser()->arrayOfSortedHeaders().size(), 9u);
    EXPECT_EQ(chart.channelChooser()->arrayOfSelectedKeys(), std::vector<std::string>{"velocity"});
    chart.channelChooser()->close();
}

// A chart pane of one channel over a lap of 100 s without video, the strip open.
class ChartPaneStrip : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.install();
        pane.resize(1200, 700);
        chart.setChartView(&pane);
        chart.chartView()->setAnimationDuration(0);
        pane.show();
        chart.setXMax(100);
        chart.setXShift(100);
        chart.setXMove(0);
        chart.setReferenceLap(lap);
        chart.setArrayOfSelectedLaps({lap});
        chart.setArrayOfSelectedKeys({"velocity"});
        chart.setDataForPlots(MVPlotSeries(1, curvesOver(100)));
        chart.initSubviews();
    }
    void TearDown() override { clock.uninstall(); }
    platform::FakeClock clock;
    ChartWorld world;
    QWidget pane;
    MVChartController chart{world.shared()};
    MVLapPtr lap = lapWithSectors({0, 40, 100});
};

// A reference lap without video: the open strip says so in one centred line instead of staying a
// blank band; it stays open, and closing it (Ctrl+B's command) still closes it.
TEST_F(ChartPaneStrip, ALapWithoutVideoIsSaidSoInTheOpenStrip) {
    MVChartThumbnailView* strip = chart.chartView()->thumbnailView();
    ASSERT_TRUE(strip);
    EXPECT_FALSE(strip->showsNoVideoMessage());
    world.sync.setGraphCurrentRange(MVPlotRange{0, 100});
    clock.advance(std::chrono::milliseconds(600));
    ASSERT_TRUE(MainQueuePump::until([&] { return strip->showsNoVideoMessage(); }));
    QLabel* line = strip->noVideoLabel();
    EXPECT_EQ(line->text(), "This lap has no video");
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->geometry().center(), strip->rect().center());
    EXPECT_LT(line->fontMetrics().horizontalAdvance(line->text()), strip->width() / 2);
    EXPECT_EQ(strip->height(), 100);  // still open

    chart.showOrHideThumbnailFromButtonClick(false);
    EXPECT_EQ(strip->height(), 0);
    EXPECT_TRUE(line->visibleRegion().isEmpty());  // nothing of it is left to see
    chart.showOrHideThumbnailFromButtonClick(false);
    EXPECT_EQ(strip->height(), 100);
}

// The strip in a chart pane: its slots and its place follow the range the plots show now, and a
// scroll moves the cursor by what its pixels show of that range.
TEST_F(ChartPaneStrip, TheStripFollowsThePlotsRangeThroughAZoomAndBack) {
    MVChartThumbnailView* strip = chart.chartView()->thumbnailView();
    MVThumbnailController* thumbnails = chart.thumbnailController();
    MVChartPlotView* plot = chart.chartView()->plotStackView()->arrayOfPlotViews().front();
    ASSERT_TRUE(strip && thumbnails && plot);
    ASSERT_GT(strip->height(), 0);
    const double w = strip->width();
    int lists = 0;
    auto token = thumbnails->infosGenerator().observeListOfThumbnailInfos(
        [&](const auto&, const auto&) { ++lists; });
    const auto settle = [&] {
        const int before = lists;
        clock.advance(std::chrono::milliseconds(600));
        ASSERT_TRUE(MainQueuePump::until([&] { return lists > before; }));
        MainQueuePump::drain();
    };

    drag(plot, {300, 50}, {600, 50});  // a zoom box: a quarter of the lap
    const MVPlotRange zoomed = plot->xRange();
    ASSERT_NEAR(zoomed.length, 25, 0.1);
    settle();
    EXPECT_NEAR(thumbnails->requestedSlotCount(), w * 100 / zoomed.length / 160, 1e-6);
    EXPECT_NEAR(strip->getCurrentScrollViewWidth(), w * 100 / zoomed.length, 1);
    EXPECT_NEAR(strip->horizontalScrollBar()->value(), zoomed.location * w / zoomed.length, 1);

    world.sync.setSyncTime(zoomed.location + 1);
    wheel(strip->viewport(), -120);
    EXPECT_NEAR(world.sync.syncTime(), zoomed.location + 1 + 120 * zoomed.length / w, 1e-4);
    EXPECT_EQ(plot->xRange(), zoomed);
    for (int i = 0; i < 12; ++i) wheel(strip->viewport(), -120);  // on past the range's right end
    const MVPlotRange followed = plot->xRange();
    EXPECT_NEAR(followed.location + followed.length, world.sync.syncTime(), 1e-4);
    EXPECT_NEAR(followed.length, zoomed.length, 1e-9);
    EXPECT_NEAR(strip->horizontalScrollBar()->value(), followed.location * w / followed.length, 1);

    drag(plot, {600, 50}, {100, 50});  // back to the whole lap
    EXPECT_EQ(plot->xRange(), (MVPlotRange{0, 100}));
    settle();
    EXPECT_NEAR(thumbnails->requestedSlotCount(), w / 160, 1e-6);
    EXPECT_EQ(strip->getCurrentScrollViewWidth(), w);
    EXPECT_EQ(strip->horizontalScrollBar()->value(), 0);
}

}  // namespace
