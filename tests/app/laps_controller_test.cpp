// The laps pane controller: lap check-box clicks becoming the shared selection, and sessions
// closed from their tabs.
#include "tests/support/MainQueuePump.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "app/MVLapsController.h"
#include "app/MVLapsTableToolBarView.h"
#include "app/MVLapsView.h"

#include "widgets/MVButton.h"
#include "widgets/MVProgressHUD.h"
#include "widgets/MVTabControl.h"

#include "session/MVGLDFileManager.h"
#include "session/MVGlobalData.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"
#include "session/MVNotifications.h"
#include "session/MVOptionsAndSettings.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using testing_support::MainQueuePump;
using testing_support::TempDir;

MVLapPtr lap(const std::string& session, std::uint64_t number, double duration,
             bool wholeFile = false) {
    MVLapPtr l = MVLap::instance();
    l->setGldFile(session);
    l->setNumber(number);
    l->setDuration(duration);
    l->setIsWholeFileLap(wholeFile);
    return l;
}

// Laps of two sessions: A, B, C, D and E of "one"; X of "two" is lap 1 again, timed like A.
struct Laps {
    MVLapPtr A = lap("one", 1, 92.1);
    MVLapPtr B = lap("one", 2, 90.4);
    MVLapPtr C = lap("one", 3, 95.0);
    MVLapPtr D = lap("one", 4, 92.1);
    MVLapPtr E = lap("one", 5, 89.0);
    MVLapPtr W = lap("one", 0, 400.0, true);
    MVLapPtr X = lap("two", 1, 92.1);
    MVLapPtr Y = lap("two", 2, 91.0);
};

std::string names(const std::vector<MVLapPtr>& laps) {
    std::string out;
    for (const MVLapPtr& l : laps) {
        out += l ? l->gldFile() + "/" + std::to_string(l->number()) : "null";
        out += " ";
    }
    return out;
}

TEST(LapsSelectionRules, AClickGivesTheNextSelection) {
    const Laps l;
    const struct {
        const char* what;
        std::vector<MVLapPtr> current;
        MVLapPtr clicked;
        std::vector<MVLapPtr> expected;
    } cases[] = {
        {"a faster second lap goes last", {l.A}, l.B, {l.A, l.B}},
        {"a longer second lap goes first", {l.B}, l.A, {l.A, l.B}},
        {"equal lap times keep the selected lap first", {l.A}, l.D, {l.A, l.D}},
        {"a third lap drops the longer one", {l.A, l.B}, l.C, {l.C, l.B}},
        {"a third, fastest lap pairs with the kept one", {l.A, l.B}, l.E, {l.B, l.E}},
        {"the longer of two clicked keeps the faster", {l.C, l.B}, l.C, {l.B}},
        {"the faster of two clicked keeps the longer", {l.A, l.B}, l.B, {l.A}},
        {"the only lap stays selected", {l.A}, l.A, {l.A}},
        {"nothing selected stays so", {}, l.A, {}},
        {"a whole-session lap replaces a pair", {l.A, l.B}, l.W, {l.W}},
        {"a lap is paired with a selected whole-session lap", {l.W}, l.A, {l.W, l.A}},
        {"a whole-session lap is selected when nothing is", {}, l.W, {l.W}},
        {"laps of two sessions pair up", {l.A}, l.Y, {l.A, l.Y}},
        // Same number and time, another session: another lap, never taken for A.
        {"a lap with the same number is another lap", {l.A}, l.X, {l.A, l.X}},
        {"a pair across sessions clears by the lap itself", {l.A, l.X}, l.X, {l.A}},
        {"no lap clicked", {l.A, l.B}, nullptr, {l.A, l.B}},
        {"a null entry is never kept", {nullptr, l.A}, l.B, {l.A, l.B}},
    };
    for (const auto& c : cases) {
        const auto got = MVLapsController::selectionAfterClick(c.current, c.clicked);
        EXPECT_EQ(got, c.expected) << c.what << ": got " << names(got);
    }
}

