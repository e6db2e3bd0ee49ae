// The sector strip and its controller: fields, gestures and what each publishes, and the
// whole-session strip's lap switch.
#include "tests/support/SessionGenerator.h"
#include "tests/views/ChartWorld.h"

#include "views/MVChartSectorView.h"
#include "views/MVSectorController.h"

#include "widgets/MVTextField.h"
#include "widgets/MVTextFieldForSectors.h"

#include "session/MVLaps.h"
#include "session/MVNotifications.h"

#include <QFontMetrics>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

using namespace testing_support;

QStringList labels(const MVChartSectorView& strip) {
    QStringList texts;
    for (auto* field : strip.sectorFields()) texts << field->text();
    return texts;
}

class SectorStripTest : public ::testing::Test {
  protected:
    void SetUp() override {
        lap = lapWithSectors({100, 130, 160, 200});
        alignEverySecond(lap);
        strip.resize(800, 21);
        strip.initSectorViewWithLap(lap);
        controller.setSectorView(&strip);
        controller.updateShift(150, -75, 100);
        strip.updateSubviewsWithGraphCurrentRange({0, 100}, 100);  // the whole lap, 8 px a second
        world.sync.setSyncShift(300);
    }
    ChartWorld world;
    MVLapPtr lap;
    MVChartSectorView strip;
    MVSectorController controller{world.shared()};
};

TEST_F(SectorStripTest, FieldsFollowTheSectors) {
    EXPECT_EQ(labels(strip), (QStringList{"S1", "S2", "S3"}));
    EXPECT_EQ(strip.sectorFields()[1]->geometry(), QRect(240, 0, 240, 21));
    MVChartSectorView whole;
    whole.resize(800, 21);
    whole.initSectorViewWithLap(lapWithSectors({0, 50, 140, 230, 260}, true));
    whole.updateSubviewsWithGraphCurrentRange({0, 260}, 260);
    EXPECT_EQ(labels(whole), (QStringList{"Out", "L1", "L2", "In"}));
}

struct GestureCase {
    const char* name;
    int mode;
    std::function<void(MVChartSectorView&)> act;
    std::optional<MVPlotRange> range;  // the range written, if any
    double shift;                      // syncShift afterwards
};

class SectorGestureTest : public SectorStripTest,
                          public ::testing::WithParamInterface<GestureCase> {};

