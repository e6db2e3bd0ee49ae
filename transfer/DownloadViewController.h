#pragma once

#include "transfer/core/MVVersionManager.h"

#include "platform/NotificationCenter.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>

class MVSpinningProgressIndicator;
class QLabel;
class QPushButton;

// The update sheet: the installed and latest versions of the program and of the circuit
// database, a button to start either update, and the offer to install a downloaded package.
// The application makes one and shows it at launch when an update is offered and from the menu.
//
// The catalogue questions run on a worker and their answers are applied on the main queue, so
// the window never waits for the network. Per kind: idle (button enabled when newer) ->
// downloading (flag set, button disabled, spinner turning, Close disabled) -> done (flag clear,
// spinner stopped, Close enabled unless the other kind is still downloading). A failure shows its
// text and returns its kind to idle; a download that finds nothing to do does the same with a
// line saying so. Each latest-version row shows its own catalogue's answer: the version, or in
// words why the catalogue could not be read; its Update button is enabled only beside a version.
// A catalogue that the manager refused (redirected away from https) also shows its reason
// below the rows. While a check runs, both rows say "Checking for updates…" and neither Update
// button is enabled; each check reads each catalogue once, and only the latest check's answers
// are shown. Main thread only; the manager's notifications may arrive on any thread.
class DownloadViewController : public QDialog {
    Q_OBJECT
  public:
    // Opens a downloaded package (default: the desktop's handler, else its folder).
    using PackageOpener = std::function<void(const std::filesystem::path& package)>;
    // Shows an alert with "OK" only and runs `onOK` when the user presses it.
    using Confirmation = std::function<void(QWidget* parent, const QString& title,
                                            const QString& message, std::function<void()> onOK)>;

    explicit DownloadViewController(
        QWidget* window, MVVersionManaging& manager = MVVersionManager::sharedVersionManager(),
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());

    // Shows the sheet (window-modal on the main window) and refreshes the versions.
    void showSheet();
    // Asks the manager on a worker; the labels and buttons follow on the main queue.
    void refreshVersions();

    bool startDownloadSW() const { return startDownloadSW_; }
    bool startDownloadTrackDB() const { return startDownloadTrackDB_; }

    QLabel* labelSoftware() const { return labelSoftware_; }
    QLabel* labelTrackDB() const { return labelTrackDB_; }
    QLabel* onlineSWVersion() const { return onlineSWVersion_; }
    QLabel* onlineTrackDBVersion() const { return onlineTrackDBVersion_; }
    MVSpinningProgressIndicator* progressSoftware() const { return progressSoftware_; }
    MVSpinningProgressIndicator* progressTrackDB() const { return progressTrackDB_; }
    QPushButton* buttonSoftwareUpdate() const { return buttonSoftwareUpdate_; }
    QPushButton* buttonTrackDBUpdate() const { return buttonTrackDBUpdate_; }
    QPushButton* buttonClose() const { return buttonClose_; }

    static void openPackage(const std::filesystem::path& package);
    static void showInstallAlert(QWidget* parent, const QString& title, const QString& message,
                                 std::function<void()> onOK);

    // The rows' text while a check runs.
    static QString checkingText();

    // For tests:
    QLabel* messageLabel() const { return message_; }
    void setPackageOpener(PackageOpener opener) { opener_ = std::move(opener); }
    void setConfirmation(Confirmation confirmation) { confirm_ = std::move(confirmation); }

  signals:
    // The answers of a refresh have been applied.
    void versionsRefreshed();

  public slots:
    void updateSWWithSender();
    void updateTrackDBWithSender();

  private:
    enum class Kind { Software, CircuitDatabase };
    void showLatest(QLabel* label, const MVVersionManaging::CatalogueAnswer& answer);
    void startDownload(Kind kind);
    void endDownload(Kind kind, bool updateStillOffered);
    void softwareDownloaded(const std::optional<std::filesystem::path>& package);
    void circuitDatabaseDownloaded();
    void downloadFailed(const std::string& kind, const std::string& error);

    // A row's text from before the running check (a property of the row's label).
    static constexpr char kShownBefore[] = "shownBeforeCheck";

    MVVersionManaging& manager_;
    std::uint64_t checks_ = 0;  // the latest check started
    bool startDownloadSW_ = false;
    bool startDownloadTrackDB_ = false;
    QLabel* labelSoftware_;
    QLabel* labelTrackDB_;
    QLabel* onlineSWVersion_;
    QLabel* onlineTrackDBVersion_;
    QLabel* message_;
    MVSpinningProgressIndicator* progressSoftware_;
    MVSpinningProgressIndicator* progressTrackDB_;
    QPushButton* buttonSoftwareUpdate_;
    QPushButton* buttonTrackDBUpdate_;
    QPushButton* buttonClose_;
    PackageOpener opener_ = &DownloadViewController::openPackage;
    Confirmation confirm_ = &DownloadViewController::showInstallAlert;
    platform::ObserverToken softwareToken_;
    platform::ObserverToken databaseToken_;
    platform::ObserverToken failureToken_;
};
