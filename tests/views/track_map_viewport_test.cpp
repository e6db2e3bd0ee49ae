// The track map's geometry: projection, inverse, zoom steps, pan, lock and the bounds that keep
// the scale sane.
#include "views/MVTrackMapViewport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kEps = 1e-9;

MVTrackMapViewport built(double w, double h, double xMin, double yMin, double mapW, double mapH) {
    MVTrackMapViewport v;
    v.setViewSize(w, h);
    v.setMapBox(xMin, yMin, mapW, mapH);
    v.resetScale();
    v.setCentre(v.viewCentre());
    return v;
}

// The projection written out term by term: the map centred in a square of side m centred in the
// view, plus the pan.
MVViewPoint expected(const MVTrackMapViewport& v, MVPoint p, double xMin, double yMin, double mapW,
                     double mapH) {
    const double W = v.viewWidth(), H = v.viewHeight(), m = std::min(W, H), s = v.scale();
    const MVViewPoint pan{v.centre().x - W / 2, v.centre().y - H / 2};
    return {(p.x - xMin) * s + (m - mapW * s) / 2 + (W - m) / 2 + pan.x,
            (p.y - yMin) * s + (m - mapH * s) / 2 + (H - m) / 2 + pan.y};
}

TEST(TrackMapViewport, ProjectionInWideAndTallViewsAndItsInverse) {
    struct Case {
        double w, h, xMin, yMin, mapW, mapH, scale;
    };
    const Case cases[] = {
        {400, 200, -50, 10, 100, 50, 200.0 / 100 * 0.9},  // wide view, wide map
        {200, 500, 0, 0, 80, 160, 200.0 / 160 * 0.9},     // tall view, tall map
        {300, 300, 5, -5, 60, 60, 300.0 / 60 * 0.9},      // square
    };
    for (const Case& c : cases) {
        MVTrackMapViewport v = built(c.w, c.h, c.xMin, c.yMin, c.mapW, c.mapH);
        EXPECT_NEAR(v.scale(), c.scale, kEps);
        v.applyOffset({7, -3});
        for (MVPoint p : {MVPoint{c.xMin, c.yMin}, MVPoint{c.xMin + c.mapW, c.yMin + c.mapH},
                          MVPoint{c.xMin + 13.5, c.yMin + 2.25}}) {
            const MVViewPoint got = v.project(p);
            const MVViewPoint want = expected(v, p, c.xMin, c.yMin, c.mapW, c.mapH);
            EXPECT_NEAR(got.x, want.x, kEps);
            EXPECT_NEAR(got.y, want.y, kEps);
            const MVPoint back = v.unproject(got);
            EXPECT_NEAR(back.x, p.x, 1e-9);
            EXPECT_NEAR(back.y, p.y, 1e-9);
        }
    }
    // North is up on screen: a point further north is drawn higher (smaller widget y).
    const MVTrackMapViewport v = built(400, 200, 0, 0, 100, 50);
    EXPECT_LT(v.toScreen(v.project({10, 40})).y, v.toScreen(v.project({10, 5})).y);
}

TEST(TrackMapViewport, ZoomStepsMultiplyTheScale) {
    struct Case {
        double w, h, inFactor, outFactor;
    };
    const Case cases[] = {
        {300, 120, 1.2, 120.0 / 140},
        {180, 400, 180.0 / 160, 180.0 / 200},  // 0.9 out is a zoom, not a reset
    };
    for (const Case& c : cases) {
        MVTrackMapViewport v = built(c.w, c.h, 0, 0, 100, 100);
        const double s0 = v.scale();
        EXPECT_NEAR(v.zoomIn(), c.inFactor, kEps);
        EXPECT_NEAR(v.scale(), s0 * c.inFactor, kEps);
        EXPECT_NEAR(v.zoomOut(), c.outFactor, kEps);
        EXPECT_NEAR(v.scale(), s0 * c.inFactor * c.outFactor, kEps);
        EXPECT_NEAR(v.zoomOut(), c.outFactor, kEps);
        // Unlocked steps keep the view centre's map point in place.
        EXPECT_NEAR(v.centre().x, v.viewCentre().x, kEps);
    }
}

