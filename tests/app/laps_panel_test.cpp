// The laps panel built by its controller: file tabs, one page per session with its lap table over
// its best/ideal table, the page of the chosen tab, and rebuilds that leave nothing behind.
#include "tests/support/MainQueuePump.h"
#include "tests/support/TempDir.h"

#include "app/MVLapTableModel.h"
#include "app/MVLapsController.h"
#include "app/MVLapsHudTableView.h"
#include "app/MVLapsTableToolBarView.h"
#include "app/MVLapsTableView.h"
#include "app/MVLapsView.h"

#include "widgets/MVTabControl.h"

#include "session/MVGLDFileManager.h"
#include "session/MVGlobalData.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"
#include "session/MVOptionsAndSettings.h"
#include "session/ZORFileLog.h"

#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QPointer>
#include <QStackedWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testing_support::MainQueuePump;
using testing_support::TempDir;

// A session of three laps with three sectors each.
MVLapsPtr sessionLaps(const std::string& name, double pace) {
    auto laps = MVLaps::instance();
    for (std::uint64_t n = 1; n <= 3; ++n) {
        MVLapPtr lap = MVLap::instance();
        lap->setGldFile(name);
        lap->setNumber(n);
        lap->setDistance(3000);
        const double s = pace * (1.0 + 0.01 * static_cast<double>(n));
        auto sectors = MVSectors::instance();
        sectors->setData({0.0, 30 * s, 70 * s, 90 * s});
        lap->setSectors(sectors);
        lap->setDuration(90 * s);
        laps->addLap(lap);
    }
    return laps;
}

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class LapsPanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        panel.resize(600, 400);
        panel.show();
        controller.setLapsView(&panel);
        build({"a", "b", "c"});
    }
    void TearDown() override {
        MainQueuePump::drain();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void build(const std::vector<std::string>& names) {
        sessions.clear();
        for (std::size_t i = 0; i < names.size(); ++i) {
            sessions.push_back(sessionLaps(names[i], 1.0 + 0.1 * static_cast<double>(i)));
        }
        best = sessions.empty() ? nullptr : sessions.front()->lapAtIndex(0);
        controller.setGldFileNames(names);
        controller.setArrayOfMVLaps(sessions);
        controller.setBestLap(best);
        controller.setSelectedLaps(best ? std::vector<MVLapPtr>{best} : std::vector<MVLapPtr>{});
        controller.initSubviews();
    }

    QStackedWidget* pages() const { return panel.tabView(); }
    MVTabControl* tabs() const { return panel.toolBarView()->tabSegmentControl(); }
    static MVLapsTableView* lapTable(QWidget* page) {
        const auto found = page->findChildren<MVLapsTableView*>(Qt::FindDirectChildrenOnly);
        return found.size() == 1 ? found.front() : nullptr;
    }
    static MVLapsHudTableView* hudTable(QWidget* page) {
        const auto found = page->findChildren<MVLapsHudTableView*>(Qt::FindDirectChildrenOnly);
        return found.size() == 1 ? found.front() : nullptr;
    }

    TempDir dir;
    platform::UserDefaults store{dir / "defaults.json"};
    MVOptionsAndSettings options{store};
    MVGLDFileManager manager;
    MVGlobalData global{options};
    MVLapsController controller{manager, global, options};
    MVLapsView panel{manager, options};
    std::vector<MVLapsPtr> sessions;
    MVLapPtr best;
};