class LapsControllerTest : public ::testing::Test {
  protected:
    void TearDown() override {
        MainQueuePump::drain();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void click(const MVLapPtr& l) {
        platform::NotificationCenter::defaultCenter().post(MVLapDidSelected, nullptr,
                                                           {{"selectedLap", l}});
    }

    TempDir dir;
    platform::UserDefaults store{dir / "defaults.json"};
    MVOptionsAndSettings options{store};
    MVGLDFileManager manager;
    MVGlobalData global{options};
    Laps l;
};

TEST_F(LapsControllerTest, ALapClickWritesTheSelectionOncePerChange) {
    MVLapsController controller(manager, global, options);
    int writes = 0;
    const auto token = global.observeSelectedLaps([&](const auto&, const auto&) { ++writes; });
    global.safelyChangeSelectedLapsWithoutKVO({l.A});

    click(l.B);
    EXPECT_EQ(global.selectedLaps(), (std::vector<MVLapPtr>{l.A, l.B}));
    click(l.C);
    EXPECT_EQ(global.selectedLaps(), (std::vector<MVLapPtr>{l.C, l.B}));
    click(l.C);
    EXPECT_EQ(global.selectedLaps(), (std::vector<MVLapPtr>{l.B}));
    EXPECT_EQ(writes, 3);

    // No change, no write: the only lap, a notice without a lap or with something else.
    click(l.B);
    platform::NotificationCenter::defaultCenter().post(MVLapDidSelected);
    platform::NotificationCenter::defaultCenter().post(MVLapDidSelected, nullptr,
                                                       {{"selectedLap", MVLapPtr()}});
    platform::NotificationCenter::defaultCenter().post(MVLapDidSelected, nullptr,
                                                       {{"selectedLap", 3}});
    EXPECT_EQ(global.selectedLaps(), (std::vector<MVLapPtr>{l.B}));
    EXPECT_EQ(writes, 3);
}

TEST_F(LapsControllerTest, ClicksWhileTheLapsPanelIsBusyAreDropped) {
    platform::FakeClock clock;  // the overlay's spinner runs on it
    clock.install();
    MVLapsController controller(manager, global, options);
    MVLapsView panel(manager, options);
    panel.resize(400, 300);
    controller.setLapsView(&panel);
    global.safelyChangeSelectedLapsWithoutKVO({l.A});

    MVProgressHUD::showHUDAddedTo(&panel, false);
    click(l.B);
    EXPECT_EQ(global.selectedLaps(), (std::vector<MVLapPtr>{l.A}));

    ASSERT_TRUE(MVProgressHUD::hideHUDForView(&panel, false));
    ASSERT_EQ(MVProgressHUD::HUDForView(&panel), nullptr);
    click(l.B);
    EXPECT_EQ(global.selectedLaps(), (std::vector<MVLapPtr>{l.A, l.B}));
}

TEST_F(LapsControllerTest, ADestroyedControllerNoLongerListens) {
    global.safelyChangeSelectedLapsWithoutKVO({l.A});
    { MVLapsController controller(manager, global, options); }
    click(l.B);
    EXPECT_EQ(global.selectedLaps(), (std::vector<MVLapPtr>{l.A}));
}

// Three generated sessions in a manager of the test's own.
class LapsCloseSessionTest : public LapsControllerTest {
  protected:
    void load(const std::vector<std::string>& sessionNames) {
        testing_support::SessionOptions generated;
        generated.laps = 2;
        generated.withLapTiming = true;
        for (const std::string& name : sessionNames) {
            const auto path = dir / (name + ".gld");
            ASSERT_TRUE(testing_support::writeSessionFile(
                path, testing_support::generateSession(generated).text));
            ASSERT_TRUE(manager.loadGLDFileWithURL(path)) << name;
        }
        ASSERT_EQ(manager.gldFileNames(), sessionNames);
    }

    // Removals run on the loading queue; the window's rebuild follows on the main thread.
    static void settle() {
        ASSERT_TRUE(MVGLDFileManager::loadingQueue().drainFor(std::chrono::seconds(20)));
        testing_support::MainQueuePump::drain();
    }

    void closeButton(long long index) {
        platform::NotificationCenter::defaultCenter().post(MVSessionCloseButtonClicked, nullptr,
                                                           {{"index", index}});
    }

    // Counts the manager's removal notices.
    int removals = 0;
    platform::ObserverToken removalToken =
        platform::NotificationCenter::defaultCenter().addObserver(
            MVNotificationGLDFileDidRemoved, nullptr, [this](const auto&) { ++removals; });
};

TEST_F(LapsCloseSessionTest, TheCloseButtonOfATabRemovesThatSession) {
    load({"a", "b", "c"});
    MVLapsController controller(manager, global, options);
    MVLapsView panel(manager, options);
    panel.resize(600, 400);
    controller.setLapsView(&panel);
    // The window rebuilds the panel on the main thread as soon as the manager notes a removal.
    auto rebuild = [&] {
        controller.setGldFileNames(manager.gldFileNames());
        controller.setArrayOfMVLaps(manager.arrayOfMVLaps());
        controller.initSubviews();
    };
    const auto rebuildOnRemoval = platform::NotificationCenter::defaultCenter().addObserver(
        MVNotificationGLDFileDidRemoved, nullptr,
        [&](const auto&) { platform::mainQueue().async(rebuild); });
    rebuild();

    QTest::mouseClick(controller.toolBarView()->tabSegmentControl()->closeButton(1),
                      Qt::LeftButton);
    settle();
    EXPECT_EQ(manager.gldFileNames(), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(removals, 1);
    ASSERT_EQ(controller.toolBarView()->tabSegmentControl()->segmentCount(), 2);

    // Positions outside the sessions remove nothing.
    closeButton(2);
    closeButton(-1);
    settle();
    EXPECT_EQ(manager.gldFileNames(), (std::vector<std::string>{"a", "c"}));

    // The current tab is the last one, "c".
    controller.closeCurrentSession();
    settle();
    EXPECT_EQ(manager.gldFileNames(), (std::vector<std::string>{"a"}));
    EXPECT_EQ(removals, 2);
}

TEST_F(LapsCloseSessionTest, ClosingWithNothingLoadedDoesNothing) {
    MVLapsController controller(manager, global, options);
    controller.closeCurrentSession();  // no panel, no tool bar
    closeButton(0);

    // A tool bar left from sessions the manager no longer has.
    MVLapsView panel(manager, options);
    controller.setLapsView(&panel);
    controller.setGldFileNames({"gone"});
    controller.initSubviews();
    ASSERT_EQ(controller.toolBarView()->tabSegmentControl()->selectedSegment(), 0);
    controller.closeCurrentSession();
    closeButton(0);

    // A tool bar without tabs.
    controller.setGldFileNames({});
    controller.initSubviews();
    controller.closeCurrentSession();
    settle();

    EXPECT_TRUE(manager.gldFileNames().empty());
    EXPECT_EQ(removals, 0);
}

}  // namespace