TEST(TrackMapViewport, ZoomBoxBringsItsCentreToTheViewCentreAndResetReturns) {
    MVTrackMapViewport v = built(400, 300, 0, 0, 200, 100);
    const MVPoint target{150, 80};
    const MVViewPoint at = v.project(target);
    const double f = v.zoomToBox(at.x - 40, at.y - 30, 80, 60);
    EXPECT_NEAR(f, 300.0 / 60, kEps);
    EXPECT_NEAR(v.project(target).x, 200, kEps);
    EXPECT_NEAR(v.project(target).y, 150, kEps);
    // A box without area changes nothing.
    EXPECT_EQ(v.zoomToBox(10, 10, 0, 50), 1.0);
    v.resetTrack();
    EXPECT_NEAR(v.scale(), v.defaultScale(), kEps);
    EXPECT_EQ(v.centre(), v.viewCentre());
}

TEST(TrackMapViewport, LockedReferenceMarkerStaysCentred) {
    MVTrackMapViewport v = built(400, 300, 0, 0, 200, 100);
    MVTrackMapViewport::MarkerTargets targets{2, {20, 30}, {150, 90}};
    v.setMarkerSource([&] { return targets; });
    v.updateVehicles();
    EXPECT_NE(v.fasterMarker(), v.viewCentre());
    const MVViewPoint slowerGap{v.slowerMarker().x - v.fasterMarker().x,
                                v.slowerMarker().y - v.fasterMarker().y};
    v.setLocked(true);
    EXPECT_EQ(v.fasterMarker(), v.viewCentre());
    EXPECT_NEAR(v.slowerMarker().x - v.fasterMarker().x, slowerGap.x, kEps);

    auto centred = [&](const char* step) {
        EXPECT_NEAR(v.fasterMarker().x, 200, 1e-6) << step;
        EXPECT_NEAR(v.fasterMarker().y, 150, 1e-6) << step;
        // The marker still stands on its lap's map point.
        EXPECT_NEAR(v.project(targets.faster).x, v.fasterMarker().x, 1e-6) << step;
        EXPECT_NEAR(v.project(targets.faster).y, v.fasterMarker().y, 1e-6) << step;
    };
    v.zoomIn();
    centred("zoom in");
    v.zoomToBox(0, 0, 50, 50);
    centred("zoom box");
    targets.faster = {180, 10};
    v.updateVehicles();
    centred("cursor step");
    v.zoomOut();
    centred("zoom out");
    v.resetTrack();
    centred("reset");
    EXPECT_NEAR(v.scale(), v.defaultScale(), kEps);
    // Unlocking returns to the whole circuit in the middle.
    v.setLocked(false);
    EXPECT_EQ(v.centre(), v.viewCentre());
}

TEST(TrackMapViewport, ScaleIsClampedAndAnEmptyMapStaysFinite) {
    MVTrackMapViewport v = built(300, 200, 0, 0, 100, 100);
    const double s0 = v.defaultScale();
    for (int i = 0; i < 400; ++i) v.zoomIn();
    EXPECT_NEAR(v.scale(), s0 * MVTrackMapViewport::kMaxZoom, 1e-6 * s0);
    EXPECT_NEAR(v.zoomIn(), 1.0, kEps);  // at the bound a step changes nothing
    for (int i = 0; i < 800; ++i) v.zoomOut();
    EXPECT_NEAR(v.scale(), s0 * MVTrackMapViewport::kMinZoom, 1e-9 * s0);
    EXPECT_TRUE(std::isfinite(v.centre().x) && std::isfinite(v.centre().y));

    // Empty and one-point maps: nothing drawable, zoom refused, no NaN anywhere.
    for (double extent : {0.0, std::nan("")}) {
        MVTrackMapViewport e = built(300, 200, 5, 5, extent, extent);
        EXPECT_FALSE(e.isDrawable());
        EXPECT_EQ(e.scale(), 0.0);
        EXPECT_EQ(e.zoomIn(), 1.0);
        EXPECT_EQ(e.zoomOut(), 1.0);
        e.resetTrack();
        const MVViewPoint p = e.project({100, 100});
        const MVPoint q = e.unproject({3, 4});
        EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
        EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.y));
    }
    // An empty view: nothing drawable either.
    EXPECT_FALSE(built(0, 0, 0, 0, 100, 100).isDrawable());
}

}  // namespace
