#pragma once

#include "app/MVPopOverSettingsViewController.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

class MVButton;
class MVGLDFileManager;
class MVMenuActions;
class MVMenuView;

// The tool-button bar's controller: receives the presses of the bar's ten buttons, passes most
// of them to the application delegate's actions, asks before closing all sessions and opens the
// settings pop-over below the Settings button. Each press writes one "MenuController ... button"
// line to the diagnostic log after its action. Main thread only.
class MVMenuController : public QObject {
    Q_OBJECT
  public:
    explicit MVMenuController(MVGLDFileManager& manager, QObject* parent = nullptr);
    ~MVMenuController() override;

    // Where the presses go; none: presses that need the delegate do nothing.
    void setDelegate(MVMenuActions* delegate) { delegate_ = delegate; }
    MVMenuActions* delegate() const { return delegate_; }

    // Takes the bar and becomes the receiver of its presses. When the options say the track
    // pane is hidden, sends the delegate the Track button's action once, so that a pane stored
    // as hidden is hidden again.
    void setMenuView(MVMenuView* view);
    MVMenuView* menuView() const { return menuView_; }

    // The press of one of the bar's buttons; another sender does nothing.
    void buttonPressed(MVButton* sender);

    // "Close all?" as a window-modal alert over the bar's window; OK removes every session.
    // With no session open nothing is asked.
    void closeAllSessions();

    // Enable or disable the eight buttons that need a session; File and SD stay enabled.
    void enableButtons();
    void disableButtons();

    // The pop-over shown last, while it is open.
    MVPopOverSettingsViewController* popover() const { return popover_.data(); }

    // For tests:
    // The alert while it is up.
    QMessageBox* closeAllAlert() const { return closeAllAlert_.data(); }
    bool buttonsEnabled() const { return buttonsEnabled_; }

  private:
    void showSettingsPopover(MVButton* button);
    void setButtonsEnabled(bool enabled);

    MVGLDFileManager& manager_;
    MVMenuActions* delegate_ = nullptr;
    MVMenuView* menuView_ = nullptr;
    QPointer<MVPopOverSettingsViewController> popover_;
    QPointer<QMessageBox> closeAllAlert_;
    bool buttonsEnabled_ = true;
};
