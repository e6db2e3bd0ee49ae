// The tool-button bar: its buttons enabled as a set, each press running its action and writing
// its log line, the "Close all?" question, the settings pop-over and a track map stored hidden.
#include "tests/app/ShellFixture.h"

#include "app/MVMenuController.h"
#include "app/MVMenuView.h"
#include "app/MVPopOverSettingsViewController.h"
#include "app/MVSheetStandIns.h"
#include "app/MVSplitView.h"
#include "app/MVWindowPlacement.h"

#include "views/MVChartController.h"
#include "views/MVChartPlotView.h"
#include "views/MVChartView.h"
#include "views/MVTrackController.h"
#include "views/MVTrackMapView.h"
#include "views/MVVideoController.h"

#include "widgets/MVButton.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>

#include <functional>

namespace {

using testing_support::MainQueuePump;

class ToolBarTest : public testing_support::ShellFixture {
  protected:
    MVMenuView& bar() const { return *vc().menuView(); }
    MVMenuController& menu() const { return vc().menuController(); }
    bool trackShown() const {
        return vc().trackView()->parentWidget() == vc().splitViewForLeftPanel();
    }

    // Answers the "Close all?" alert with its button of the given text.
    void answerCloseAll(const QString& text) {
        QMessageBox* alert = menu().closeAllAlert();
        ASSERT_NE(alert, nullptr);
        for (QAbstractButton* button : alert->buttons()) {
            if (button->text() == text) button->click();
        }
        // The removal runs on the loading queue, the window's rebuild behind it.
        for (int round = 0; round < 3; ++round) {
            ASSERT_TRUE(MVGLDFileManager::loadingQueue().drainFor(std::chrono::seconds(20)));
            MainQueuePump::drain();
        }
    }
};

TEST_F(ToolBarTest, ButtonsHaveTheirImagesTipsAndPlaces) {
    delegate->window()->resize(1200, 700);
    delegate->applicationDidFinishLaunching();
    MainQueuePump::drain();
    const struct {
        MVButton* button;
        const char* tip;
    } cases[] = {
        {bar().buttonFile(), "Open new file"},
        {bar().buttonCloseAll(), "Close all files"},
        {bar().buttonSD(), "File transfer wizard"},
        {bar().buttonCSV(), "Export to CSV file"},
        {bar().buttonPrevious(), "Previous position"},
        {bar().buttonNext(), "Next position"},
        {bar().buttonTrack(), "Hide or show track map"},
        {bar().buttonDefault(), "Default layout"},
        {bar().buttonSettings(), "Change Configuration"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.button->toolTip().toStdString(), c.tip);
        EXPECT_FALSE(c.button->image().isNull()) << c.tip;
    }
    EXPECT_FALSE(bar().buttonPlay()->image().isNull());
    const int w = bar().width();
    EXPECT_EQ(bar().buttonFile()->x(), 10);
    EXPECT_EQ(bar().buttonCloseAll()->x(), bar().buttonFile()->geometry().right() + 1 + 10);
    EXPECT_EQ(bar().buttonSD()->x(), bar().buttonCloseAll()->geometry().right() + 1 + 30);
    EXPECT_NEAR(bar().buttonPlay()->geometry().center().x(), w / 2, 1);
    EXPECT_LT(bar().buttonPrevious()->x(), bar().buttonPlay()->x());
    EXPECT_GT(bar().buttonNext()->x(), bar().buttonPlay()->x());
    EXPECT_EQ(w - 1 - bar().buttonSettings()->geometry().right(), 10);
    EXPECT_EQ(bar().buttonSettings()->x() - bar().buttonDefault()->geometry().right() - 1, 30);
}

TEST_F(ToolBarTest, ButtonsAreEnabledAsASetWhileASessionIsOpen) {
    auto enabledSet = [&] {
        std::vector<bool> states;
        for (MVButton* b : bar().buttons()) states.push_back(b->isEnabled());
        return states;
    };
    // Logo shown: only File and SD (fields File, Close all, SD, CSV, Play, Prev, Next, Track,
    // Default, Settings).
    EXPECT_TRUE(vc().isLogoOn());
    EXPECT_EQ(enabledSet(), (std::vector<bool>{true, false, true, false, false, false, false, false,
                                               false, false}));
    openInShell(writeThreeLapSession("one.gld"));
    EXPECT_EQ(enabledSet(), std::vector<bool>(10, true));
    menu().disableButtons();
    EXPECT_TRUE(bar().buttonFile()->isEnabled());
    EXPECT_TRUE(bar().buttonSD()->isEnabled());
    EXPECT_FALSE(bar().buttonSettings()->isEnabled());
}

TEST_F(ToolBarTest, EachPressRunsItsActionAndLogsItsLine) {
    openVideoSessionInShell("one.gld");
    logOn();
    const QList<MVChartPlotView*> plots =
        vc().chartController().chartView()->findChildren<MVChartPlotView*>();
    ASSERT_FALSE(plots.isEmpty());
    // The cursor away from the start, so that both steps move it.
    vc().chartController().moveRight();
    vc().chartController().moveRight();
    double cursor = plots.front()->cursorX();
    auto cursorMoved = [&] {
        const bool moved = plots.front()->cursorX() != cursor;
        cursor = plots.front()->cursorX();
        return moved;
    };
    const int played = playOrPauseCount();
    // A zoomed map (laid out on screen), for the reset to return to the whole circuit.
    vc().resize(1280, 800);
    vc().show();
    MainQueuePump::drain();
    MVTrackMapView* map = vc().trackController().trackMapView();
    ASSERT_NE(map, nullptr);
    map->zoomIn();
    auto& wizard = static_cast<const MVFileTransferWizardStandIn&>(
        delegate->fileTransferWizardWindowController());
    auto& csv = static_cast<const MVCSVFileStandIn&>(delegate->csvFileWindowController());
    const struct {
        MVButton* button;
        const char* line;
        std::function<bool()> acted;
    } cases[] = {
        {bar().buttonFile(), "MenuController file button",
         [&] { return delegate->window()->findChild<QFileDialog*>() != nullptr; }},
        {bar().buttonSD(), "MenuController SD button",
         [&] { return wizard.notice().requests() == 1; }},
        {bar().buttonCSV(), "MenuController CSV button",
         [&] { return csv.notice().requests() == 1; }},
        {bar().buttonPrevious(), "MenuController previous button", cursorMoved},
        {bar().buttonPlay(), "MenuController play button",
         [&] { return playOrPauseCount() > played; }},
        {bar().buttonNext(), "MenuController next button", cursorMoved},
        {bar().buttonTrack(), "MenuController track button", [&] { return !trackShown(); }},
        {bar().buttonDefault(), "MenuController default layout button",
         [&] { return map->viewport().scale() == map->viewport().defaultScale(); }},
        {bar().buttonSettings(), "MenuController settings button",
         [&] { return menu().popover() && menu().popover()->isVisible(); }},
        {bar().buttonCloseAll(), "MenuController close all button",
         [&] { return menu().closeAllAlert() != nullptr; }},
    };
    for (const auto& c : cases) {
        c.button->click();
        EXPECT_TRUE(c.acted()) << c.line;
        EXPECT_NE(logSince().find(std::string(c.line) + "\n"), std::string::npos) << c.line;
        for (QDialog* dialog : delegate->window()->findChildren<QDialog*>()) {
            if (dialog->isVisible()) dialog->reject();
        }
    }
}

TEST_F(ToolBarTest, CloseAllAsksFirstAndOkClosesEverySession) {
    // Nothing open: no question over the logo.
    menu().closeAllSessions();
    EXPECT_EQ(menu().closeAllAlert(), nullptr);

    openInShell(writeThreeLapSession("one.gld"));
    openInShell(writeThreeLapSession("two.gld"));
    delegate->closeAllFilesWithSender(nullptr);
    QMessageBox* alert = menu().closeAllAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text().toStdString(), "Close all?");
    EXPECT_EQ(alert->informativeText().toStdString(), "This action will close all open sessions.");
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_EQ(alert->icon(), QMessageBox::Warning);

