// The application delegate: the open panel's selection announcements, every menu action reaching
// its target, the two switches of the menu bar, the space-bar monitor and the launch update check.
#include "tests/app/ShellFixture.h"
#include "tests/support/TempDir.h"

#include "app/MVLapsController.h"
#include "app/MVMenuController.h"
#include "app/MVSheetStandIns.h"
#include "app/MVSplitView.h"

#include "transfer/MVExportVideoWindowController.h"

#include "views/MVChartController.h"
#include "views/MVChartPlotView.h"
#include "views/MVChartView.h"
#include "views/MVTrackController.h"
#include "views/MVTrackMapView.h"
#include "views/MVVideoController.h"
#include "views/MVVideoShellHooks.h"
#include "views/MVVideoToolBarView.h"

#include "widgets/MVButton.h"

#include "session/MVNotifications.h"

#include "platform/NotificationCenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QSplitter>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <any>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace {

using testing_support::MainQueuePump;

TEST(OpenPanel, SelectionChangesAreAnnouncedOnce) {
    AppDelegate delegate;
    std::vector<std::filesystem::path> announced;
    const auto token = platform::NotificationCenter::defaultCenter().addObserver(
        MVFileSelected, nullptr, [&](const platform::Notification& note) {
            announced.push_back(std::any_cast<std::filesystem::path>(note.userInfo.at("url")));
        });

    for (const char* path : {"/cards/a.gld", "/cards/b.gld", "/cards/b.gld", "", "/cards/a.gld"}) {
        delegate.panelSelectionDidChange(QString::fromUtf8(path));
    }
    EXPECT_EQ(announced,
              (std::vector<std::filesystem::path>{"/cards/a.gld", "/cards/b.gld", "/cards/a.gld"}));
}

TEST(OpenPanel, HasItsTitleFilterAndAccessoryArea) {
    AppDelegate delegate;
    QWidget* preview = nullptr;
    delegate.setOpenPanelAccessory([&](QWidget* parent) { return preview = new QWidget(parent); });
    delegate.openNewFilePanelWithSender();
    auto* panel = delegate.window()->findChild<QFileDialog*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowTitle().toStdString(), "Choose a gld file");
    EXPECT_EQ(panel->fileMode(), QFileDialog::ExistingFile);
    EXPECT_DOUBLE_EQ(delegate.window()->windowOpacity(), 0.8);
    auto* accessory = panel->findChild<QWidget*>(QStringLiteral("openPanelAccessory"));
    ASSERT_NE(accessory, nullptr);
    // Beside the file list, in the panel's splitter.
    EXPECT_NE(qobject_cast<QSplitter*>(accessory->parentWidget()), nullptr);
    EXPECT_EQ(preview->parentWidget(), accessory);
    panel->reject();
    EXPECT_DOUBLE_EQ(delegate.window()->windowOpacity(), 1.0);
}