TEST_F(LapsPanelTest, ThreeSessionsGiveThreeTabsAndThreePagesShowingTheLast) {
    MVLapsTableToolBarView* toolBar = panel.toolBarView();
    ASSERT_NE(toolBar, nullptr);
    EXPECT_EQ(controller.toolBarView(), toolBar);
    EXPECT_EQ(toolBar->geometry(), QRect(0, 1, 600, 25));

    ASSERT_EQ(tabs()->segmentCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(tabs()->widthForSegment(i), 120) << i;
        EXPECT_EQ(tabs()->labelForSegment(i).toStdString(), std::string(1, char('a' + i)));
    }
    EXPECT_EQ(tabs()->selectedSegment(), 2);
    EXPECT_EQ(tabs()->geometry(), QRect(10, 0, 360, 25));

    ASSERT_EQ(pages()->count(), 3);
    EXPECT_EQ(pages()->currentIndex(), 2);
    EXPECT_EQ(pages()->geometry(), QRect(0, 27, 600, 400 - 27));
    for (int i = 0; i < 3; ++i) {
        pages()->setCurrentIndex(i);
        panel.layoutNow();
        QWidget* page = pages()->widget(i);
        MVLapsTableView* laps = lapTable(page);
        MVLapsHudTableView* hud = hudTable(page);
        ASSERT_TRUE(laps && hud) << i;
        EXPECT_EQ(laps->model()->laps(), sessions[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(hud->height(), 44) << i;
        EXPECT_EQ(hud->geometry().bottom(), page->rect().bottom()) << i;
        EXPECT_EQ(laps->geometry(), QRect(0, 0, 600, page->height() - 44)) << i;
    }
}

TEST_F(LapsPanelTest, PickingATabShowsItsPageAndNotesItInTheLog) {
    const std::filesystem::path log = ZORFileLog::shared().logFile();
    std::filesystem::create_directories(log.parent_path());
    std::filesystem::remove(log);
    ZORFileLog::turnOnLog();

    QTest::mouseClick(tabs(), Qt::LeftButton, {}, QPoint(60, 12));
    EXPECT_EQ(pages()->currentIndex(), 0);
    EXPECT_EQ(readAll(log), "LapController segment changed\n");

    // Another sender changes no page, and is noted all the same.
    tabs()->setSelectedSegment(1);
    controller.segmentChanged(&panel);
    EXPECT_EQ(pages()->currentIndex(), 0);
    EXPECT_EQ(readAll(log), "LapController segment changed\nLapController segment changed\n");

    ZORFileLog::turnOffLog();
    std::filesystem::remove(log);
}

TEST_F(LapsPanelTest, ARebuildLeavesNoOldTableOrTabBehind) {
    QPointer<MVLapsTableToolBarView> oldToolBar = panel.toolBarView();
    QPointer<MVTabControl> oldTabs = tabs();
    std::vector<QPointer<QWidget>> oldTables;
    for (QWidget* w : panel.findChildren<MVLapsTableView*>()) oldTables.emplace_back(w);
    for (QWidget* w : panel.findChildren<MVLapsHudTableView*>()) oldTables.emplace_back(w);
    ASSERT_EQ(oldTables.size(), 6u);

    build({"d", "e"});
    const auto tables = panel.findChildren<MVLapsTableView*>();
    EXPECT_EQ(tables.size(), 2);
    EXPECT_EQ(panel.findChildren<MVLapsHudTableView*>().size(), 2);
    EXPECT_EQ(panel.findChildren<MVLapsTableToolBarView*>().size(), 1);
    for (MVLapsTableView* table : tables) {
        for (const auto& old : oldTables) EXPECT_NE(table, old.data());
    }
    EXPECT_EQ(pages()->currentIndex(), 1);

    // The old tab control no longer drives the panel.
    oldTabs->setSelectedSegment(0);
    controller.segmentChanged(oldTabs);
    EXPECT_EQ(pages()->currentIndex(), 1);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(oldToolBar);
    for (const auto& old : oldTables) EXPECT_FALSE(old);
}

TEST_F(LapsPanelTest, ANewSelectionReachesEveryLapTable) {
    const std::vector<MVLapPtr> pair{sessions[2]->lapAtIndex(1), sessions[0]->lapAtIndex(0)};
    controller.setSelectedLaps(pair);
    controller.updateTableViewBySelectedLaps();
    for (int i = 0; i < pages()->count(); ++i) {
        EXPECT_EQ(lapTable(pages()->widget(i))->model()->selectedLaps(), pair) << i;
    }
}

// A session without its lap list gets an empty table; no session gives no tab and no page.
TEST_F(LapsPanelTest, MissingListsAndNoSessions) {
    controller.setGldFileNames({"a", "b"});
    controller.setArrayOfMVLaps({sessions[0]});
    controller.initSubviews();
    ASSERT_EQ(pages()->count(), 2);
    EXPECT_EQ(lapTable(pages()->widget(1))->model()->rowCount(), 0);

    build({});
    EXPECT_EQ(tabs()->segmentCount(), 0);
    EXPECT_EQ(pages()->count(), 0);
    controller.updateTableViewBySelectedLaps();
    controller.updateTableView();
}

}  // namespace
