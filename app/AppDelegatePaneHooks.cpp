// What the panes ask of the shell: the video pane's launch flag and its export sheet.
#include "app/AppDelegate.h"

#include "transfer/MVExportVideoWindowController.h"

#include <QMainWindow>

void AppDelegate::installPaneHooks() {
    MVVideoShellHooks& hooks = MVVideoShellHooks::shared();
    previousVideoHooks_ = hooks;
    // Through shared(): the hooks outlive no delegate, and a later delegate replaces them.
    hooks.isSessionLaunched = [] {
        const AppDelegate* delegate = shared();
        return delegate != nullptr && delegate->isSessionLaunched();
    };
    hooks.setIsSessionLaunched = [](bool launched) {
        if (AppDelegate* delegate = shared()) delegate->setIsSessionLaunched(launched);
    };
    hooks.showExportSheet = [](const MVLapPtr& lap) {
        if (AppDelegate* delegate = shared()) delegate->showExportVideoSheet(lap);
    };
}

MVExportVideoWindowController* AppDelegate::exportVideoSheet() const {
    return exportVideoSheet_.data();
}

void AppDelegate::showExportVideoSheet(const MVLapPtr& lap) {
    if (!lap) return;
    // A sheet still cutting keeps running to its end (its window-modality keeps the button
    // from being pressed meanwhile); an idle one is replaced.
    if (exportVideoSheet_ && !exportVideoSheet_->isExporting()) exportVideoSheet_->deleteLater();
    auto* sheet = new MVExportVideoWindowController(window_);
    sheet->setLap(lap);
    exportVideoSheet_ = sheet;
    sheet->showSheet();
}