// The preview follows the panel's selection however a file is chosen: with the arrow keys in
// the list, by letting the name completer pick it, or after a folder typed into the name field.
TEST(OpenPanel, EveryWayOfChoosingAFileShowsItsPreview) {
    testing_support::TempDir dir;
    for (const char* name : {"Larkfield morning.gld", "Larkfield noon.gld", "Oakley.gld"}) {
        dir.write(name, "x");
    }
    const QString folder = QString::fromStdString(dir.path().string());
    enum class Way { ArrowKeys, TypedName, TypedFolderThenName };
    for (const Way way : {Way::ArrowKeys, Way::TypedName, Way::TypedFolderThenName}) {
        AppDelegate delegate;
        std::vector<std::filesystem::path> announced;
        const auto token = platform::NotificationCenter::defaultCenter().addObserver(
            MVFileSelected, nullptr, [&](const platform::Notification& note) {
                announced.push_back(std::any_cast<std::filesystem::path>(note.userInfo.at("url")));
            });
        delegate.window()->show();
        delegate.openNewFilePanelWithSender();
        auto* panel = delegate.window()->findChild<QFileDialog*>();
        ASSERT_NE(panel, nullptr);
        auto* list = panel->findChild<QTreeView*>(QStringLiteral("treeView"));
        auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(list, nullptr);
        ASSERT_NE(name, nullptr);
        if (way != Way::TypedFolderThenName) panel->setDirectory(folder);
        const auto listed = [&] { return list->model()->rowCount(list->rootIndex()) == 3; };
        switch (way) {
            case Way::ArrowKeys:
                ASSERT_TRUE(QTest::qWaitFor(listed, 20000));
                list->setFocus();
                QTest::keyClick(list, Qt::Key_Down);
                QTest::keyClick(list, Qt::Key_Down);
                break;
            case Way::TypedName:
                ASSERT_TRUE(QTest::qWaitFor(listed, 20000));
                name->setFocus();
                QTest::keyClicks(name, QStringLiteral("Oak"));
                ASSERT_NE(name->completer(), nullptr);
                ASSERT_TRUE(QTest::qWaitFor([&] { return name->completer()->popup()->isVisible(); },
                                            20000));
                // The completion the popup highlights is written into the name field.
                QTest::keyClick(name->completer()->popup(), Qt::Key_Down);
                break;
            case Way::TypedFolderThenName:
                name->setFocus();
                name->setText(folder);
                QTest::keyClick(name, Qt::Key_Return);
                ASSERT_TRUE(QTest::qWaitFor(listed, 20000));
                // The first letters of a name there, then Down to the completer's first offer.
                QTest::keyClicks(name, QStringLiteral("Lark"));
                ASSERT_TRUE(QTest::qWaitFor([&] { return name->completer()->popup()->isVisible(); },
                                            20000));
                QTest::keyClick(name->completer()->popup(), Qt::Key_Down);
                break;
        }
        QCoreApplication::processEvents();
        if (announced.empty()) {
            ADD_FAILURE() << "no preview for way " << static_cast<int>(way);
            panel->reject();
            continue;
        }
        const std::filesystem::path last = announced.back();
        EXPECT_EQ(last.parent_path(), dir.path()) << static_cast<int>(way);
        EXPECT_EQ(last.extension(), ".gld") << static_cast<int>(way);
        const QStringList chosen = panel->selectedFiles();
        ASSERT_FALSE(chosen.isEmpty());
        EXPECT_EQ(QString::fromStdString(last.string()), chosen.first()) << static_cast<int>(way);
        panel->reject();
    }
}

class AppDelegateTest : public testing_support::ShellFixture {};

// Every menu item of the delegate's actions reaches its target: what the panes show changes.
TEST_F(AppDelegateTest, EveryMenuActionReachesItsTarget) {
    openVideoSessionInShell("one.gld");
    MVChartController& chart = vc().chartController();
    MVTrackController& track = vc().trackController();
    auto& wizard = static_cast<const MVFileTransferWizardStandIn&>(
        delegate->fileTransferWizardWindowController());
    auto& csv = static_cast<const MVCSVFileStandIn&>(delegate->csvFileWindowController());
    auto& update = static_cast<const MVUpdateStandIn&>(delegate->versionVC());
    auto splitAt = [&] { return vc().splitViewForVerticalDivider()->positionOfDividerAtIndex(0); };
    const int startSplit = splitAt();
    const QList<MVChartPlotView*> plots = chart.chartView()->findChildren<MVChartPlotView*>();
    ASSERT_FALSE(plots.isEmpty());
    // Each probe answers whether its value changed since it (or a copy) was last asked.
    auto changed = [](std::function<double()> value) {
        return [value, last = std::make_shared<double>(value())] {
            const double now = value();
            const bool moved = now != *last;
            *last = now;
            return moved;
        };
    };
    auto cursorMoved = changed([&] { return plots.front()->cursorX(); });
    auto zoomed = changed([&] { return plots.front()->xRange().length; });
    auto thumbnailToggled =
        changed([] { return MVOptionsAndSettings::sharedManager().isThumbnailClosed() ? 1 : 0; });
    auto lockToggled = changed([&] { return track.trackMapView()->locked() ? 1 : 0; });
    auto played = changed([&] { return playOrPauseCount(); });
    auto speed = [&] { return vc().videoController().toolBarView()->popUpButton()->currentText(); };
    // A zoomed map (laid out on screen), for the reset to return to the whole circuit.
    vc().resize(1280, 800);
    vc().show();
    MainQueuePump::drain();
    MVTrackMapView* map = track.trackMapView();
    ASSERT_NE(map, nullptr);
    map->zoomIn();
    ASSERT_NE(map->viewport().scale(), map->viewport().defaultScale());
    const struct {
        const char* action;
        std::function<bool()> reached;
    } cases[] = {
        {"openNewFilePanelWithSender",
         [&] { return delegate->window()->findChild<QFileDialog*>() != nullptr; }},
        {"openFileTransferWizardWithSender", [&] { return wizard.notice().requests() == 1; }},
        {"csvFileExportWithSender", [&] { return csv.notice().requests() == 1; }},
        {"moveRightWithSender", cursorMoved},
        {"moveRightSlightlyWithSender", cursorMoved},
        {"moveLeftSlightlyWithSender", cursorMoved},
        {"moveLeftWithSender", cursorMoved},
        {"moveDownWithSender", zoomed},
        {"moveUpWithSender", zoomed},
        {"playOrPauseWithSender", played},
        {"playFasterWithSender", [&] { return speed() == QStringLiteral("2X"); }},
        {"playSlowerWithSender", [&] { return speed() == QStringLiteral("1X"); }},
        {"lockOrUnlockMapWithSender", lockToggled},
        {"showOrHideThumbnailWithSender", thumbnailToggled},
        {"resetLayoutWithSender",
         [&] { return map->viewport().scale() == map->viewport().defaultScale(); }},
        {"showOrHideTrackWithSender",
         [&] { return vc().trackView()->parentWidget() != vc().splitViewForLeftPanel(); }},
        {"viewMoveLeftWithSender", [&] { return splitAt() != startSplit; }},
        {"showVersionUpdaterWithSender",
         [&] {
             MainQueuePump::drain();
             return update.notice().requests() == 1;
         }},
        {"closeAllFilesWithSender",
         [&] { return vc().menuController().closeAllAlert() != nullptr; }},
        {"closeCurrentFileWithSender",
         [&] {
             MVGLDFileManager::loadingQueue().drainFor(std::chrono::seconds(20));
             return vc().fileController().gldFileNames().empty();
         }},
    };
    for (const auto& c : cases) {
        QAction* item = delegate->menuItem(QString::fromLatin1(c.action));
        ASSERT_NE(item, nullptr) << c.action;
        item->trigger();
        EXPECT_TRUE(c.reached()) << c.action;
        for (QDialog* dialog : delegate->window()->findChildren<QDialog*>()) {
            if (dialog->isVisible()) dialog->reject();
        }
    }
    // The divider steps and help are bound too (their effect is checked elsewhere).
    for (const char* action :
         {"viewMoveRightWithSender", "viewMoveUpWithSender", "viewMoveDownWithSender",
          "helpWithSender", "enableLogWithSender", "autoCheckUpdatesWithSender"}) {
        EXPECT_NE(delegate->menuItem(QString::fromLatin1(action)), nullptr) << action;
    }
}

