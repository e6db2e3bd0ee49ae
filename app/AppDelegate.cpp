#include "app/AppDelegate.h"

#include "app/MVZQViewController.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenuBar>

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
    QMenu* file = window_->menuBar()->addMenu(QStringLiteral("&File"));
    QAction* open = file->addAction(QStringLiteral("&Open..."));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, [this] { openNewFilePanel(); });
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("&Quit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, qApp, &QApplication::quit);
}

void AppDelegate::applicationDidFinishLaunching() {
    services_->startTelemetry();
    if (!isOpenFromAssociatedFile_) window_->setCentralWidget(viewController_);
    services_->sendUsageAtStartup();
    (void)services_->isUpdateAvailable();  // no update sheet yet
    window_->show();
}

bool AppDelegate::openFile(const QString& path) {
    isOpenFromAssociatedFile_ = true;
    if (window_->centralWidget() != viewController_) window_->setCentralWidget(viewController_);
    viewController_->loadGLDFile(path.toStdString());
    return true;
}

void AppDelegate::openNewFilePanel() {
    window_->setWindowOpacity(0.8);
    auto* panel = new QFileDialog(window_, QStringLiteral("Choose a gld file"));
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setNameFilter(QStringLiteral("Session files (*.gld)"));
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        if (result == QDialog::Accepted && !panel->selectedFiles().isEmpty()) {
            viewController_->loadGLDFile(panel->selectedFiles().first().toStdString());
        }
        window_->setWindowOpacity(1.0);
    });
    panel->open();
}
