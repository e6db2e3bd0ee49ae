#include "app/AppDelegate.h"

#include "views/MVChartController.h"
#include "app/MVLapsController.h"
#include "views/MVTrackController.h"
#include "views/MVVideoController.h"
#include "app/MVZQViewController.h"
#include "session/MVNotifications.h"
#include "session/ZORFileLog.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "transfer/DownloadViewController.h"
#include "transfer/MVCSVFileWindowController.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenuBar>

#include <filesystem>
#include <functional>

AppDelegate::AppDelegate(std::unique_ptr<AppStartupServices> services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
    window_ = new QMainWindow;
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    window_->setWindowTitle(QStringLiteral("Gridlark"));
    window_->resize(1280, 800);
    viewController_ = new MVZQViewController;
    buildMenus();
}

AppDelegate::~AppDelegate() {
    // The view controller goes with the window once it is the window's content view.
    if (viewController_->parent() == nullptr) delete viewController_;
    delete window_;
}

void AppDelegate::buildMenus() {
    MVZQViewController* vc = viewController_;
    auto add = [this](QMenu* menu, const QString& title, const QKeySequence& keys,
                      std::function<void()> action) {
        QAction* item = menu->addAction(title);
        if (!keys.isEmpty()) item->setShortcut(keys);
        connect(item, &QAction::triggered, this, [action = std::move(action)] { action(); });
        return item;
    };

    QMenu* file = window_->menuBar()->addMenu(QStringLiteral("&File"));
    add(file, QStringLiteral("&Open..."), QKeySequence::Open, [this] { openNewFilePanel(); });
    add(file, QStringLiteral("&Close Session"), QKeySequence::Close,
        [vc] { vc->lapsController().closeCurrentSession(); });
    file->addSeparator();
    add(file, QStringLiteral("&Export to CSV..."), QKeySequence(), [this] { csvFileExport(); });
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("&Quit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, qApp, &QApplication::quit);

    QMenu* view = window_->menuBar()->addMenu(QStringLiteral("&View"));
    add(view, QStringLiteral("Show/Hide &Track Map"), QKeySequence(QStringLiteral("Ctrl+T")),
        [vc] { vc->showOrHideTrack(); });
    add(view, QStringLiteral("Lock/Unlock Map"), QKeySequence(QStringLiteral("Ctrl+L")),
        [vc] { vc->trackController().lockOrUnlockMapFromButtonClick(false); });
    add(view, QStringLiteral("Show/Hide Thumbnails"), QKeySequence(QStringLiteral("Ctrl+B")),
        [vc] { vc->chartController().showOrHideThumbnailFromButtonClick(false); });
    add(view, QStringLiteral("&Reset Layout"), QKeySequence(QStringLiteral("Ctrl+0")), [vc] {
        vc->resetLayout();
        vc->trackController().resetTrackMap();
    });
    view->addSeparator();
    add(view, QStringLiteral("Move Divider Left"), QKeySequence(QStringLiteral("Ctrl+Alt+Left")),
        [vc] { vc->viewMoveLeft(); });
    add(view, QStringLiteral("Move Divider Right"), QKeySequence(QStringLiteral("Ctrl+Alt+Right")),
        [vc] { vc->viewMoveRight(); });
    add(view, QStringLiteral("Move Divider Up"), QKeySequence(QStringLiteral("Ctrl+Alt+Up")),
        [vc] { vc->viewMoveUp(); });
    add(view, QStringLiteral("Move Divider Down"), QKeySequence(QStringLiteral("Ctrl+Alt+Down")),
        [vc] { vc->viewMoveDown(); });

    QMenu* chart = window_->menuBar()->addMenu(QStringLiteral("&Chart"));
    add(chart, QStringLiteral("Move Left"), QKeySequence(QStringLiteral("Ctrl+Left")),
        [vc] { vc->chartController().moveLeft(); });
    add(chart, QStringLiteral("Move Left Slightly"),
        QKeySequence(QStringLiteral("Ctrl+Shift+Left")),
        [vc] { vc->chartController().moveLeftSlightly(); });
    add(chart, QStringLiteral("Move Right"), QKeySequence(QStringLiteral("Ctrl+Right")),
        [vc] { vc->chartController().moveRight(); });
    add(chart, QStringLiteral("Move Right Slightly"),
        QKeySequence(QStringLiteral("Ctrl+Shift+Right")),
        [vc] { vc->chartController().moveRightSlightly(); });
    add(chart, QStringLiteral("Zoom Out"), QKeySequence(QStringLiteral("Ctrl+Up")),
        [vc] { vc->chartController().moveUp(); });
    add(chart, QStringLiteral("Zoom In"), QKeySequence(QStringLiteral("Ctrl+Down")),
        [vc] { vc->chartController().moveDown(); });

    QMenu* video = window_->menuBar()->addMenu(QStringLiteral("Vi&deo"));
    add(video, QStringLiteral("Play/Pause"), QKeySequence(QStringLiteral("Ctrl+P")),
        [vc] { vc->videoController().playOrPause(); });
    add(video, QStringLiteral("Play Faster"), QKeySequence(QStringLiteral("Ctrl+]")),
        [vc] { vc->videoController().playFaster(); });
    add(video, QStringLiteral("Play Slower"), QKeySequence(QStringLiteral("Ctrl+[")),
        [vc] { vc->videoController().playSlower(); });

    QMenu* help = window_->menuBar()->addMenu(QStringLiteral("&Help"));
    add(help, QStringLiteral("Check for &Updates..."), QKeySequence(),
        [this] { showVersionUpdater(); });
}

void AppDelegate::applicationDidFinishLaunching() {
    services_->startTelemetry();
    if (!isOpenFromAssociatedFile_) window_->setCentralWidget(viewController_);
    services_->sendUsageAtStartup();
    // "turnONOROFF" 0 (or absent): check for updates at launch, without waiting for the answer.
    if (platform::UserDefaults::standard().integerForKey("turnONOROFF") == 0) {
        services_->checkForUpdate([this](bool available) {
            if (available) showVersionUpdater();
        });
    }
    window_->show();
}

void AppDelegate::csvFileExport() {
    if (csvFileWindowController_ == nullptr) {
        csvFileWindowController_ = new MVCSVFileWindowController(window_);
    }
    csvFileWindowController_->showSheet();
}

void AppDelegate::showVersionUpdater() {
    if (versionVC_ == nullptr) versionVC_ = new DownloadViewController(window_);
    versionVC_->showSheet();
}

bool AppDelegate::openFile(const QString& path) {
    isOpenFromAssociatedFile_ = true;
    if (window_->centralWidget() != viewController_) window_->setCentralWidget(viewController_);
    viewController_->loadGLDFile(path.toStdString());
    return true;
}

void AppDelegate::panelSelectionDidChange(const QString& path) {
    if (path.isEmpty() || path == oldURL_) return;
    oldURL_ = path;
    ZORFileLog::writeToTextFile("panelSelectionDidChange url: " + path.toStdString());
    platform::NotificationCenter::defaultCenter().post(
        MVFileSelected, nullptr, {{"url", std::filesystem::path(path.toStdString())}});
}

void AppDelegate::openNewFilePanel() {
    window_->setWindowOpacity(0.8);
    auto* panel = new QFileDialog(window_, QStringLiteral("Choose a gld file"));
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setNameFilter(QStringLiteral("Session files (*.gld)"));
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::currentChanged, this,
            [this](const QString& path) { panelSelectionDidChange(path); });
    connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        if (result == QDialog::Accepted && !panel->selectedFiles().isEmpty()) {
            viewController_->loadGLDFile(panel->selectedFiles().first().toStdString());
        }
        // The first selection in the next panel is announced again.
        oldURL_.clear();
        window_->setWindowOpacity(1.0);
    });
    panel->open();
}