// Qt reads file names as UTF-8: a name holding other bytes reaches the delegate with replacement
// characters. The file is still the one announced to the preview and the one opened.
TEST_F(AppDelegateTest, AFileWhoseNameIsNotUtf8IsAnnouncedAndOpened) {
    const std::filesystem::path raw = dir / std::string("caf\xE9.gld");  // a Latin-1 name
    testing_support::SessionOptions options;
    options.laps = 2;
    ASSERT_TRUE(
        testing_support::writeSessionFile(raw, testing_support::generateSession(options).text));
    const QString shown = QFile::decodeName(raw.c_str());
    ASSERT_TRUE(shown.contains(QChar::ReplacementCharacter));

    std::vector<std::filesystem::path> announced;
    const auto token = platform::NotificationCenter::defaultCenter().addObserver(
        MVFileSelected, nullptr, [&](const platform::Notification& note) {
            announced.push_back(std::any_cast<std::filesystem::path>(note.userInfo.at("url")));
        });
    delegate->panelSelectionDidChange(shown);
    EXPECT_EQ(announced, std::vector<std::filesystem::path>{raw});

    const int before = vc().finishedLoads();
    delegate->openFile(shown);
    ASSERT_TRUE(MainQueuePump::until([&] { return vc().finishedLoads() > before; }));
    MainQueuePump::drain();
    EXPECT_EQ(MVGLDFileManager::sharedManager().arrayOfGLDURLs(),
              std::vector<std::filesystem::path>{raw});
}

