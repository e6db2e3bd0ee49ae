#pragma once

#include "app/AppStartupServices.h"

#include <QObject>
#include <QString>

#include <memory>

class DownloadViewController;
class MVCSVFileWindowController;
class MVZQViewController;
class QMainWindow;

// The root object of the program: owns the main window and its view controller, runs the launch
// sequence and answers requests to open session files. Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT
  public:
    explicit AppDelegate(
        std::unique_ptr<AppStartupServices> services = std::make_unique<NoStartupServices>(),
        QObject* parent = nullptr);
    ~AppDelegate() override;

    QMainWindow* window() const { return window_; }
    MVZQViewController* viewController() const { return viewController_; }

    // The launch sequence: start-up services, main view, shows the window.
    void applicationDidFinishLaunching();
    // Opens a session file; always true (a file that cannot be read is reported by the status
    // bar).
    bool openFile(const QString& path);
    // File > Open: a panel that lists session files ("*.gld"); the chosen file is opened.
    void openNewFilePanel();
    // The open panel's selection moved to `path`: announced once per change as "MVFileSelected"
    // (user info "url": the path), for the panel's preview, and written to the diagnostic log.
    void panelSelectionDidChange(const QString& path);
    // File > Export to CSV: the CSV export sheet (made on first use, then kept).
    void csvFileExport();
    // Help > Check for Updates, and the launch check when it finds an update: the update sheet
    // (made on first use, then kept).
    void showVersionUpdater();

  private:
    void buildMenus();

    std::unique_ptr<AppStartupServices> services_;
    QMainWindow* window_ = nullptr;
    MVZQViewController* viewController_ = nullptr;
    bool isOpenFromAssociatedFile_ = false;
    QString oldURL_;  // the selection last announced from the open panel
    MVCSVFileWindowController* csvFileWindowController_ = nullptr;
    DownloadViewController* versionVC_ = nullptr;
};
