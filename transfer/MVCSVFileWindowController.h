#pragma once

#include "transfer/MVSheetSupport.h"
#include "transfer/core/MVCSVFile.h"

#include "session/MVGLDFileManager.h"

#include <QDialog>

#include <filesystem>

class MVTextFieldSupportDrag;
class QLabel;
class QPushButton;

// The sheet that exports the lap and sector times of every loaded session to a CSV file: it shows
// the destination folder (the Desktop when first made; a folder chosen or dropped stays for later
// exports of the run), lets the user pick another, and exports with one button. Success is said
// in the sheet with the file's name and folder ("Saved A+B.csv in /home/me/Desktop."), as is
// "nothing to export"; a failed write is an alert with the reason. When a file of the export's
// name is in the folder already (an earlier export, perhaps with the user's notes), Export first
// asks, as the lap video export does: Replace, Keep Both (the new file is saved as
// "A+B (2).csv", or the next free number) or Cancel (nothing is written, and the sheet says the
// file is kept). Without Replace no file is ever replaced, also not one that appears meanwhile.
// The sheet stays open until closed. Made once by the application; main thread only.
class MVCSVFileWindowController : public QDialog {
    Q_OBJECT
  public:
    explicit MVCSVFileWindowController(
        QWidget* window, MVGLDFileManager& manager = MVGLDFileManager::sharedManager());

    // Window-modal on the main window; returns at once.
    void showSheet();
    void clearSheet();
    static std::filesystem::path getDocumentsDirectoryURL();

    MVTextFieldSupportDrag* destinationTextField() const { return destinationTextField_; }
    QLabel* infoTextField() const { return infoTextField_; }
    QPushButton* exportButton() const { return buttonExport_; }

    // Stand-ins for tests (defaults: the folder panel, the alert, the manager's top speeds).
    void setFolderChooser(MVSheetSupport::FolderChooser chooser) { chooser_ = std::move(chooser); }
    void setAlertPresenter(MVSheetSupport::AlertPresenter alert) { alert_ = std::move(alert); }
    void setExistingFileAsker(MVSheetSupport::ExistingFileAsker asker) {
        asker_ = std::move(asker);
    }
    void setSpeedOf(MVCSVFile::SpeedOf speedOf) { speedOf_ = std::move(speedOf); }

  public slots:
    void buttonEditDestinationPressed();
    void buttonExport();
    void buttonClosePressed();

  private:
    MVGLDFileManager& manager_;
    MVTextFieldSupportDrag* destinationTextField_;
    QLabel* infoTextField_;
    QPushButton* buttonEdit_;
    QPushButton* buttonExport_;
    QPushButton* buttonClose_;
    MVSheetSupport::FolderChooser chooser_ = &MVSheetSupport::chooseFolder;
    MVSheetSupport::AlertPresenter alert_ = &MVSheetSupport::showAlert;
    MVSheetSupport::ExistingFileAsker asker_ =
        MVSheetSupport::existingFileAsker(QStringLiteral("file"));
    MVCSVFile::SpeedOf speedOf_;
};
