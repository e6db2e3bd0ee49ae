#pragma once

class QWidget;

// The sheets that the application delegate owns and the menu and tool-bar actions open: the
// card-import wizard, the CSV export and the update sheet. Each is shown window-modal on the
// main window. The program installs its sheets at start-up; until a sheet is built, a plain
// notice stands in for it (MVSheetStandIns.h). Main thread only.

class MVFileTransferWizardSheet {
  public:
    virtual ~MVFileTransferWizardSheet() = default;
    // Shows the wizard as a sheet of `window`; isPresented() is true until it closes.
    virtual void showSheet(QWidget* window) = 0;
    virtual bool isPresented() const = 0;
};

class MVCSVFileSheet {
  public:
    virtual ~MVCSVFileSheet() = default;
    virtual void showSheet(QWidget* window) = 0;
};

// The update sheet: one object for the whole run.
class MVUpdateSheet {
  public:
    virtual ~MVUpdateSheet() = default;
    // Presents the sheet on `window` (a second request while it shows changes nothing).
    virtual void presentAsSheet(QWidget* window) = 0;
};
