#pragma once

#include "app/AppStartupServices.h"
#include "app/MVMenuActions.h"
#include "app/MVOpenPanel.h"
#include "app/MVSheets.h"

#include "views/MVVideoShellHooks.h"

#include "session/MVLap.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class MVExportVideoWindowController;
class MVZQViewController;
class QAction;
class QMainWindow;
class QUrl;
class QWidget;

// The root object of the program: owns the main window, its view controller and the sheets (card
// import, CSV export, updates); runs the launch sequence, answers requests to open session files,
// and carries every menu action and the two persistent switches of the menu bar (diagnostic log,
// automatic update check). Each action forwards to the main view controller, one of its pane
// controllers or a sheet. One delegate at a time is the shared one (shared()).
//
// Main thread only. The launch update check runs on a worker thread; its answer comes back to
// the main thread.
class AppDelegate : public QObject, public MVMenuActions {
    Q_OBJECT
  public:
    // The address of the help page, opened with the desktop's handler.
    static const char* const kHelpURL;

    explicit AppDelegate(
        std::unique_ptr<AppStartupServices> services = std::make_unique<NoStartupServices>(),
        QObject* parent = nullptr);
    ~AppDelegate() override;

    // The living delegate (the latest made), or null.
    static AppDelegate* shared();

    QMainWindow* window() const { return window_; }
    MVZQViewController* viewController() const { return viewController_; }
    QAction* logMenuItem() const { return logMenuItem_; }
    // Every action of the menu bar, by its object name (the action's name, e.g.
    // "moveLeftWithSender"); null for an unknown name.
    QAction* menuItem(const QString& name) const;

    // The sheets; stand-ins until the real ones are installed. The delegate owns them.
    void setFileTransferWizard(std::unique_ptr<MVFileTransferWizardSheet> sheet);
    void setCSVFileSheet(std::unique_ptr<MVCSVFileSheet> sheet);
    void setUpdateSheet(std::unique_ptr<MVUpdateSheet> sheet);
    MVFileTransferWizardSheet& fileTransferWizardWindowController() const { return *wizard_; }
    MVCSVFileSheet& csvFileWindowController() const { return *csvSheet_; }
    MVUpdateSheet& versionVC() const { return *updateSheet_; }
    // The open panel's accessory content (the file preview, beside the file list); none: the
    // area stays empty.
    using AccessoryFactory = MVOpenPanel::AccessoryFactory;
    void setOpenPanelAccessory(AccessoryFactory factory) { accessoryFactory_ = std::move(factory); }
    // Opens a web address in the user's browser; the desktop's handler unless replaced.
    using UrlOpener = std::function<bool(const QUrl&)>;

    // The lap video export sheet of the video pane's export button: a new sheet for `lap` on
    // each request, window-modal on the main window (the previous one goes once it has ended).
    void showExportVideoSheet(const MVLapPtr& lap);
    MVExportVideoWindowController* exportVideoSheet() const;

    // True from creation until the video pane clears it, the first time it restores
    // full-screen video. The video pane reads and clears it through its shell hooks, which
    // the shared delegate sets for its lifetime.
    bool isSessionLaunched() const { return isSessionLaunched_; }
    void setIsSessionLaunched(bool launched) { isSessionLaunched_ = launched; }

    // The launch sequence: telemetry, main view, menu-item states, usage report, update check
    // (when the automatic check is on), space-bar monitor; then shows the window where the last
    // run left it (MVWindowPlacement), maximised if it was.
    void applicationDidFinishLaunching();
    // At quit (the application's aboutToQuit): keeps the window's frame and maximised state.
    void applicationWillTerminate();
    // Opens a session file; always true (a file that cannot be read is reported by the status
    // bar).
    bool openFile(const QString& path);

    // ---- Actions (the sender is a menu item or the tool-button bar's controller) ----------
    void connectViewController(MVZQViewController* viewController) override;
    void openNewFilePanelWithSender(QObject* sender = nullptr) override;
    void openFileTransferWizardWithSender(QObject* sender = nullptr) override;
    void csvFileExportWithSender(QObject* sender = nullptr) override;
    void closeCurrentFileWithSender(QObject* sender = nullptr);
    void closeAllFilesWithSender(QObject* sender = nullptr);
    void moveLeftWithSender(QObject* sender = nullptr) override;
    void moveLeftSlightlyWithSender(QObject* sender = nullptr);
    void moveRightWithSender(QObject* sender = nullptr) override;
    void moveRightSlightlyWithSender(QObject* sender = nullptr);
    void moveUpWithSender(QObject* sender = nullptr);
    void moveDownWithSender(QObject* sender = nullptr);
    void playOrPauseWithSender(QObject* sender = nullptr) override;
    void playFasterWithSender(QObject* sender = nullptr);
    void playSlowerWithSender(QObject* sender = nullptr);
    void showOrHideTrackWithSender(QObject* sender = nullptr) override;
    void lockOrUnlockMapWithSender(QObject* sender = nullptr);
    void showOrHideThumbnailWithSender(QObject* sender = nullptr);
    void resetLayoutWithSender(QObject* sender = nullptr) override;
    void viewMoveLeftWithSender(QObject* sender = nullptr);
    void viewMoveRightWithSender(QObject* sender = nullptr);
    void viewMoveUpWithSender(QObject* sender = nullptr);
    void viewMoveDownWithSender(QObject* sender = nullptr);
    void helpWithSender(QObject* sender = nullptr);
    // The two switches: `sender` is the check-mark menu item.
    void enableLogWithSender(QObject* sender);
    void autoCheckUpdatesWithSender(QObject* sender);
    void showVersionUpdaterWithSender(QObject* sender = nullptr);

    // The open panel's selection moved to `path`: announced once per change as "MVFileSelected"
    // (user info "url": the path), for the panel's preview, and written to the diagnostic log.
    void panelSelectionDidChange(const QString& path);

    // For tests:
    QAction* autoUpdatesMenuItem() const { return autoUpdatesMenuItem_; }
    void setUrlOpener(UrlOpener opener) { urlOpener_ = std::move(opener); }

  protected:
    // The space-bar monitor.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildMenus();
    void checkForUpdatesInBackground();
    void installPaneHooks();

    std::shared_ptr<AppStartupServices> services_;
    QMainWindow* window_ = nullptr;
    MVZQViewController* viewController_ = nullptr;
    QAction* logMenuItem_ = nullptr;
    QAction* autoUpdatesMenuItem_ = nullptr;
    std::unique_ptr<MVFileTransferWizardSheet> wizard_;
    std::unique_ptr<MVCSVFileSheet> csvSheet_;
    std::unique_ptr<MVUpdateSheet> updateSheet_;
    AccessoryFactory accessoryFactory_;
    UrlOpener urlOpener_;
    bool isOpenFromAssociatedFile_ = false;
    bool isSessionLaunched_ = true;
    bool monitorInstalled_ = false;
    QString oldURL_;                        // the selection last announced from the open panel
    MVVideoShellHooks previousVideoHooks_;  // put back when this delegate goes
    QPointer<MVExportVideoWindowController> exportVideoSheet_;
};
