#include "app/AppDelegate.h"

#include "app/MVLapsController.h"
#include "app/MVMenuController.h"
#include "app/MVOpenPanel.h"
#include "app/MVSheetStandIns.h"
#include "app/MVWindowPlacement.h"
#include "app/MVZQViewController.h"

#include "views/MVChartController.h"
#include "views/MVTrackController.h"
#include "views/MVVideoController.h"

#include "session/MVNotifications.h"
#include "session/ZORFileLog.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMainWindow>
#include <QUrl>

#include <filesystem>
#include <system_error>

namespace {

AppDelegate* gShared = nullptr;

// The automatic-update switch: 0 checks at launch, 1 does not; absent means 0.
const char* const kTurnOnOrOff = "turnONOROFF";

// The file a path from Qt names. Qt reads file names as UTF-8, so a name holding other bytes
// comes back with replacement characters and names no file; it is found again among the names
// in its folder.
std::filesystem::path filePath(const QString& path) {
    std::filesystem::path encoded(QFile::encodeName(path).toStdString());
    std::error_code error;
    if (!path.contains(QChar::ReplacementCharacter) || std::filesystem::exists(encoded, error)) {
        return encoded;
    }
    const QString name = QFileInfo(path).fileName();
    for (auto it = std::filesystem::directory_iterator(encoded.parent_path(), error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (QFile::decodeName(it->path().filename().c_str()) == name) return it->path();
    }
    return encoded;
}

}  // namespace

const char* const AppDelegate::kHelpURL = "https://gridlark.org/support/gridlark-desktop/";

AppDelegate::AppDelegate(std::unique_ptr<AppStartupServices> services, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      wizard_(std::make_unique<MVFileTransferWizardStandIn>()),
      csvSheet_(std::make_unique<MVCSVFileStandIn>()),
      updateSheet_(std::make_unique<MVUpdateStandIn>()) {
    gShared = this;
    // Before the panes are made: the video pane reads its hooks when it builds its tool bar.
    installPaneHooks();
    window_ = new QMainWindow;
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    window_->setWindowTitle(QStringLiteral("Gridlark"));
    // The view controller connects itself (connectViewController) before it sets up its panes.
    new MVZQViewController(MVGLDFileManager::sharedManager(), nullptr, this);
    buildMenus();
    window_->setMinimumSize(MVWindowPlacement::minimumSize(*window_));
    window_->resize(MVWindowPlacement::kPreferredSize);
    // The window's place is kept for the next start however the program quits.
    if (qApp) {
        connect(qApp, &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
    }
}

AppDelegate::~AppDelegate() {
    if (monitorInstalled_ && qApp) qApp->removeEventFilter(this);
    // The view controller goes with the window once it is the window's content view.
    if (viewController_->parent() == nullptr) delete viewController_;
    delete window_;
    if (gShared == this) {
        gShared = nullptr;
        MVVideoShellHooks::shared() = previousVideoHooks_;
    }
}

AppDelegate* AppDelegate::shared() {
    return gShared;
}

void AppDelegate::connectViewController(MVZQViewController* viewController) {
    viewController_ = viewController;
}

void AppDelegate::setFileTransferWizard(std::unique_ptr<MVFileTransferWizardSheet> sheet) {
    if (sheet) wizard_ = std::move(sheet);
}
void AppDelegate::setCSVFileSheet(std::unique_ptr<MVCSVFileSheet> sheet) {
    if (sheet) csvSheet_ = std::move(sheet);
}
void AppDelegate::setUpdateSheet(std::unique_ptr<MVUpdateSheet> sheet) {
    if (sheet) updateSheet_ = std::move(sheet);
}

// ---- Launch ------------------------------------------------------------------------------------

void AppDelegate::applicationDidFinishLaunching() {
    services_->startTelemetry();
    if (!isOpenFromAssociatedFile_) window_->setCentralWidget(viewController_);
    logMenuItem_->setChecked(ZORFileLog::isTurnOnLog());
    services_->sendUsageAtStartup();
    const bool autoCheck = platform::UserDefaults::standard().integerForKey(kTurnOnOrOff) == 0;
    autoUpdatesMenuItem_->setChecked(autoCheck);
    if (autoCheck) checkForUpdatesInBackground();
    // The space-bar monitor: never removed while the delegate lives.
    if (!monitorInstalled_ && qApp) {
        qApp->installEventFilter(this);
        monitorInstalled_ = true;
    }
    if (MVWindowPlacement::restore(*window_, platform::UserDefaults::standard())) {
        window_->showMaximized();
    } else {
        window_->show();
    }
}

void AppDelegate::applicationWillTerminate() {
    MVWindowPlacement::save(*window_, platform::UserDefaults::standard());
}

void AppDelegate::checkForUpdatesInBackground() {
    // The window never waits for the update server: the check runs on a worker thread and an
    // answer later than the time-out is dropped.
    const platform::TimePoint started = platform::Clock::steadyNow();
    QPointer<AppDelegate> self(this);
    platform::globalQueue().async([services = services_, self, started] {
        const bool available = services->isUpdateAvailable();
        platform::mainQueue().async([self, started, available] {
            if (!self) return;
            const bool late =
                platform::Clock::steadyNow() - started > AppStartupServices::kUpdateCheckTimeout;
            if (late) {
                ZORFileLog::writeToTextFile("update check answered after its time-out");
                return;
            }
            if (available) self->updateSheet_->presentAsSheet(self->window_);
        });
    });
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Space) return false;
    // One key press reaches several receivers (its window, the focused widget, its parents):
    // it counts once, at the focused widget, or at a window when nothing has the focus.
    if (!watched->isWidgetType()) return false;
    QWidget* focus = QApplication::focusWidget();
    const bool receiver = focus ? watched == focus : static_cast<QWidget*>(watched)->isWindow();
    if (receiver && !wizard_->isPresented()) viewController_->videoController().playOrPause();
    // The key still reaches the focused control.
    return false;
}

bool AppDelegate::openFile(const QString& path) {
    isOpenFromAssociatedFile_ = true;
    if (window_->centralWidget() != viewController_) window_->setCentralWidget(viewController_);
    viewController_->loadGLDFile(filePath(path));
    return true;
}

// ---- Actions -----------------------------------------------------------------------------------

void AppDelegate::openFileTransferWizardWithSender(QObject*) {
    wizard_->showSheet(window_);
}
void AppDelegate::csvFileExportWithSender(QObject*) {
    csvSheet_->showSheet(window_);
}
void AppDelegate::closeCurrentFileWithSender(QObject*) {
    viewController_->lapsController().closeCurrentSession();
}
void AppDelegate::closeAllFilesWithSender(QObject*) {
    viewController_->menuController().closeAllSessions();
}
void AppDelegate::moveLeftWithSender(QObject*) {
    viewController_->chartController().moveLeft();
}
void AppDelegate::moveLeftSlightlyWithSender(QObject*) {
    viewController_->chartController().moveLeftSlightly();
}
void AppDelegate::moveRightWithSender(QObject*) {
    viewController_->chartController().moveRight();
}
void AppDelegate::moveRightSlightlyWithSender(QObject*) {
    viewController_->chartController().moveRightSlightly();
}
void AppDelegate::moveUpWithSender(QObject*) {
    viewController_->chartController().moveUp();
}
void AppDelegate::moveDownWithSender(QObject*) {
    viewController_->chartController().moveDown();
}
void AppDelegate::playOrPauseWithSender(QObject*) {
    viewController_->videoController().playOrPause();
}
void AppDelegate::playFasterWithSender(QObject*) {
    viewController_->videoController().playFaster();
}
void AppDelegate::playSlowerWithSender(QObject*) {
    viewController_->videoController().playSlower();
}
void AppDelegate::showOrHideTrackWithSender(QObject*) {
    viewController_->showOrHideTrack();
}
void AppDelegate::lockOrUnlockMapWithSender(QObject*) {
    viewController_->trackController().lockOrUnlockMapFromButtonClick(false);
}
void AppDelegate::showOrHideThumbnailWithSender(QObject*) {
    viewController_->chartController().showOrHideThumbnailFromButtonClick(false);
}
void AppDelegate::resetLayoutWithSender(QObject*) {
    viewController_->resetLayout();
    viewController_->trackController().resetTrackMap();
}
void AppDelegate::viewMoveLeftWithSender(QObject*) {
    viewController_->viewMoveLeft();
}
void AppDelegate::viewMoveRightWithSender(QObject*) {
    viewController_->viewMoveRight();
}
void AppDelegate::viewMoveUpWithSender(QObject*) {
    viewController_->viewMoveUp();
}
void AppDelegate::viewMoveDownWithSender(QObject*) {
    viewController_->viewMoveDown();
}

void AppDelegate::helpWithSender(QObject*) {
    const QUrl url(QString::fromLatin1(kHelpURL), QUrl::StrictMode);
    if (!url.isValid()) return;
    if (urlOpener_) {
        urlOpener_(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

void AppDelegate::enableLogWithSender(QObject* sender) {
    auto* item = qobject_cast<QAction*>(sender);
    if (!item) return;
    // A checkable item has already flipped itself when it was triggered: its state before the
    // click is the opposite of its state now.
    const bool wasOn = !item->isChecked();
    if (wasOn) {
        ZORFileLog::turnOffLog();
    } else {
        ZORFileLog::turnOnLog();
    }
}

void AppDelegate::autoCheckUpdatesWithSender(QObject* sender) {
    QPointer<QAction> item = qobject_cast<QAction*>(sender);
    if (!item) return;
    // The state after the click: on checks at the next launch (0), off does not (1).
    const bool on = item->isChecked();
    platform::mainQueue().async(
        [on] { platform::UserDefaults::standard().setInteger(kTurnOnOrOff, on ? 0 : 1); });
}

void AppDelegate::showVersionUpdaterWithSender(QObject*) {
    QPointer<AppDelegate> self(this);
    platform::mainQueue().async([self] {
        if (self) self->updateSheet_->presentAsSheet(self->window_);
    });
}

// ---- Open panel --------------------------------------------------------------------------------

void AppDelegate::panelSelectionDidChange(const QString& path) {
    if (path.isEmpty() || path == oldURL_) return;
    oldURL_ = path;
    ZORFileLog::writeToTextFile("panelSelectionDidChange url: " + path.toStdString());
    platform::NotificationCenter::defaultCenter().post(MVFileSelected, nullptr,
                                                       {{"url", filePath(path)}});
}

void AppDelegate::openNewFilePanelWithSender(QObject*) {
    window_->setWindowOpacity(0.8);
    QFileDialog* panel = MVOpenPanel::create(window_, accessoryFactory_);
    auto* accessory = panel->findChild<QWidget*>(QStringLiteral("openPanelAccessory"));

    MVOpenPanel::followSelection(*panel,
                                 [this](const QString& path) { panelSelectionDidChange(path); });
    QPointer<QWidget> area(accessory);
    connect(panel, &QFileDialog::finished, this, [this, panel, area](int result) {
        if (result == QDialog::Accepted && !panel->selectedFiles().isEmpty()) {
            viewController_->loadGLDFile(filePath(panel->selectedFiles().first()));
        }
        delete area.data();
        // The first selection in the next panel is announced again.
        oldURL_.clear();
        window_->setWindowOpacity(1.0);
    });
    panel->open();
}
