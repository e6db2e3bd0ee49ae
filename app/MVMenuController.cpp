#include "app/MVMenuController.h"

#include "app/MVMenuActions.h"
#include "app/MVMenuView.h"
#include "app/MVPopOverSettingsViewController.h"

#include "widgets/MVButton.h"

#include "session/MVGLDFileManager.h"
#include "session/MVOptionsAndSettings.h"
#include "session/ZORFileLog.h"

#include <QMessageBox>
#include <QPushButton>

MVMenuController::MVMenuController(MVGLDFileManager& manager, QObject* parent)
    : QObject(parent), manager_(manager) {}

MVMenuController::~MVMenuController() {
    if (popover_) delete popover_.data();
}

void MVMenuController::setMenuView(MVMenuView* view) {
    menuView_ = view;
    if (view) {
        for (MVButton* button : view->buttons()) {
            connect(button, &MVButton::clicked, this, [this, button] { buttonPressed(button); });
        }
    }
    if (MVOptionsAndSettings::sharedManager().isTrackSectionInVisible() && delegate_) {
        delegate_->showOrHideTrackWithSender(this);
    }
}

void MVMenuController::buttonPressed(MVButton* sender) {
    if (!menuView_ || !sender) return;
    const MVMenuView& v = *menuView_;
    // Disabled buttons never get here from a click; a call in code is refused the same way.
    if (!sender->isEnabled()) return;
    auto send = [this](void (MVMenuActions::*action)(QObject*)) {
        if (delegate_) (delegate_->*action)(this);
    };
    const char* line = nullptr;
    if (sender == v.buttonFile()) {
        send(&MVMenuActions::openNewFilePanelWithSender);
        line = "MenuController file button";
    } else if (sender == v.buttonCloseAll()) {
        closeAllSessions();
        line = "MenuController close all button";
    } else if (sender == v.buttonSD()) {
        send(&MVMenuActions::openFileTransferWizardWithSender);
        line = "MenuController SD button";
    } else if (sender == v.buttonCSV()) {
        send(&MVMenuActions::csvFileExportWithSender);
        line = "MenuController CSV button";
    } else if (sender == v.buttonPrevious()) {
        send(&MVMenuActions::moveLeftWithSender);
        line = "MenuController previous button";
    } else if (sender == v.buttonPlay()) {
        send(&MVMenuActions::playOrPauseWithSender);
        line = "MenuController play button";
    } else if (sender == v.buttonNext()) {
        send(&MVMenuActions::moveRightWithSender);
        line = "MenuController next button";
    } else if (sender == v.buttonTrack()) {
        send(&MVMenuActions::showOrHideTrackWithSender);
        line = "MenuController track button";
    } else if (sender == v.buttonDefault()) {
        send(&MVMenuActions::resetLayoutWithSender);
        line = "MenuController default layout button";
    } else if (sender == v.buttonSettings()) {
        showSettingsPopover(sender);
        line = "MenuController settings button";
    }
    if (line) ZORFileLog::writeToTextFile(line);
}

void MVMenuController::closeAllSessions() {
    // The buttons are disabled exactly while the logo shows, that is while no session is open:
    // then there is nothing to close and no question. One question at a time.
    if (!buttonsEnabled_ || closeAllAlert_) return;
    QWidget* window = menuView_ ? menuView_->window() : nullptr;
    auto* alert = new QMessageBox(window);
    alert->setIcon(QMessageBox::Warning);
    alert->setWindowTitle(QStringLiteral("Close all?"));
    alert->setText(QStringLiteral("Close all?"));
    alert->setInformativeText(QStringLiteral("This action will close all open sessions."));
    QPushButton* ok = alert->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    alert->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    alert->setDefaultButton(ok);
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    closeAllAlert_ = alert;
    connect(alert, &QMessageBox::finished, this, [this, alert, ok] {
        if (alert->clickedButton() != static_cast<QAbstractButton*>(ok)) return;
        // The manager's lists change on the loading queue only, after any load under way.
        MVGLDFileManager::loadingQueue().async([&manager = manager_] {
            if (!manager.gldFileNames().empty()) manager.removeAllData(true);
        });
    });
    alert->open();
}

void MVMenuController::showSettingsPopover(MVButton* button) {
    // Each press replaces the pop-over; only the newest one is followed.
    if (popover_) {
        popover_->disconnect(this);
        popover_->close();
        popover_->deleteLater();
    }
    auto* popover = new MVPopOverSettingsViewController(manager_, button->window());
    popover->setAttribute(Qt::WA_DeleteOnClose);
    popover_ = popover;
    connect(popover, &MVPopOverSettingsViewController::configurationIsSelectedChanged, this,
            [popover](bool selected) {
                if (selected) popover->close();
            });
    popover->showBelow(button);
}

void MVMenuController::enableButtons() {
    setButtonsEnabled(true);
}

void MVMenuController::disableButtons() {
    setButtonsEnabled(false);
}

void MVMenuController::setButtonsEnabled(bool enabled) {
    buttonsEnabled_ = enabled;
    if (!menuView_) return;
    const MVMenuView& v = *menuView_;
    for (MVButton* button :
         {v.buttonCloseAll(), v.buttonCSV(), v.buttonPrevious(), v.buttonPlay(), v.buttonNext(),
          v.buttonTrack(), v.buttonDefault(), v.buttonSettings()}) {
        button->setEnabled(enabled);
    }
}
