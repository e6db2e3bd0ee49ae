// A maximised main window keeps its divider layout across restarts: the window comes back at its
// normal frame and grows to the screen after it is first shown, and the split views scale their
// panes as it grows; the dividers still come back where the user left them, on screen and in the
// settings. Each screen size runs in a program of its own, on an offscreen screen of that size.
#include "tests/app/ShellFixture.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/TempDir.h"

#include "app/MVMiddleView.h"
#include "app/MVSplitView.h"

#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using testing_support::MainQueuePump;

// Set in the program that runs the restarts; the case does nothing elsewhere.
constexpr const char* kRunVariable = "GRIDLARK_TEST_MAXIMISED_RESTARTS";

struct Layout {
    int vertical = 0;
    int track = 0;
    int chartVideo = 0;
};

class MaximisedRestarts : public testing_support::ShellFixture {
  protected:
    // The window as the user sees it once it has grown to the screen.
    void launchMaximised() {
        delegate->applicationDidFinishLaunching();
        QMainWindow* window = delegate->window();
        if (!window->isMaximized()) window->showMaximized();
        const QSize screen = window->screen()->availableGeometry().size();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return window->isMaximized() && window->width() >= screen.width() * 9 / 10 &&
                       window->height() >= screen.height() * 8 / 10;
            },
            20000))
            << window->width() << "x" << window->height() << " on " << screen.width() << "x"
            << screen.height();
        // Whatever resizes are still on their way.
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
            MainQueuePump::drain();
        }
    }
    void quitAndStartAgain() {
        delegate->applicationWillTerminate();
        delegate.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        resetShared();
        delegate = std::make_unique<AppDelegate>();
    }
    Layout onScreen() const {
        return {vc().splitViewForVerticalDivider()->positionOfDividerAtIndex(0),
                vc().splitViewForLeftPanel()->positionOfDividerAtIndex(0),
                vc().splitViewForChartAndVideo()->positionOfDividerAtIndex(0)};
    }
    static Layout stored() {
        const platform::UserDefaults& d = platform::UserDefaults::standard();
        return {
            static_cast<int>(d.integerForKey(MVHelper::Default_MacOSDividerVerticalMapPosition())),
            static_cast<int>(d.integerForKey(MVHelper::Default_MacOSDividerTrackMapPosition())),
            static_cast<int>(
                d.integerForKey(MVHelper::Default_MacOSDividerChartVideoMapPosition()))};
    }
    // Within 2 % of the first, along the middle view's width or height.
    void expectNear(const Layout& seen, const Layout& first, const char* what, int run) const {
        const int w = vc().middleView()->width();
        const int h = vc().middleView()->height();
        EXPECT_NEAR(seen.vertical, first.vertical, 0.02 * w) << what << ", restart " << run;
        EXPECT_NEAR(seen.track, first.track, 0.02 * h) << what << ", restart " << run;
        EXPECT_NEAR(seen.chartVideo, first.chartVideo, 0.02 * h) << what << ", restart " << run;
    }
};

TEST_F(MaximisedRestarts, DividersComeBackWhereTheUserLeftThem) {
    if (std::getenv(kRunVariable) == nullptr) GTEST_SKIP() << "runs in a program of its own";
    launchMaximised();
    openInShell(writeThreeLapSession("restart.gld"));
    // The user's own layout: the default, then the lap table a little lower.
    vc().resetLayout();
    MVSplitView* left = vc().splitViewForLeftPanel();
    left->setPositionOfDividerAtIndex(left->height() * 55 / 100, 0);
    const Layout first = onScreen();
    expectNear(stored(), first, "stored before the first quit", 0);

    for (int run = 1; run <= 3; ++run) {
        quitAndStartAgain();
        launchMaximised();
        expectNear(onScreen(), first, "on screen", run);
        expectNear(stored(), first, "stored", run);
    }
    // The chart keeps room for its plots and its x axis.
    EXPECT_GE(vc().middleView()->height() - onScreen().chartVideo, first.chartVideo * 9 / 10);
}

// Settings of an earlier version hold the positions in pixels of the maximised window, without
// the size they were taken at: restarts show them as they are and leave them as they were.
TEST_F(MaximisedRestarts, EarlierSettingsComeBackAsTheyWere) {
    if (std::getenv(kRunVariable) == nullptr) GTEST_SKIP() << "runs in a program of its own";
    launchMaximised();
    const Layout earlier{vc().middleView()->width() * 2 / 5, vc().middleView()->height() * 3 / 5,
                         vc().middleView()->height() * 9 / 20};
    platform::UserDefaults& d = platform::UserDefaults::standard();
    d.setInteger(MVHelper::Default_MacOSDividerVerticalMapPosition(), earlier.vertical);
    d.setInteger(MVHelper::Default_MacOSDividerTrackMapPosition(), earlier.track);
    d.setInteger(MVHelper::Default_MacOSDividerChartVideoMapPosition(), earlier.chartVideo);
    d.removeObjectForKey(MVZQViewController::dividerLayoutWidthKey());
    d.removeObjectForKey(MVZQViewController::dividerLayoutHeightKey());
    for (int run = 1; run <= 3; ++run) {
        quitAndStartAgain();
        launchMaximised();
        expectNear(onScreen(), earlier, "on screen", run);
        expectNear(stored(), earlier, "stored", run);
    }
}

// Runs the restarts in a program of its own on an offscreen screen of the given size.
class MaximisedRestartsOnScreen : public ::testing::TestWithParam<QSize> {};

TEST_P(MaximisedRestartsOnScreen, KeepTheLayout) {
    testing_support::TempDir dir;
    const QSize size = GetParam();
    std::ostringstream screens;
    screens << R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": )" << size.width()
            << R"(, "height": )" << size.height()
            << R"(, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    const std::filesystem::path config = dir.write("screens.json", screens.str());
    std::vector<std::string> environment = testing_support::programEnvironment(
        dir / "home", {"QT_QPA_PLATFORM=offscreen:configfile=" + config.string(),
                       std::string(kRunVariable) + "=1"});
    testing_support::ProgramProcess program(std::filesystem::read_symlink("/proc/self/exe"),
                                            {"--gtest_filter=MaximisedRestarts.*"}, environment);
    ASSERT_TRUE(program.started());
    const auto status = program.waitForExit(std::chrono::seconds(120));
    ASSERT_TRUE(status.has_value()) << program.output();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << program.output();
    EXPECT_NE(program.output().find("[  PASSED  ] 2 tests"), std::string::npos) << program.output();
}

INSTANTIATE_TEST_SUITE_P(Screens, MaximisedRestartsOnScreen,
                         testing::Values(QSize(1366, 768), QSize(1920, 1080)),
                         [](const auto& info) {
                             return std::to_string(info.param.width()) + "x" +
                                    std::to_string(info.param.height());
                         });

}  // namespace
