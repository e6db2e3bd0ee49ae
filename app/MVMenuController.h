#pragma once

#include "app/MVPaneRecorder.h"

class QWidget;

// The tool-button bar's controller. Until the tool buttons exist it only keeps whether they are
// enabled: they are disabled while no session is open. Main thread only.
class MVMenuController : public MVPaneRecorder {
  public:
    void setMenuView(QWidget* view) { menuView_ = view; }
    QWidget* menuView() const { return menuView_; }

    void disableButtons();
    void enableButtons();
    bool buttonsEnabled() const { return buttonsEnabled_; }

  private:
    QWidget* menuView_ = nullptr;
    bool buttonsEnabled_ = false;
};
