#include "app/MVTransferSheets.h"

void MVCSVFileSheetAdapter::showSheet(QWidget* window) {
    if (!controller_ || controller_->parentWidget() != window) {
        controller_ = new MVCSVFileWindowController(window);
    }
    controller_->showSheet();
}

void MVUpdateSheetAdapter::presentAsSheet(QWidget* window) {
    if (!controller_ || controller_->parentWidget() != window) {
        controller_ = new DownloadViewController(window);
    }
    if (controller_->isVisible()) return;
    controller_->showSheet();
}

void MVFileTransferWizardSheetAdapter::showSheet(QWidget* window) {
    if (!controller_ || controller_->parentWidget() != window) {
        controller_ = new MVFileTransferWizardWindowController(window);
    }
    if (controller_->isPresented()) return;
    controller_->showSheet();
}
