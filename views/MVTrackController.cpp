#include "views/MVTrackController.h"

#include "views/MVPopOverAvailableTracksViewController.h"
#include "views/MVTrackMapView.h"
#include "views/MVTrackToolBarView.h"
#include "views/MVTrackView.h"

#include "widgets/MVButton.h"

#include "session/MVHelperKeys.h"
#include "session/MVNotifications.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSynchronization.h"
#include "session/ZORFileLog.h"

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cmath>

MVTrackController::MVTrackController(MVGLDFileManager& manager)
    : MVTrackController(manager, MVOptionsAndSettings::sharedManager(),
                        MVSynchronization::sharedManager(), platform::UserDefaults::standard()) {}

MVTrackController::MVTrackController(MVGLDFileManager& manager, MVOptionsAndSettings& options,
                                     MVSynchronization& cursor, platform::UserDefaults& defaults)
    : manager_(manager), options_(options), cursor_(cursor), defaults_(defaults) {
    setUp();
}

MVTrackController::~MVTrackController() {
    checkSFLineTimer_.cancel();
    lockRestoreTimer_.cancel();
    delete wizard_.data();
    delete chooser_.data();
}

void MVTrackController::setUp() {
    timeObservation_ = cursor_.observeSyncTime([this](double, double value) {
        if (MVTrackMapView* map = trackMapView()) map->updatePositionWithTime(value);
    });
    positionObservation_ = cursor_.observeSyncIndexOfPosition([this](double, double value) {
        if (MVTrackMapView* map = trackMapView()) map->updatePositionWithPosition(value);
    });
}

void MVTrackController::setTrackView(QWidget* host) {
    if (host == nullptr) return;
    trackView_ = new MVTrackView(manager_, host);
    if (host->layout() == nullptr) {
        auto* fill = new QVBoxLayout(host);
        fill->setContentsMargins(0, 0, 0, 0);
    }
    host->layout()->addWidget(trackView_);
    trackView_->show();
    host->layout()->activate();
}

MVTrackView* MVTrackController::trackView() const {
    return trackView_;
}

MVTrackWizardWindowController* MVTrackController::wizardWindowController() const {
    return wizard_;
}

MVPopOverAvailableTracksViewController* MVTrackController::chooser() const {
    return chooser_;
}

MVTrackToolBarView* MVTrackController::toolBarView() const {
    return toolBarView_;
}

MVTrackMapView* MVTrackController::trackMapView() const {
    return trackMapView_;
}

void MVTrackController::restoreBorderIfSameGate() {
    const MVTrackInfoPtr current = trackInfo();
    if (!tempTrackInfo_ || !current) return;
    const MVPreviousNextLocationPtr& kept = tempTrackInfo_->sfLocations();
    const MVPreviousNextLocationPtr& now = current->sfLocations();
    bool same = !kept && !now;
    if (kept && now) {
        const MVLocation& a = *kept->previousLocation();
        const MVLocation& b = *now->previousLocation();
        same = std::fabs(a.longitude() - b.longitude()) < 0.1 &&
               std::fabs(a.latitude() - b.latitude()) < 0.1;
    }
    if (same && tempBorderArray_) {
        setTrackBorderArray(*tempBorderArray_);
    } else {
        tempBorderArray_.reset();
        tempTrackInfo_.reset();
    }
}

void MVTrackController::initSubviews() {
    removeSubviews();
    if (!trackView_) return;
    restoreBorderIfSameGate();
    const MVLapPtr best = bestLap();
    const MVLapPtr whole = wholeLap();
    trackView_->setBestMap(best ? best->map() : nullptr);
    trackView_->setWholeMap(whole ? whole->map() : nullptr);
    trackView_->setTrackBorderArray(trackBorderArray());
    trackView_->setArrayOfSelectedLaps(arrayOfSelectedLaps());
    trackView_->initSubviews();
    trackMapView_ = trackView_->trackMapView();
    trackMapView_->layoutSubtreeIfNeeded();
    setToolBarView(trackView_->toolBarView());
    checkSFLineTimer_.start(std::chrono::milliseconds(500), false, platform::mainQueue(),
                            [this] { checkSFLine(); });
}

void MVTrackController::setToolBarView(MVTrackToolBarView* toolBar) {
    toolBarView_ = toolBar;
    for (MVButton* button :
         {toolBar->expandButton(), toolBar->defaultButton(), toolBar->sectorFlagButton(),
          toolBar->lockButton(), toolBar->editButton(), toolBar->wizardButton()}) {
        QObject::connect(button, &MVButton::clicked, button,
                         [this, button] { buttonPressed(button); });
    }
    const bool routeFlag = options_.trackRouteFlag();
    trackMapView_->setSectorFlag(routeFlag);
    toolBar->sectorFlagButton()->setChecked(routeFlag);
    toolBar->lockButton()->setChecked(options_.trackLockFlag());
    QPointer<MVTrackMapView> meantFor = trackMapView_;
    lockRestoreTimer_.start(std::chrono::seconds(1), false, platform::mainQueue(),
                            [this, meantFor] {
                                if (meantFor && meantFor == trackMapView_)
                                    meantFor->setLocked(options_.trackLockFlag());
                            });
}

