// The legend's texts: delta times with their sign, "N/A" without an alignment, and a position
// cursor turned into a time on the lap before the sample lookup.
#include "tests/support/SessionGenerator.h"
#include "tests/views/ChartWorld.h"

#include "views/MVChartLegendView.h"

#include "session/MVLaps.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

using namespace testing_support;

MVLapPtr alignedLap(double scale) {
    MVLapPtr lap = lapWithSectors({0, 100});
    alignEverySecond(lap, 5.0, scale);
    return lap;
}

TEST(Legend, DeltaTimeTexts) {
    ChartWorld world;
    const MVLapPtr slow = alignedLap(1.01), fast = alignedLap(1.0), bare = MVLap::instance();
    struct Case {
        const char* name;
        std::vector<MVLapPtr> laps;
        bool byTime;
        double cursor;
        const char* text;
    } cases[] = {
        {"behind", {slow, fast}, false, 12, "+0.12 s"},
        {"ahead", {fast, slow}, false, 12, "-0.12 s"},
        {"level", {fast, fast}, false, 12, "0.00 s"},
        {"by time", {slow, fast}, true, 12.12, "+0.12 s"},
        {"no alignment", {bare, fast}, true, 12, "N/A"},
    };
    for (const Case& c : cases) {
        MVChartLegendView legend(world.shared());
        legend.initLegendWithArrayOfSelectedLaps(c.laps, "delta t");
        if (c.byTime) {
            legend.updateLabelWithTime(c.cursor);
        } else {
            legend.updateLabelWithPosition(c.cursor);
        }
        EXPECT_EQ(legend.calculateValueWithLap(c.laps.front()).toStdString(), c.text) << c.name;
    }
}

TEST(Legend, OneLapOfDeltaTimeShowsOnlyTheBackground) {
    ChartWorld world;
    MVChartLegendView legend(world.shared());
    legend.resize(140, 50);
    legend.initLegendWithArrayOfSelectedLaps({alignedLap(1.0)}, "delta t");
    QImage image(140, 50, QImage::Format_ARGB32);
    image.fill(Qt::black);
    legend.render(&image);
    const QRgb background = image.pixel(0, 0);
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 140; ++x) ASSERT_EQ(image.pixel(x, y), background) << x << "," << y;
    }
}

TEST(Legend, PositionCursorIsTurnedIntoATimeOnTheLap) {
    ChartWorld world;
    SessionOptions options;
    options.laps = 2;
    options.withLapTiming = true;
    const auto session = generateSession(options);
    ASSERT_TRUE(writeSessionFile(world.dir / "two.gld", session.text));
    ASSERT_TRUE(world.manager.loadGLDFileWithURL(world.dir / "two.gld"));
    const MVLapPtr lap = world.manager.arrayOfMVLaps().front()->data().front();
    ASSERT_FALSE(lap->positionIndexes()->empty());

    MVChartLegendView byPosition(world.shared()), byTime(world.shared());
    byPosition.initLegendWithArrayOfSelectedLaps({lap}, "velocity");
    byTime.initLegendWithArrayOfSelectedLaps({lap}, "velocity");
    byPosition.updateLabelWithPosition(40.5);
    byTime.updateLabelWithTime(lap->calculatePositionTimestamp(40.5));
    const QString text = byPosition.calculateValueWithLap(lap);
    EXPECT_TRUE(text.endsWith(QStringLiteral(" km/h"))) << text.toStdString();
    EXPECT_EQ(text, byTime.calculateValueWithLap(lap));
    byTime.updateLabelWithTime(0);
    EXPECT_NE(text, byTime.calculateValueWithLap(lap));
}

}  // namespace
