// The track map's drawing passes, rendered into an image of a small fixture map.
#include "tests/views/TrackViewsFixtures.h"

#include "views/MVTrackMapLayers.h"
#include "views/MVTrackMapViewport.h"

#include "widgets/MVHelperColors.h"

#include "session/MVGLDFileManager.h"
#include "session/MVHelperGeometry.h"
#include "session/MVTrackInfo.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>

namespace {

using track_fixtures::at;

class TrackMapLayers : public ::testing::Test {
  protected:
    TrackMapLayers() : image(200, 200, QImage::Format_ARGB32) {
        image.fill(Qt::transparent);
        viewport.setViewSize(200, 200);
        viewport.setMapBox(0, 0, 100, 100);
        viewport.resetScale();
        viewport.setCentre(viewport.viewCentre());
    }
    QPointF screen(MVPoint p) const {
        const MVViewPoint s = viewport.toScreen(viewport.project(p));
        return {s.x, s.y};
    }
    QColor pixel(MVPoint p) const { return image.pixelColor(screen(p).toPoint()); }
    bool drawnNear(QPointF centre, int radius) const {
        for (int dx = -radius; dx <= radius; ++dx) {
            for (int dy = -radius; dy <= radius; ++dy) {
                const QPoint q = centre.toPoint() + QPoint(dx, dy);
                if (image.rect().contains(q) && image.pixelColor(q).alpha() > 0) return true;
            }
        }
        return false;
    }
    static bool sameRgb(const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
               std::abs(a.blue() - b.blue()) <= 2;
    }

    QImage image;
    MVTrackMapViewport viewport;
};

// An empty sector list uses up no colour; the sector after it takes the next one.
TEST_F(TrackMapLayers, EmptySectorListKeepsTheColourAndNorthIsUp) {
    const auto best = track_fixtures::map({{at(10, 90), at(90, 90)}, {}, {at(10, 10), at(90, 10)}},
                                          0, 0, 100, 100);
    QPainter painter(&image);
    MVTrackMapLayers::drawSectors(painter, viewport, best.get(), 8);
    painter.end();
    const auto& colours = MVHelper::Gui::ColorArray();
    // North (y 90) is in the upper half of the image, in the first colour.
    EXPECT_LT(screen({50, 90}).y(), 100);
    EXPECT_TRUE(sameRgb(pixel({50, 90}), colours[0]));
    EXPECT_TRUE(sameRgb(pixel({50, 10}), colours[1]));
    EXPECT_NEAR(pixel({50, 10}).alphaF(), 0.7, 0.02);
}

TEST_F(TrackMapLayers, RoutePointsAtTheOriginLeaveNoSpike) {
    viewport.setMapBox(-100, -100, 200, 200);
    viewport.resetScale();
    auto lap = MVLap::instance();
    lap->setMap(track_fixtures::map(
        {{at(0, 0), at(-80, 60), at(0, 0), at(80, 60)}, {at(80, 60), at(80, -60)}}, -100, -100, 200,
        200));
    QPainter painter(&image);
    MVTrackMapLayers::drawRoute(painter, viewport, *lap, Qt::green);
    painter.end();
    EXPECT_FALSE(drawnNear(screen({0, 0}), 3));
    EXPECT_TRUE(drawnNear(screen({0, 60}), 1));  // the line between the two drawable points
    EXPECT_TRUE(drawnNear(screen({80, 0}), 1));

    // A route whose starting list is missing starts at its first drawable point.
    image.fill(Qt::transparent);
    lap->setIsUnfinishedLap(true);
    lap->setMap(track_fixtures::map({{at(0, 0), at(-80, -60), at(80, -60)}}, -100, -100, 200, 200));
    QPainter again(&image);
    MVTrackMapLayers::drawRoute(again, viewport, *lap, Qt::green);
    again.end();
    EXPECT_TRUE(drawnNear(screen({0, -60}), 1));
    EXPECT_FALSE(drawnNear(screen({0, 0}), 3));
}

TEST_F(TrackMapLayers, OneFlagOrTwo) {
    MVGLDFileManager manager;
    auto base = MVLocation::instance();
    base->setLatitude(45);
    base->setLongitude(7);
    manager.setBaseLocation(base);
    auto gateAt = [&](double north, double east) {
        auto loc = MVLocation::instance();
        loc->setLatitude(45 + north / 111195.0);
        loc->setLongitude(7 + east / (111195.0 * std::cos(45 * M_PI / 180)));
        auto gate = MVPreviousNextLocation::instance();
        gate->setNextLocation(loc);
        gate->setPreviousLocation(MVLocation::locationCopy(*loc));
        return std::make_pair(gate, MVHelper::convertLocationToMeter(*loc, *base));
    };
    const auto [start, startPoint] = gateAt(20, 20);
    const auto [finish, finishPoint] = gateAt(80, 80);
    auto track = MVTrackInfo::instance();
    track->setSfLocations(start);

    QPainter painter(&image);
    MVTrackMapLayers::drawFlags(painter, viewport, track.get(), manager, 30);
    painter.end();
    EXPECT_TRUE(drawnNear(screen(startPoint), 12));
    EXPECT_FALSE(drawnNear(screen(finishPoint), 12));

    track->setSfLocations2(finish);
    QPainter again(&image);
    MVTrackMapLayers::drawFlags(again, viewport, track.get(), manager, 30);
    again.end();
    EXPECT_TRUE(drawnNear(screen(finishPoint), 12));
}

TEST_F(TrackMapLayers, NothingIsDrawnForAnEmptyMapOrNoBorder) {
    QPainter painter(&image);
    MVTrackMapLayers::drawBorder(painter, viewport, {});
    MVTrackMapViewport empty;
    empty.setViewSize(200, 200);
    empty.resetScale();
    const auto best = track_fixtures::map({{at(10, 90), at(90, 90)}}, 0, 0, 0, 0);
    MVTrackMapLayers::drawSectors(painter, empty, best.get(), 8);
    MVTrackMapLayers::drawBorder(painter, empty, {at(1, 1), at(2, 2)});
    MVTrackMapLayers::drawRoutes(painter, empty, {track_fixtures::lap({{1, 1}, {5, 5}})});
    painter.end();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) ASSERT_EQ(image.pixelColor(x, y).alpha(), 0);
    }
}

}  // namespace
