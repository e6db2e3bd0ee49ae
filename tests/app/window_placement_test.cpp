// The main window's place on the screen: the first start's size within the available area, the
// frame and maximised state kept at quit and put back (inside a screen that got smaller) at the
// next start, and a least size at which every tool bar of the default layout shows all it holds.
#include "tests/app/ShellFixture.h"
#include "tests/support/TempDir.h"

#include "app/MVMenuView.h"
#include "app/MVStatusView.h"
#include "app/MVWindowPlacement.h"

#include "views/MVChartController.h"
#include "views/MVChartToolBarView.h"
#include "views/MVChartView.h"
#include "views/MVTrackController.h"
#include "views/MVTrackToolBarView.h"
#include "views/MVTrackView.h"
#include "views/MVVideoController.h"
#include "views/MVVideoToolBarView.h"
#include "views/MVVideoView.h"

#include "platform/UserDefaults.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <gtest/gtest.h>

#include <ostream>
#include <string>

// Readable rectangles and sizes in failure messages.
void PrintTo(const QRect& r, std::ostream* out) {
    *out << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}
void PrintTo(const QSize& s, std::ostream* out) {
    *out << s.width() << "x" << s.height();
}

namespace {

using testing_support::MainQueuePump;
namespace placement = MVWindowPlacement;

const QSize kMinimum(800, 520);

TEST(WindowPlacement, FirstStartFitsTheAvailableAreaOfItsScreen) {
    const struct {
        QRect available;
        QSize size;
    } cases[] = {
        {{0, 0, 1920, 1080}, {1280, 800}},
        {{0, 0, 1400, 900}, {1280, 800}},
        {{0, 0, 1366, 768}, {1280, 728}},
        {{0, 27, 1366, 741}, {1280, 701}},  // a panel along the top
        {{0, 0, 1024, 700}, {1008, 660}},
        {{1920, 0, 1024, 700}, {1008, 660}},  // a second screen to the right
    };
    for (const auto& c : cases) {
        const QRect frame = placement::firstPlacement(c.available, kMinimum);
        EXPECT_EQ(frame.size(), c.size) << c.available.width() << "x" << c.available.height();
        EXPECT_TRUE(c.available.contains(frame));
        // Centred in the area left by the frame allowance.
        EXPECT_EQ(frame.center(), c.available.marginsRemoved(placement::kFrameAllowance).center());
    }
    // A screen smaller than the least size: the least size, from the area's top left.
    const QRect tiny = placement::firstPlacement({0, 0, 640, 480}, kMinimum);
    EXPECT_EQ(tiny, QRect(QPoint(8, 32), kMinimum));
}

TEST(WindowPlacement, ASavedFrameIsPutBackInsideTheScreen) {
    const QRect screen(0, 0, 1366, 768);
    const struct {
        const char* what;
        QRect saved;
        QRect placed;
    } cases[] = {
        {"inside: kept", {100, 50, 1000, 600}, {100, 50, 1000, 600}},
        {"larger than the screen: cut", {0, 0, 1900, 1050}, {8, 32, 1350, 728}},
        {"off to the right and below", {900, 500, 1000, 600}, {358, 160, 1000, 600}},
        {"above and left", {-300, -200, 1000, 600}, {8, 32, 1000, 600}},
        {"on a screen now gone", {2500, 100, 1200, 700}, {158, 60, 1200, 700}},
        {"below the least size", {100, 100, 300, 200}, {100, 100, 300, 200}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(placement::fitInside(c.saved, screen, kMinimum), c.placed) << c.what;
    }
    // Never below the least size, even when cut.
    EXPECT_EQ(placement::fitInside({0, 0, 1200, 900}, {0, 0, 700, 500}, kMinimum).size(), kMinimum);
}

TEST(WindowPlacement, FrameAndMaximisedStateSurviveAQuit) {
    testing_support::TempDir dir;
    platform::UserDefaults defaults(dir / "defaults.json");
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect frame(available.left() + 20, available.top() + 30, 400, 300);
    for (const bool maximized : {false, true}) {
        QMainWindow window;
        window.setGeometry(frame);
        window.show();
        if (maximized) window.showMaximized();
        MainQueuePump::drain();
        placement::save(window, defaults);
        window.close();

        // A new run, from the file.
        platform::UserDefaults reopened(dir / "defaults.json");
        QMainWindow next;
        EXPECT_EQ(placement::restore(next, reopened), maximized);
        EXPECT_EQ(next.geometry(), frame) << maximized;
    }
    // Nothing saved: a first start.
    platform::UserDefaults empty(dir / "empty.json");
    QMainWindow first;
    first.setMinimumSize(200, 100);
    EXPECT_FALSE(placement::restore(first, empty));
    EXPECT_EQ(first.geometry(), placement::firstPlacement(available, {200, 100}));
}

class WindowPlacementShellTest : public testing_support::ShellFixture {
  protected:
    void TearDown() override {
        forget();
        ShellFixture::TearDown();
    }
    static void forget() {
        platform::UserDefaults& defaults = platform::UserDefaults::standard();
        defaults.removeObjectForKey(placement::frameKey());
        defaults.removeObjectForKey(placement::maximizedKey());
    }
    // Every control of the bar lies wholly inside it and beside, not over, the others.
    static void expectAllShown(const QWidget* bar, const char* name) {
        ASSERT_NE(bar, nullptr) << name;
        const QRect inside = bar->rect();
        std::vector<QRect> placed;
        for (const QWidget* child : bar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->isVisible()) continue;
            EXPECT_TRUE(inside.contains(child->geometry()))
                << name << ": " << child->metaObject()->className() << " at "
                << child->geometry().x() << "+" << child->geometry().width() << " in "
                << inside.width();
            for (const QRect& other : placed) EXPECT_FALSE(other.intersects(child->geometry()));
            placed.push_back(child->geometry());
        }
    }
};

TEST_F(WindowPlacementShellTest, LaunchPutsTheWindowWhereTheLastRunLeftIt) {
    forget();
    const QRect available = delegate->window()->screen()->availableGeometry();
    const QSize minimum = delegate->window()->minimumSize();
    const QRect saved(available.topLeft() + QPoint(5, 40), minimum + QSize(10, 20));
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setObject(
        placement::frameKey(),
        {{"x", saved.x()}, {"y", saved.y()}, {"width", saved.width()}, {"height", saved.height()}});
    delegate->applicationDidFinishLaunching();
    MainQueuePump::drain();
    // Where it was, or moved inside a test screen too small for it.
    EXPECT_EQ(delegate->window()->geometry(), placement::fitInside(saved, available, minimum));
    EXPECT_FALSE(delegate->window()->isMaximized());

    // Maximised at quit: kept with the normal frame under it.
    delegate->window()->showMaximized();
    MainQueuePump::drain();
    delegate->applicationWillTerminate();
    EXPECT_TRUE(defaults.boolForKey(placement::maximizedKey()));
    EXPECT_EQ(defaults.objectForKey(placement::frameKey())->at("width"),
              placement::fitInside(saved, available, minimum).width());
}

TEST_F(WindowPlacementShellTest, EveryToolBarFitsAtTheLeastSize) {
    const QSize minimum = delegate->window()->minimumSize();
    // Small laptop screens hold the least size with room for a window frame.
    EXPECT_LE(minimum.width(),
              1024 - placement::kFrameAllowance.left() - placement::kFrameAllowance.right());
    EXPECT_LE(minimum.height(),
              700 - placement::kFrameAllowance.top() - placement::kFrameAllowance.bottom());
    delegate->applicationDidFinishLaunching();
    openInShell(writeThreeLapSession("least.gld"));
    delegate->window()->resize(minimum);
    vc().resetLayout();
    MainQueuePump::drain();
    ASSERT_EQ(delegate->window()->size(), minimum);

    expectAllShown(vc().menuView(), "tool-button bar");
    expectAllShown(vc().trackController().trackView()->toolBarView(), "track tool bar");
    expectAllShown(vc().videoController().videoView()->toolBarView(), "video tool bar");
    expectAllShown(vc().chartController().chartView()->toolBarView(), "chart tool bar");
    // The status bar, which carries every error, is inside the window.
    const QWidget* status = vc().statusView();
    const QRect statusInWindow(status->mapTo(delegate->window(), QPoint(0, 0)), status->size());
    EXPECT_TRUE(delegate->window()->rect().contains(statusInWindow));
}

}  // namespace
