#include "app/AppDelegate.h"
#include "app/GridlarkApplication.h"
#include "app/MVTransferSheets.h"
#include "app/MVZQViewController.h"
#include "app/TelemetryLaunch.h"
#include "app/TransferStartupServices.h"
#include "transfer/MVFileWizardView.h"
#include "views/MVThumbnailFolder.h"
#include "widgets/MainQueueBinding.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    // First made, last gone: the thumbnail frames of this run are removed after every strip.
    MVThumbnailFolderScope thumbnailFolder;
    GridlarkApplication application(argc, argv);
    application.closeWindowsOnTerminationRequest();
    QApplication::setApplicationName("Gridlark");
    QApplication::setOrganizationName("Gridlark");
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
    // Session files named on the command line are opened as if the system had asked for them.
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) delegate.openFile(arguments[i]);
    delegate.applicationDidFinishLaunching();
    const int status = QApplication::exec();
    // Logs enqueued just before quitting (a crash of the last run among them) reach the store.
    if (!waitForTelemetryStore(std::chrono::seconds(2))) {
        std::fprintf(stderr, "gridlark: telemetry logs still queued at quit\n");
    }
    return status;
}
