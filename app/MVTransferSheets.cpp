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