    answerCloseAll(QStringLiteral("Cancel"));
    EXPECT_EQ(vc().fileController().gldFileNames().size(), 2u);

    menu().closeAllSessions();
    answerCloseAll(QStringLiteral("OK"));
    EXPECT_TRUE(vc().fileController().gldFileNames().empty());
    EXPECT_TRUE(vc().isLogoOn());
    EXPECT_FALSE(bar().buttonCloseAll()->isEnabled());
}

TEST_F(ToolBarTest, EachSettingsPressShowsAFreshPopoverThatClosesOnAChoice) {
    openInShell(writeThreeLapSession("one.gld"));
    bar().buttonSettings()->click();
    QPointer<MVPopOverSettingsViewController> first = menu().popover();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->windowFlags() & Qt::Popup);
    // Below the button.
    EXPECT_GE(first->y(), bar().buttonSettings()->mapToGlobal(QPoint(0, 0)).y() +
                              bar().buttonSettings()->height() - 1);
    bar().buttonSettings()->click();
    QPointer<MVPopOverSettingsViewController> second = menu().popover();
    ASSERT_TRUE(second);
    EXPECT_NE(first.data(), second.data());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first);
    second->setConfigurationIsSelected(true);
    EXPECT_FALSE(second && second->isVisible());
}

// The pop-over, hanging from the Settings button at the window's right, leaves the video and
// chart panes' tool bars beneath it in sight, at the window's size on a first start, and the
// video pane's also at the least size.
TEST_F(ToolBarTest, TheSettingsPopoverLeavesTheVideoToolBarInSight) {
    delegate->applicationDidFinishLaunching();
    openInShell(writeThreeLapSession("one.gld"));
    for (const QSize size :
         {MVWindowPlacement::kPreferredSize, delegate->window()->minimumSize()}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        delegate->window()->resize(size);
        vc().resetLayout();
        QCoreApplication::processEvents();
        const QWidget* toolBar = vc().videoController().toolBarView();
        ASSERT_NE(toolBar, nullptr);
        ASSERT_TRUE(toolBar->isVisible());
        bar().buttonSettings()->click();
        QPointer<MVPopOverSettingsViewController> popover = menu().popover();
        ASSERT_TRUE(popover);
        const QRect toolBarFrame(toolBar->mapToGlobal(QPoint(0, 0)), toolBar->size());
        EXPECT_FALSE(popover->frameGeometry().intersects(toolBarFrame));
        const QWidget* chartBar = vc().chartController().chartView()->toolBarView();
        ASSERT_NE(chartBar, nullptr);
        const QRect chartFrame(chartBar->mapToGlobal(QPoint(0, 0)), chartBar->size());
        if (size == MVWindowPlacement::kPreferredSize) {
            EXPECT_FALSE(popover->frameGeometry().intersects(chartFrame));
        }
        EXPECT_GE(popover->height(), MVPopOverSettingsViewController::kLeastPopoverHeight);
        // Still right below the buttons: just under the tool bar it leaves in sight.
        EXPECT_LE(popover->frameGeometry().top(), toolBarFrame.bottom() + 4);
        popover->close();
    }
}

// A track map hidden in the last run is hidden again at start, and one toggle shows it.
TEST_F(ToolBarTest, ATrackMapStoredHiddenStaysHiddenAndOneToggleShowsIt) {
    delegate.reset();
    setTrackStoredHidden(true);
    delegate = std::make_unique<AppDelegate>();
    EXPECT_FALSE(trackShown());
    EXPECT_TRUE(MVOptionsAndSettings::sharedManager().isTrackSectionInVisible());
    delegate->window()->resize(1200, 800);
    delegate->applicationDidFinishLaunching();
    openInShell(writeThreeLapSession("one.gld"));
    EXPECT_FALSE(trackShown());
    delegate->menuItem(QStringLiteral("showOrHideTrackWithSender"))->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(trackShown());
    EXPECT_FALSE(platform::UserDefaults::standard().boolForKey(
        MVHelper::Default_TrackSectionInVisibleFlag()));
    // Back at a usable height, not squeezed to nothing.
    EXPECT_GT(vc().trackView()->height(), 100);
}

}  // namespace
