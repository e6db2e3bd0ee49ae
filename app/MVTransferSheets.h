#pragma once

#include "app/MVSheets.h"

#include "transfer/DownloadViewController.h"
#include "transfer/MVCSVFileWindowController.h"
#include "transfer/MVFileTransferWizardWindowController.h"

#include <QPointer>

// The real card-import wizard, CSV export and update sheets behind the delegate's sheet interfaces.
// Each makes its dialog on first use, as a child of the window it is shown on, and keeps it for the
// run (the window owns it). Main thread only.

class MVCSVFileSheetAdapter final : public MVCSVFileSheet {
  public:
    void showSheet(QWidget* window) override;
    MVCSVFileWindowController* controller() const { return controller_.data(); }

  private:
    QPointer<MVCSVFileWindowController> controller_;
};

class MVUpdateSheetAdapter final : public MVUpdateSheet {
  public:
    // A request while the sheet shows changes nothing (its versions are not asked again).
    void presentAsSheet(QWidget* window) override;
    DownloadViewController* controller() const { return controller_.data(); }

  private:
    QPointer<DownloadViewController> controller_;
};

class MVFileTransferWizardSheetAdapter final : public MVFileTransferWizardSheet {
  public:
    void showSheet(QWidget* window) override;
    bool isPresented() const override { return controller_ && controller_->isPresented(); }
    MVFileTransferWizardWindowController* controller() const { return controller_.data(); }

  private:
    QPointer<MVFileTransferWizardWindowController> controller_;
};
