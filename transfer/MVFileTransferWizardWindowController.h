#pragma once

#include "transfer/MVSheetSupport.h"
#include "transfer/core/MVFolderTransfer.h"
#include "transfer/core/MVRemovableVolumes.h"

#include "session/MVGLDFileManagerFastOperation.h"

#include "platform/Dispatch.h"
#include "platform/ObserverToken.h"
#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"

#include <QDialog>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include <sys/types.h>

class MVTextFieldSupportDrag;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSocketNotifier;

// The card-import sheet: finds the data logger's card among the removable volumes, proposes its
// recording folder as the source, a destination (kept in the user defaults) and a folder named
// "<date> <circuit of the card's first session>", then copies or moves the source into
// destination / directory / session with a progress bar and opens the result in the file
// browser.
//
// A source the user chose (Change... or a drop) is kept through mount changes while it stays on
// the device it was on; a card's source follows the volumes. Copy and Move wait for a source (no
// card and none chosen: "Choose the card first."). A failed run says why in the system's words
// ("No space left on device"), and its alert names the cause where it is known: a full
// destination, a card that went away during the copy, copies that could not be flushed to disk
// (a Move removes nothing from the card until every copy is on disk). The folder field shows the
// name as it will be made.
//
// A run never deletes anything that was there before: a final folder that already holds files,
// an empty source and names that would leave the destination are refused in the sheet. Abort
// stops the copy, waits for it and removes what the run made; a failure does the same, shows the
// alert and gives the controls back. A Move that copied everything but could not empty the card
// (a write-protected card) keeps the copy and the sheet: the sheet says that the files were
// copied and how many could not be removed from the card, with the reason, and the diagnostic
// log lists them; nothing is opened, and a sheet closed during the run comes back. Completion comes
// from the copy itself; the bar (polled every 0.5 s) only shows how much has arrived. Made once by
// the application; main thread only.
class MVFileTransferWizardWindowController : public QDialog {
    Q_OBJECT
  public:
    using FolderOpener = std::function<void(const std::filesystem::path&)>;

    explicit MVFileTransferWizardWindowController(
        QWidget* window,
        std::shared_ptr<const MVRemovableVolumes::Lister> lister =
            std::make_shared<MVRemovableVolumes::MountInfoLister>(),
        platform::UserDefaults& defaults = platform::UserDefaults::standard());
    ~MVFileTransferWizardWindowController() override;

    // Window-modal on the main window; returns at once.
    void showSheet();
    void clearSheet();
    bool isPresented() const { return isPresented_; }

    // Volumes changed (mount or unmount): a new source, the name back to the date, a new parse.
    void setUpSDVolumes();
    void setUpDestination();
    void findFirstGLDFileAndUpdateDirectoryTextField(
        const std::optional<std::filesystem::path>& url);
    void updateProgressBar();

    MVTextFieldSupportDrag* sourceTextField() const { return sourceTextField_; }
    MVTextFieldSupportDrag* destinationTextField() const { return destinationTextField_; }
    QLineEdit* directoryTextField() const { return directoryTextField_; }
    QLineEdit* sessionTextField() const { return sessionTextField_; }
    QProgressBar* progressBar() const { return progressBar_; }
    QLabel* percentageTextField() const { return percentageTextField_; }
    QLabel* messageTextField() const { return messageTextField_; }
    QPushButton* buttonCopy() const { return buttonCopy_; }
    QPushButton* buttonMove() const { return buttonMove_; }
    QPushButton* buttonAbort() const { return buttonAbort_; }
    QPushButton* buttonClose() const { return buttonClose_; }
    MVFolderTransfer& transfer() { return transfer_; }
    // The quick parse naming the folder (tests wait for it).
    std::shared_ptr<MVGLDFileManagerFastOperation> operation() const { return operation_; }
    platform::OperationQueue& queue() { return queue_; }

    // Stand-ins for tests.
    void setFolderChooser(MVSheetSupport::FolderChooser chooser) { chooser_ = std::move(chooser); }
    void setAlertPresenter(MVSheetSupport::AlertPresenter alert) { alert_ = std::move(alert); }
    void setFolderOpener(FolderOpener opener) { opener_ = std::move(opener); }

  public slots:
    void buttonCopyPressed();
    void buttonMovePressed();
    void buttonAbortPressed();
    void buttonClosePressed();
    void buttonEditScourcePressed();
    void buttonEditDestinationPressed();

  private:
    void buildSubviews();
    void watchMounts();
    void startTransfer(MVFolderTransfer::Mode mode);
    void transferFinished(std::uint64_t run, const MVFolderTransfer::Result& result);
    void sourcesKept(const MVFolderTransfer::Result& result);
    void placeNameArrived(const MVGLDFileManagerFastOperation* operation, const std::string& place);
    void subViewsEnable(bool enabled);
    // Copy and Move are enabled only while no run goes on and a source is shown.
    void enableTransferButtons();
    void showCopyOrMoveAlert(const MVFolderTransfer::Result& result);

    // A source folder the user chose (Change... or a drop) and the device it was on.
    struct ChosenSource {
        std::filesystem::path folder;
        dev_t device = 0;
        static std::optional<ChosenSource> of(const std::filesystem::path& folder);
        bool stillMounted() const;
    };

    std::shared_ptr<const MVRemovableVolumes::Lister> lister_;
    std::optional<ChosenSource> chosenSource_;
    platform::UserDefaults& defaults_;
    platform::OperationQueue queue_{"FileTransferWizardQuickParse"};
    std::shared_ptr<MVGLDFileManagerFastOperation> operation_;
    platform::ObserverToken placeNameToken_;
    platform::ObserverToken sourceChangedToken_;
    MVFolderTransfer transfer_;
    MVFolderTransfer::Mode mode_ = MVFolderTransfer::Mode::Copy;
    std::uint64_t run_ = 0;
    std::filesystem::path finalDestinationURL_;
    double originalSize_ = 0;
    platform::Timer timer_;
    bool isPresented_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    MVTextFieldSupportDrag* sourceTextField_;
    MVTextFieldSupportDrag* destinationTextField_;
    QLineEdit* directoryTextField_;
    QLineEdit* sessionTextField_;
    QProgressBar* progressBar_;
    QLabel* percentageTextField_;
    QLabel* messageTextField_;
    QPushButton* buttonCopy_;
    QPushButton* buttonMove_;
    QPushButton* buttonAbort_;
    QPushButton* buttonClose_;
    QPushButton* buttonEditSource_;
    QPushButton* buttonEditDestination_;
    QSocketNotifier* mountNotifier_ = nullptr;
    int mountFd_ = -1;

    MVSheetSupport::FolderChooser chooser_ = &MVSheetSupport::chooseFolder;
    MVSheetSupport::AlertPresenter alert_ = &MVSheetSupport::showAlert;
    FolderOpener opener_;
};