TEST_F(AppDelegateTest, HelpOpensTheHelpPageWithTheDesktopsHandler) {
    std::vector<QUrl> opened;
    delegate->setUrlOpener([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    delegate->menuItem(QStringLiteral("helpWithSender"))->trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.front().toString().toStdString(), AppDelegate::kHelpURL);
}

TEST_F(AppDelegateTest, TheTwoSwitchesWriteTheirKeys) {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.removeObjectForKey("turnONOROFF");
    ZORFileLog::turnOffLog();
    delegate->applicationDidFinishLaunching();
    QAction* updates = delegate->autoUpdatesMenuItem();
    QAction* log = delegate->logMenuItem();
    // Absent keys: automatic updates ticked, the log unticked.
    EXPECT_TRUE(updates->isChecked());
    EXPECT_FALSE(log->isChecked());

    updates->trigger();
    MainQueuePump::drain();
    EXPECT_EQ(defaults.integerForKey("turnONOROFF"), 1);
    EXPECT_FALSE(updates->isChecked());
    updates->trigger();
    MainQueuePump::drain();
    EXPECT_EQ(defaults.integerForKey("turnONOROFF"), 0);

    log->trigger();
    EXPECT_TRUE(defaults.boolForKey("logUserDefaultString"));
    EXPECT_TRUE(log->isChecked());
    log->trigger();
    EXPECT_FALSE(defaults.boolForKey("logUserDefaultString"));
}

TEST_F(AppDelegateTest, SpaceBarPlaysUnlessTheImportWizardIsUp) {
    openVideoSessionInShell("one.gld");
    delegate->applicationDidFinishLaunching();
    const int before = playOrPauseCount();
    auto* field = new QLineEdit(delegate->window());
    field->show();
    field->setFocus();
    QApplication::setActiveWindow(delegate->window());
    auto presses = [&] { return playOrPauseCount() - before; };
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : field,
                            &space);
    EXPECT_EQ(presses(), 1);
    // The key still reached the control.
    EXPECT_EQ(field->text().toStdString(), QApplication::focusWidget() == field ? " " : "");

    QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(field, &other);
    EXPECT_EQ(presses(), 1);

    delegate->openFileTransferWizardWithSender();
    ASSERT_TRUE(delegate->fileTransferWizardWindowController().isPresented());
    QKeyEvent again(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : field,
                            &again);
    EXPECT_EQ(presses(), 1);
}

// Update services that answer from a worker thread, counting the checks.
class CountingServices final : public AppStartupServices {
  public:
    CountingServices(std::atomic<int>& checks, bool available)
        : checks_(checks), available_(available) {}
    void startTelemetry() override {}
    void sendUsageAtStartup() override {}
    bool isUpdateAvailable() override {
        ++checks_;
        return available_;
    }

  private:
    std::atomic<int>& checks_;
    bool available_;
};

TEST_F(AppDelegateTest, LaunchChecksForUpdatesInTheBackgroundOnlyWhenSwitchedOn) {
    delegate.reset();
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on);
        defaults.setInteger("turnONOROFF", on ? 0 : 1);
        std::atomic<int> checks{0};
        AppDelegate shell(std::make_unique<CountingServices>(checks, true));
        shell.applicationDidFinishLaunching();
        EXPECT_TRUE(shell.window()->isVisible());  // the window did not wait
        auto& sheet = static_cast<const MVUpdateStandIn&>(shell.versionVC());
        if (on) {
            ASSERT_TRUE(MainQueuePump::until([&] { return sheet.notice().requests() == 1; }));
            EXPECT_EQ(checks.load(), 1);
        } else {
            platform::globalQueue().async([] {});
            MainQueuePump::drain();
            EXPECT_EQ(checks.load(), 0);
            EXPECT_EQ(sheet.notice().requests(), 0);
        }
    }
    defaults.removeObjectForKey("turnONOROFF");
}

TEST_F(AppDelegateTest, TheVideoPaneReachesTheDelegateThroughItsHooks) {
    EXPECT_EQ(AppDelegate::shared(), delegate.get());
    MVVideoShellHooks& hooks = MVVideoShellHooks::shared();
    ASSERT_TRUE(hooks.isSessionLaunched && hooks.setIsSessionLaunched && hooks.showExportSheet);
    EXPECT_TRUE(hooks.isSessionLaunched());
    hooks.setIsSessionLaunched(false);
    EXPECT_FALSE(delegate->isSessionLaunched());
    delegate->setIsSessionLaunched(true);
    EXPECT_TRUE(hooks.isSessionLaunched());

    // The pane's export button opens the lap video export sheet for its lap.
    openVideoSessionInShell("one.gld");
    QAbstractButton* exportButton = vc().videoController().toolBarView()->exportButton();
    ASSERT_TRUE(exportButton->isEnabled());
    exportButton->click();
    MVExportVideoWindowController* sheet = delegate->exportVideoSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->parentWidget(), delegate->window());
    EXPECT_EQ(sheet->lap(), vc().videoController().arrayOfSelectedLaps().back());
    sheet->buttonClosePressed();

    // Without a delegate the pane is back on its own defaults: no export sheet.
    delegate.reset();
    EXPECT_FALSE(MVVideoShellHooks::shared().showExportSheet);
}

}  // namespace
