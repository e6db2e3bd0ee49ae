#pragma once

class MVZQViewController;
class QObject;

// The actions of the application delegate that the tool-button bar sends (the delegate forwards
// each to the main view controller, one of its pane controllers or a sheet). The sender is the
// bar's controller. Main thread only.
class MVMenuActions {
  public:
    virtual ~MVMenuActions() = default;

    // The main view controller announces itself before it sets up its controllers, so that an
    // action sent while it sets up (the track pane hidden again) already reaches it.
    virtual void connectViewController(MVZQViewController* viewController) = 0;

    virtual void openNewFilePanelWithSender(QObject* sender) = 0;
    virtual void openFileTransferWizardWithSender(QObject* sender) = 0;
    virtual void csvFileExportWithSender(QObject* sender) = 0;
    virtual void moveLeftWithSender(QObject* sender) = 0;
    virtual void playOrPauseWithSender(QObject* sender) = 0;
    virtual void moveRightWithSender(QObject* sender) = 0;
    virtual void showOrHideTrackWithSender(QObject* sender) = 0;
    virtual void resetLayoutWithSender(QObject* sender) = 0;
};