void MVTrackController::updateTrackViewBySelectedLaps() {
    if (MVTrackMapView* map = trackMapView()) {
        map->updateTrackMapWithArrayOfSelectedLaps(arrayOfSelectedLaps());
    }
}

void MVTrackController::updateTrackViewByTrackBoarderArray() {
    const std::vector<MV2DSegmentPtr> border = trackBorderArray();
    if (MVTrackMapView* map = trackMapView()) map->updateTrackMapWithTrackBorderArray(border);
    tempBorderArray_ = border;
    const MVTrackInfoPtr track = trackInfo();
    tempTrackInfo_ = track ? track->copy() : nullptr;
}

void MVTrackController::removeSubviews() {
    checkSFLineTimer_.cancel();
    lockRestoreTimer_.cancel();
    if (trackView_) trackView_->removeSubviews();
}

void MVTrackController::resetTrackMap() {
    if (MVTrackMapView* map = trackMapView()) map->resetTrack();
}

void MVTrackController::lockOrUnlockMapFromButtonClick(bool fromButton) {
    MVTrackMapView* map = trackMapView();
    if (map == nullptr) return;
    const bool locked = !map->locked();
    map->setLocked(locked);
    options_.setTrackLockFlag(locked);
    defaults_.setBool(MVHelper::Default_TrackLockFlag(), locked);
    if (!fromButton && toolBarView_) toolBarView_->lockButton()->setChecked(locked);
}

void MVTrackController::buttonPressed(QObject* sender) {
    MVTrackToolBarView* bar = toolBarView_;
    if (bar == nullptr || sender == nullptr) return;
    if (sender == bar->expandButton()) {
        ZORFileLog::writeToTextFile("TrackController expand button");
        platform::NotificationCenter::defaultCenter().post(MVNotificationTrackMapFullScreen);
    } else if (sender == bar->defaultButton()) {
        ZORFileLog::writeToTextFile("TrackController default button");
        resetTrackMap();
    } else if (sender == bar->sectorFlagButton()) {
        ZORFileLog::writeToTextFile("TrackController paint button");
        if (MVTrackMapView* map = trackMapView()) {
            const bool flag = !map->sectorFlag();
            map->setSectorFlag(flag);
            options_.setTrackRouteFlag(flag);
            defaults_.setBool(MVHelper::Default_TrackRouteFlag(), flag);
        }
    } else if (sender == bar->lockButton()) {
        ZORFileLog::writeToTextFile("TrackController lock button");
        lockOrUnlockMapFromButtonClick(true);
    } else if (sender == bar->editButton()) {
        ZORFileLog::writeToTextFile("TrackController list button");
        openChooser();
    } else if (sender == bar->wizardButton()) {
        ZORFileLog::writeToTextFile("TrackController map edit button");
        openWizard();
    }
}

void MVTrackController::openChooser() {
    if (chooser_) chooser_->deleteLater();
    chooser_ = new MVPopOverAvailableTracksViewController(trackView_);
    chooser_->setArrayOfTracks(availableTracks());
    chooser_->showRelativeTo(toolBarView_ ? toolBarView_->editButton() : nullptr);
}

void MVTrackController::openWizard() {
    if (wizard_) wizard_->deleteLater();
    QWidget* window = trackView_ ? trackView_->window() : nullptr;
    wizard_ = new MVTrackWizardWindowController(bestLap(), wholeLap(), trackBorderArray(),
                                                trackInfo(), manager_, options_, window);
    wizard_->setDelegate(this);
    wizard_->showSheet();
}

void MVTrackController::checkSFLine() {
    const std::vector<MVLapsPtr>& sessions = manager_.arrayOfMVLaps();
    if (sessions.empty() || !sessions.front()) return;
    if (sessions.front()->data().empty()) openWizard();
}

// The wizard's gates cut the sessions again, on the loading queue. When the recut finds laps
// where there were none, the manager's display rule (settleDisplayMode) returns the display to the
// laps at the end of the re-parse.
void MVTrackController::chosenTrackIno(MVTrackInfoPtr record) {
    if (!record) return;
    MVGLDFileManager* manager = &manager_;
    MVGLDFileManager::loadingQueue().async([manager, record] { manager->setTrackInfo(record); });
}
