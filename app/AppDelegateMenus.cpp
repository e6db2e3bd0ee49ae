// The menu bar: every action of the application delegate has its item; the key equivalents are
// listed in the README.
#include "app/AppDelegate.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>

#include <string_view>
#include <utility>
#include <vector>

namespace {

using Action = void (AppDelegate::*)(QObject*);

struct Item {
    const char* name;   // the action's name, also the item's object name
    const char* title;  // empty: a separator
    const char* keys;
    Action action;
    bool checkable = false;
};

}  // namespace

void AppDelegate::buildMenus() {
    const std::pair<const char*, std::vector<Item>> menus[] = {
        {"&File",
         {
             {"openNewFilePanelWithSender", "&Open...", "Ctrl+O",
              &AppDelegate::openNewFilePanelWithSender},
             {"openFileTransferWizardWithSender", "&File Transfer Wizard...", "Ctrl+I",
              &AppDelegate::openFileTransferWizardWithSender},
             {"csvFileExportWithSender", "&Export to CSV File...", "Ctrl+E",
              &AppDelegate::csvFileExportWithSender},
             {"", "", "", nullptr},
             {"closeCurrentFileWithSender", "&Close Session", "Ctrl+W",
              &AppDelegate::closeCurrentFileWithSender},
             {"closeAllFilesWithSender", "Close &All Sessions...", "Ctrl+Shift+W",
              &AppDelegate::closeAllFilesWithSender},
         }},
        {"&View",
         {
             {"showOrHideTrackWithSender", "Show/Hide &Track Map", "Ctrl+T",
              &AppDelegate::showOrHideTrackWithSender},
             {"lockOrUnlockMapWithSender", "&Lock/Unlock Map", "Ctrl+L",
              &AppDelegate::lockOrUnlockMapWithSender},
             {"showOrHideThumbnailWithSender", "Show/Hide Thum&bnails", "Ctrl+B",
              &AppDelegate::showOrHideThumbnailWithSender},
             {"resetLayoutWithSender", "&Reset Layout", "Ctrl+0",
              &AppDelegate::resetLayoutWithSender},
             {"", "", "", nullptr},
             {"viewMoveLeftWithSender", "Move Divider Left", "Alt+Shift+Left",
              &AppDelegate::viewMoveLeftWithSender},
             {"viewMoveRightWithSender", "Move Divider Right", "Alt+Shift+Right",
              &AppDelegate::viewMoveRightWithSender},
             {"viewMoveUpWithSender", "Move Divider Up", "Alt+Shift+Up",
              &AppDelegate::viewMoveUpWithSender},
             {"viewMoveDownWithSender", "Move Divider Down", "Alt+Shift+Down",
              &AppDelegate::viewMoveDownWithSender},
         }},
        {"&Chart",
         {
             {"moveLeftWithSender", "Previous Position", "Ctrl+Left",
              &AppDelegate::moveLeftWithSender},
             {"moveRightWithSender", "Next Position", "Ctrl+Right",
              &AppDelegate::moveRightWithSender},
             {"moveLeftSlightlyWithSender", "Previous Position, Small Step", "Ctrl+Shift+Left",
              &AppDelegate::moveLeftSlightlyWithSender},
             {"moveRightSlightlyWithSender", "Next Position, Small Step", "Ctrl+Shift+Right",
              &AppDelegate::moveRightSlightlyWithSender},
             {"moveUpWithSender", "Zoom Out", "Ctrl+Up", &AppDelegate::moveUpWithSender},
             {"moveDownWithSender", "Zoom In", "Ctrl+Down", &AppDelegate::moveDownWithSender},
         }},
        {"Vi&deo",
         {
             {"playOrPauseWithSender", "&Play/Pause", "Ctrl+P",
              &AppDelegate::playOrPauseWithSender},
             {"playFasterWithSender", "Play &Faster", "Ctrl+]", &AppDelegate::playFasterWithSender},
             {"playSlowerWithSender", "Play &Slower", "Ctrl+[", &AppDelegate::playSlowerWithSender},
         }},
        {"&Help",
         {
             {"helpWithSender", "Gridlark &Help", "F1", &AppDelegate::helpWithSender},
             {"", "", "", nullptr},
             {"showVersionUpdaterWithSender", "Check for &Updates...", "",
              &AppDelegate::showVersionUpdaterWithSender},
             {"autoCheckUpdatesWithSender", "Check for Updates &Automatically", "",
              &AppDelegate::autoCheckUpdatesWithSender, true},
             {"enableLogWithSender", "Write Diagnostic &Log", "", &AppDelegate::enableLogWithSender,
              true},
         }},
    };

    QMenuBar* bar = window_->menuBar();
    for (const auto& [title, items] : menus) {
        QMenu* menu = bar->addMenu(QString::fromUtf8(title));
        for (const Item& item : items) {
            if (!item.action) {
                menu->addSeparator();
                continue;
            }
            QAction* entry = menu->addAction(QString::fromUtf8(item.title));
            entry->setObjectName(QString::fromLatin1(item.name));
            if (*item.keys) entry->setShortcut(QKeySequence(QString::fromLatin1(item.keys)));
            entry->setCheckable(item.checkable);
            const Action action = item.action;
            connect(entry, &QAction::triggered, this,
                    [this, entry, action] { (this->*action)(entry); });
        }
        if (title == std::string_view("&File")) {
            menu->addSeparator();
            QAction* quit = menu->addAction(QStringLiteral("&Quit"));
            quit->setObjectName(QStringLiteral("quit"));
            quit->setShortcut(QKeySequence::Quit);
            connect(quit, &QAction::triggered, qApp, &QApplication::quit);
        }
    }
    logMenuItem_ = menuItem(QStringLiteral("enableLogWithSender"));
    autoUpdatesMenuItem_ = menuItem(QStringLiteral("autoCheckUpdatesWithSender"));
}

QAction* AppDelegate::menuItem(const QString& name) const {
    return window_->menuBar()->findChild<QAction*>(name);
}
