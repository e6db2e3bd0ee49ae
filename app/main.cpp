#include "app/AppDelegate.h"
#include "app/GridlarkApplication.h"
#include "app/MVTransferSheets.h"
#include "app/MVZQViewController.h"
#include "app/SingleProgram.h"
#include "app/TelemetryLaunch.h"
#include "app/TransferStartupServices.h"

#include "transfer/MVFileWizardView.h"

#include "views/MVThumbnailFolder.h"

#include "widgets/MainQueueBinding.h"

#include "platform/UserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMainWindow>
#include <QStringList>
#include <QWindow>

#include <cstdio>
#include <optional>

namespace {

// Brings the main window to the front, out of the task bar if it was minimised.
void raiseWindow(QMainWindow* window) {
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

// Writes one line when the main window is first on screen (the first exposure of its native
// window), in milliseconds after the program's start, beside the lap table's line: what a user
// waits for at launch.
class FirstExposureLine : public QObject {
  public:
    FirstExposureLine(QWidget* window, const QElapsedTimer& sinceStart)
        : QObject(window), window_(window), sinceStart_(sinceStart) {
        window->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The native window exists once the widget is being shown.
        if (watched == window_ && event->type() == QEvent::Show && window_->windowHandle()) {
            window_->removeEventFilter(this);
            window_->windowHandle()->installEventFilter(this);
        } else if (event->type() == QEvent::Expose && window_->windowHandle()->isExposed()) {
            std::fprintf(stderr, "gridlark: window mapped %lld ms after start\n",
                         static_cast<long long>(sinceStart_.elapsed()));
            watched->removeEventFilter(this);
        }
        return false;
    }

  private:
    QWidget* window_;
    const QElapsedTimer& sinceStart_;
};

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    // Declared first, so it goes last: the thumbnail frames of this run are removed after every
    // strip. It begins only in a start that runs, not in one that hands its files over.
    std::optional<MVThumbnailFolderScope> thumbnailFolder;
    GridlarkApplication application(argc, argv);
    application.closeWindowsOnTerminationRequest();
    QApplication::setApplicationName("Gridlark");
    QApplication::setOrganizationName("Gridlark");
    // The desktop entry's name, so the desktop matches the window with its entry and icon.
    QGuiApplication::setDesktopFileName("gridlark");
    const QStringList files = QApplication::arguments().mid(1);

    // One program per user session: a later start hands its files to the running one.
    SingleProgram single(SingleProgram::defaultFolder());
    switch (single.start(files)) {
        case SingleProgram::Role::HandedOver:
            std::fprintf(stderr, "gridlark: handed %lld file(s) to the running Gridlark\n",
                         static_cast<long long>(files.size()));
            return 0;
        case SingleProgram::Role::Failed:
            std::fprintf(stderr, "gridlark: %s\n", single.problem().c_str());
            return 1;
        case SingleProgram::Role::Alone:
            std::fprintf(stderr, "gridlark: running without hand-over: %s\n",
                         single.problem().c_str());
            break;
        case SingleProgram::Role::Running:
            break;
    }
    thumbnailFolder.emplace();
    app::MainQueueBinding mainQueue;

    AppDelegate delegate(std::make_unique<TransferStartupServices>());
    delegate.setCSVFileSheet(std::make_unique<MVCSVFileSheetAdapter>());
    delegate.setUpdateSheet(std::make_unique<MVUpdateSheetAdapter>());
    delegate.setFileTransferWizard(std::make_unique<MVFileTransferWizardSheetAdapter>());
    delegate.setOpenPanelAccessory([](QWidget* parent) { return new MVFileWizardView(parent); });
    QObject::connect(
        delegate.viewController(), &MVZQViewController::lapTableFilled, [&sinceStart](int laps) {
            std::fprintf(stderr, "gridlark: lap table filled (%d laps) %lld ms after start\n", laps,
                         static_cast<long long>(sinceStart.elapsed()));
        });
    new FirstExposureLine(delegate.window(), sinceStart);
    // Session files named on the command line, or handed over by a later start, are opened as
    // if the system had asked for them: before launch finishes and while the program runs.
    for (const QString& file : files) delegate.openFile(file);
    QObject::connect(&single, &SingleProgram::openRequested, &delegate,
                     [&delegate](const QString& path) { delegate.openFile(path); });
    QObject::connect(&single, &SingleProgram::raiseRequested, &delegate,
                     [&delegate] { raiseWindow(delegate.window()); });
    // While the program finishes quitting, a new start becomes the session's program itself.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &single,
                     [&single] { single.stop(); });
    delegate.applicationDidFinishLaunching();
    const int status = QApplication::exec();
    // The settings changed in the last moments (the window's place among them) reach the file
    // before a next start may read it; what the telemetry queue still writes, after its wait.
    platform::UserDefaults::standard().synchronize();
    // Logs enqueued just before quitting (a crash of the last run among them) reach the store.
    if (!waitForTelemetryStore(std::chrono::seconds(2))) {
        std::fprintf(stderr, "gridlark: telemetry logs still queued at quit\n");
    }
    platform::UserDefaults::standard().synchronize();
    return status;
}
