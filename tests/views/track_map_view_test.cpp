// The track map widget: mouse and wheel rules, markers following the cursor, the reset after a
// resize on the platform clock.
#include "tests/support/MainQueuePump.h"
#include "tests/views/TrackViewsFixtures.h"

#include "views/MVTrackMapView.h"

#include "session/MVGLDFileManager.h"

#include "platform/Clock.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

using testing_support::MainQueuePump;

class TrackMapViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.install();
        slow = track_fixtures::lap({{0, 0}, {50, 0}, {100, 0}, {150, 50}, {200, 100}}, 100);
        fast = track_fixtures::lap({{200, 100}, {150, 100}, {100, 100}, {50, 50}, {0, 0}}, 300);
        auto whole = track_fixtures::map({}, 0, 0, 200, 100);
        view = std::make_unique<MVTrackMapView>(nullptr, whole, std::vector<MV2DSegmentPtr>{},
                                                std::vector<MVLapPtr>{slow, fast}, manager);
        view->resize(400, 300);
        view->show();
        view->layoutSubtreeIfNeeded();
    }
    void TearDown() override {
        view.reset();
        clock.uninstall();
    }
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent event(type, at, view->mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(view.get(), &event);
    }
    void drag(Qt::MouseButton button, QPoint from, QPoint to) {
        mouse(QEvent::MouseButtonPress, from, button);
        if (from != to) mouse(QEvent::MouseMove, to, button);
        mouse(QEvent::MouseButtonRelease, to, button);
    }
    void wheel(QPoint pixel, QPoint angle, Qt::ScrollPhase phase) {
        QWheelEvent event(QPointF(200, 150), view->mapToGlobal(QPointF(200, 150)), pixel, angle,
                          Qt::NoButton, Qt::NoModifier, phase, false);
        QCoreApplication::sendEvent(view.get(), &event);
    }
    double zoom() const { return view->viewport().scale() / view->viewport().defaultScale(); }
    MVViewPoint pan() const {
        return {view->viewport().centre().x - 200, view->viewport().centre().y - 150};
    }

    platform::FakeClock clock;
    MVGLDFileManager manager;
    MVLapPtr slow;
    MVLapPtr fast;
    std::unique_ptr<MVTrackMapView> view;
};

TEST_F(TrackMapViewTest, LeftDragZoomsOnlyRightAndDown) {
    drag(Qt::LeftButton, {100, 100}, {180, 160});  // right and down: zoom into the box
    EXPECT_NEAR(zoom(), 300.0 / 60, 1e-9);
    EXPECT_TRUE(view->zoomBox().isEmpty());
    struct Case {
        const char* name;
        QPoint from, to;
    };
    const Case resets[] = {{"right and up", {100, 160}, {180, 100}},
                           {"left and down", {180, 100}, {100, 160}},
                           {"left and up", {180, 160}, {100, 100}}};
    for (const Case& c : resets) {
        view->zoomIn();
        drag(Qt::LeftButton, c.from, c.to);
        EXPECT_NEAR(zoom(), 1.0, 1e-9) << c.name;
        EXPECT_EQ(pan().x, 0) << c.name;
    }
    view->zoomIn();
    drag(Qt::LeftButton, {120, 120}, {120, 120});  // a click
    EXPECT_NEAR(zoom(), 300.0 / 280, 1e-9);
}

TEST_F(TrackMapViewTest, WheelZoomsAlsoLockedWhilePansNeedTheLockOff) {
    view->updatePositionWithTime(1.5);
    view->setLocked(true);
    wheel({}, {0, 120}, Qt::NoScrollPhase);
    EXPECT_NEAR(zoom(), 300.0 / 280, 1e-9);
    wheel({}, {0, -120}, Qt::NoScrollPhase);
    EXPECT_NEAR(zoom(), 300.0 / 280 * 300.0 / 320, 1e-9);
    const MVViewPoint lockedPan = pan();
    drag(Qt::RightButton, {100, 100}, {130, 120});
    wheel({25, 10}, {}, Qt::ScrollUpdate);
    EXPECT_EQ(pan(), lockedPan);

    view->setLocked(false);
    EXPECT_EQ(pan(), (MVViewPoint{0, 0}));
    drag(Qt::RightButton, {100, 100}, {130, 120});  // the map follows the mouse
    EXPECT_EQ(pan(), (MVViewPoint{30, -20}));
    wheel({-10, 5}, {}, Qt::ScrollUpdate);
    EXPECT_EQ(pan(), (MVViewPoint{20, -25}));
    wheel({40, 40}, {}, Qt::ScrollMomentum);  // inertia is ignored
    EXPECT_EQ(pan(), (MVViewPoint{20, -25}));
}

TEST_F(TrackMapViewTest, MarkersFollowTheCursorAndTheLockKeepsTheFasterCentred) {
    EXPECT_FALSE(view->isFasterVehicleShown());
    view->updatePositionWithTime(2);  // both laps two seconds in
    auto projected = [&](MVPoint p) {
        const MVViewPoint s = view->viewport().toScreen(view->viewport().project(p));
        return QPointF(s.x, s.y);
    };
    EXPECT_EQ(view->fasterVehicleCentre(), projected({100, 100}));
    EXPECT_EQ(view->slowerVehicleCentre(), projected({100, 0}));
    EXPECT_TRUE(view->isSlowerVehicleShown());

    // New laps move nothing until the next cursor value.
    view->updateTrackMapWithArrayOfSelectedLaps({slow});
    EXPECT_FALSE(view->isSlowerVehicleShown());
    EXPECT_EQ(view->fasterVehicleCentre(), projected({100, 100}));
    view->updatePositionWithTime(1);
    EXPECT_EQ(view->fasterVehicleCentre(), projected({50, 0}));

    view->setLocked(true);
    for (double t : {0.5, 3.0, 3.5}) {
        view->updatePositionWithTime(t);
        EXPECT_EQ(view->fasterVehicleCentre(), QPointF(200, 150)) << t;
    }
    EXPECT_DOUBLE_EQ(view->wholeMap()->ratio(), view->viewport().scale());
}

TEST_F(TrackMapViewTest, ResizeResetsHalfASecondAfterTheLastChange) {
    view->zoomIn();
    view->resize(500, 300);
    clock.advance(std::chrono::milliseconds(300));
    MainQueuePump::drain();
    view->resize(520, 320);
    clock.advance(std::chrono::milliseconds(300));
    MainQueuePump::drain();
    EXPECT_GT(zoom(), 1.0);
    clock.advance(std::chrono::milliseconds(250));
    MainQueuePump::drain();
    EXPECT_NEAR(zoom(), 1.0, 1e-9);
    EXPECT_NEAR(view->viewport().scale(), 320.0 / 200 * 0.9, 1e-9);
}

}  // namespace