TEST_P(SectorGestureTest, Publishes) {
    const GestureCase& c = GetParam();
    world.options.safelyChangeMVModeWithoutKVO(c.mode);
    std::optional<MVPlotRange> written;
    auto token = world.sync.observeGraphCurrentRange([&](auto&, auto& r) { written = r; });
    c.act(strip);
    EXPECT_EQ(written, c.range);
    EXPECT_DOUBLE_EQ(world.sync.syncShift(), c.shift);
    EXPECT_FALSE(strip.isClickedInZone());
    EXPECT_EQ(strip.boxZoomView()->geometry().width(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Gestures, SectorGestureTest,
    ::testing::Values(
        GestureCase{"SectorInTime", 0,
                    [](auto& s) {
                        click(&s, {300, 10});
                    },
                    MVPlotRange{30, 30}, 300},
        GestureCase{"SectorInPosition", 1,
                    [](auto& s) {
                        click(&s, {300, 10});
                    },
                    MVPlotRange{30, 30}, 300},
        GestureCase{"ShortDragPublishesNothing", 0,
                    [](auto& s) {
                        drag(&s, {300, 10}, {350, 10});
                    },
                    std::nullopt, 300},
        GestureCase{"ZoomIn", 0,
                    [](auto& s) {
                        drag(&s, {250, 10}, {600, 10});
                    },
                    MVPlotRange{30, 45}, 300},
        GestureCase{"ZoomInUnderFiveSecondsClosesTheGesture", 0,
                    [](auto& s) {
                        s.updateSubviewsWithGraphCurrentRange({0, 10}, 100);  // 80 px a second
                        drag(&s, {100, 10}, {300, 10});
                    },
                    std::nullopt, 300},
        GestureCase{"DefaultZoom", 0,
                    [](auto& s) {
                        drag(&s, {700, 10}, {550, 10});
                    },
                    std::nullopt, 150},
        GestureCase{"BestFit", 0,
                    [](auto& s) {
                        drag(&s, {700, 10}, {300, 10});
                    },
                    MVPlotRange{0, 100}, 300},
        GestureCase{"PressOutsideTheContainer", 0,
                    [](auto& s) {
                        s.updateSubviewsFrameWithxShif(100, 0, 0.5, true);  // 400 px wide
                        drag(&s, {600, 10}, {300, 10});
                        click(&s, {600, 10});
                    },
                    std::nullopt, 300}),
    [](const auto& info) { return std::string(info.param.name); });

// While a drag is held, its label stands where no sector name is (S2's name is in the middle of
// 240..480, under where the label used to stand), inside the box, on its own opaque ground.
TEST_F(SectorStripTest, TheZoomLabelStandsClearOfTheSectorNames) {
    strip.show();
    for (const auto& [from, to] : {std::pair{240.0, 600.0}, {250.0, 470.0}, {480.0, 790.0}}) {
        sendMouse(&strip, QEvent::MouseButtonPress, {from, 10});
        sendMouse(&strip, QEvent::MouseMove, {to, 10});
        ASSERT_EQ(strip.zoomText()->text(), "Zoom In");
        const QRect label(strip.zoomText()->mapTo(&strip, QPoint(0, 0)), strip.zoomText()->size());
        SCOPED_TRACE(testing::Message() << from << " to " << to);
        EXPECT_TRUE(strip.boxZoomView()->geometry().contains(label));
        const QFontMetrics metrics(strip.zoomText()->font());
        EXPECT_GE(label.width(), metrics.horizontalAdvance("Zoom In"));
        ASSERT_EQ(strip.sectorNameRects().size(), 3u);
        for (const QRectF& name : strip.sectorNameRects()) {
            EXPECT_FALSE(QRectF(label).intersects(name)) << name.x();
        }
        sendMouse(&strip, QEvent::MouseButtonRelease, {from, 10});
    }
}

TEST_F(SectorStripTest, SectorInPositionModePutsTheCursorInTheMiddle) {
    world.options.safelyChangeMVModeWithoutKVO(1);
    click(&strip, {300, 10});
    EXPECT_DOUBLE_EQ(world.sync.syncIndexOfPosition(), 45);
}

// The whole-session strip in time mode: a lap opens that lap; "Out" zooms to itself.
TEST(SectorWholeSession, ALapClickSwitchesToThatLap) {
    ChartWorld world;
    SessionOptions options;
    options.laps = 3;
    options.withLapTiming = true;
    ASSERT_TRUE(writeSessionFile(world.dir / "s.gld", generateSession(options).text));
    ASSERT_TRUE(world.manager.loadGLDFileWithURL(world.dir / "s.gld"));
    const MVLapPtr whole = world.manager.arrayOfWholeFileMVLaps().front()->data().front();
    const std::vector<double> b = whole->sectors()->values();
    ASSERT_GE(b.size(), 4u);
    world.options.safelyChangeMVModeWithoutKVO(0);
    world.options.safelyChangeMVDisplayModeWithoutKVO(1);
    int posted = 0;
    auto token = world.center.addObserver(MVNotificationSelectedLapsChangedFromWholeFileSession,
                                          nullptr, [&](const auto&) { ++posted; });
    MVChartSectorView strip;
    strip.resize(800, 21);
    strip.initSectorViewWithLap(whole);
    MVSectorController controller(world.shared());
    controller.setSectorView(&strip);
    strip.updateSubviewsWithGraphCurrentRange({0, b.back()}, b.back());
    const auto at = [&](double t) {
        return QPointF((t - b.front()) / (b.back() - b.front()) * 800, 10);
    };

    click(&strip, at((b[0] + b[1]) / 2));  // "Out"
    EXPECT_EQ(posted, 0);
    EXPECT_EQ(world.sync.graphCurrentRange(), (MVPlotRange{0, b[1] - b[0]}));

    click(&strip, at((b[1] + b[2]) / 2));  // lap 1
    EXPECT_EQ(posted, 1);
    ASSERT_EQ(world.global.selectedLaps().size(), 1u);
    EXPECT_EQ(world.global.selectedLaps().front(),
              world.manager.arrayOfMVLaps().front()->data().front());
    EXPECT_EQ(world.options.mode(), 1);
    EXPECT_EQ(world.options.displayMode(), 0);
}

}  // namespace
