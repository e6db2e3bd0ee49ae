#pragma once

#include "app/MVSheets.h"

#include <QPointer>
#include <QString>

class QMessageBox;

// A sheet that is not built yet: a window-modal notice with its title and a line saying what it
// will offer, so that no command is a dead entry. Counts how often it was asked for.
class MVSheetNotice {
  public:
    MVSheetNotice(QString title, QString text) : title_(std::move(title)), text_(std::move(text)) {}
    void show(QWidget* window);
    bool isShown() const { return !box_.isNull() && shown_; }
    int requests() const { return requests_; }
    // The notice on screen, if any.
    QMessageBox* box() const { return box_.data(); }

  private:
    QString title_;
    QString text_;
    QPointer<QMessageBox> box_;
    bool shown_ = false;
    int requests_ = 0;
};

class MVFileTransferWizardStandIn final : public MVFileTransferWizardSheet {
  public:
    void showSheet(QWidget* window) override { notice_.show(window); }
    bool isPresented() const override { return notice_.isShown(); }
    const MVSheetNotice& notice() const { return notice_; }

  private:
    MVSheetNotice notice_{QStringLiteral("File transfer wizard"),
                          QStringLiteral("Importing sessions from a logger's card is not "
                                         "available in this version.")};
};

class MVCSVFileStandIn final : public MVCSVFileSheet {
  public:
    void showSheet(QWidget* window) override { notice_.show(window); }
    const MVSheetNotice& notice() const { return notice_; }

  private:
    MVSheetNotice notice_{QStringLiteral("Export to CSV file"),
                          QStringLiteral("Exporting laps to a CSV file is not available in this "
                                         "version.")};
};

class MVUpdateStandIn final : public MVUpdateSheet {
  public:
    void presentAsSheet(QWidget* window) override {
        if (!notice_.isShown()) notice_.show(window);
    }
    const MVSheetNotice& notice() const { return notice_; }

  private:
    MVSheetNotice notice_{QStringLiteral("Check for Updates"),
                          QStringLiteral("Updates of the program and of the circuit database "
                                         "are not available in this version.")};
};
