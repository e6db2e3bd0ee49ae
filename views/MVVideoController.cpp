#include "views/MVVideoController.h"

#include "views/MVVideoFilmStackView.h"
#include "views/MVVideoFilmView.h"
#include "views/MVVideoShellHooks.h"
#include "views/MVVideoToolBarView.h"
#include "views/MVVideoView.h"

#include "widgets/MVButton.h"

#include "session/MVNotifications.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSynchronization.h"
#include "session/ZORFileLog.h"

#include "platform/NotificationCenter.h"

#include <QComboBox>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

MVVideoController::MVVideoController() {
    observeSyncTime();
    observeSyncIndexOfPosition();
    clickedToken_ = platform::NotificationCenter::defaultCenter().addObserver(
        MVNotificationVideoClicked, nullptr,
        [this](const platform::Notification&) { playOrPause(); });
}

MVVideoController::~MVVideoController() {
    referenceToken_.reset();
    reseekTimeTimer_.cancel();
    reseekPositionTimer_.cancel();
    fullScreenTimer_.cancel();
}

void MVVideoController::setVideoView(QWidget* view) {
    if (auto* pane = qobject_cast<MVVideoView*>(view); pane || !view) {
        videoView_ = pane;
        return;
    }
    auto* pane = view->findChild<MVVideoView*>(QString(), Qt::FindDirectChildrenOnly);
    if (!pane) {
        pane = new MVVideoView(view);
        auto* layout = view->layout() ? view->layout() : new QVBoxLayout(view);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(pane);
    }
    videoView_ = pane;
}

std::vector<MVVideoFilmView*> MVVideoController::films() const {
    if (!videoView_ || !videoView_->filmStackView()) return {};
    return videoView_->filmStackView()->arrayOfFilmViews();
}

// ---- Building ----

void MVVideoController::initSubviews() {
    removeSubviews();
    if (!videoView_) return;
    videoView_->setArrayOfSelectedLaps(arrayOfSelectedLaps());
    videoView_->initSubviews();
    setToolBarView(videoView_->toolBarView());
    for (MVVideoFilmView* film : films()) {
        if (!film->isReference()) continue;
        referenceFilm_ = film;
        referenceToken_ =
            film->observeCurrentTime([this](double, double now) { referenceTimeChanged(now); });
        break;
    }
}

void MVVideoController::removeSubviews() {
    referenceToken_.reset();
    referenceFilm_ = nullptr;
    if (videoView_) videoView_->removeSubviews();
}

void MVVideoController::setToolBarView(MVVideoToolBarView* toolBar) {
    toolBarView_ = toolBar;
    if (!toolBar) return;
    QObject::connect(toolBar->expandButton(), &QAbstractButton::clicked, &receiver_,
                     [this] { expandButtonPressed(); });
    QObject::connect(toolBar->exportButton(), &QAbstractButton::clicked, &receiver_,
                     [this] { exportButtonPressed(); });
    QObject::connect(toolBar->popUpButton(), &QComboBox::activated, &receiver_,
                     [this](int) { popUpButtonPressed(); });
    toolBar->exportButton()->setEnabled(exportAvailable());

    MVVideoShellHooks& hooks = MVVideoShellHooks::shared();
    if (MVOptionsAndSettings::sharedManager().isVideoFullScreen() && hooks.isSessionLaunched &&
        hooks.isSessionLaunched()) {
        if (hooks.setIsSessionLaunched) hooks.setIsSessionLaunched(false);
        fullScreenTimer_.start(kFullScreenDelay, false, platform::mainQueue(), [] {
            platform::NotificationCenter::defaultCenter().post(MVNotificationVideoFullScreen);
        });
    }
}

// The export needs the shell's sheet and a video file of the lap it exports (the last one).
bool MVVideoController::exportAvailable() const {
    if (!MVVideoShellHooks::shared().showExportSheet) return false;
    const std::vector<MVLapPtr> laps = arrayOfSelectedLaps();
    if (laps.empty() || !laps.back() || !laps.back()->videoURLs() ||
        laps.back()->videoURLs()->empty()) {
        return false;
    }
    std::error_code error;
    return std::filesystem::is_regular_file(laps.back()->videoURLs()->front(), error);
}

// ---- Tool bar ----

void MVVideoController::expandButtonPressed() {
    platform::NotificationCenter::defaultCenter().post(MVNotificationVideoFullScreen);
    ZORFileLog::writeToTextFile("VideoController expand button");
}

void MVVideoController::exportButtonPressed() {
    const std::vector<MVLapPtr> laps = arrayOfSelectedLaps();
    if (!exportAvailable() || laps.empty()) return;
    MVVideoShellHooks::shared().showExportSheet(laps.back());
    ZORFileLog::writeToTextFile("VideoController export button");
}

void MVVideoController::applyRate(int index) {
    for (MVVideoFilmView* film : films()) film->changeRate(kRates[static_cast<size_t>(index)]);
}

void MVVideoController::popUpButtonPressed() {
    if (!toolBarView_) return;
    const int index = toolBarView_->popUpButton()->currentIndex();
    if (index < 0 || index >= static_cast<int>(kRates.size())) return;
    applyRate(index);
    ZORFileLog::writeToTextFile("VideoController speed changed");
}

void MVVideoController::playFaster() {
    if (!toolBarView_) return;
    const int index = toolBarView_->popUpButton()->currentIndex();
    if (index >= static_cast<int>(kRates.size()) - 1) return;
    toolBarView_->popUpButton()->setCurrentIndex(index + 1);
    applyRate(index + 1);
}

void MVVideoController::playSlower() {
    if (!toolBarView_) return;
    const int index = toolBarView_->popUpButton()->currentIndex();
    if (index < 1) return;
    toolBarView_->popUpButton()->setCurrentIndex(index - 1);
    applyRate(index - 1);
}

// ---- Playing ----

void MVVideoController::playOrPause() {
    const std::vector<MVVideoFilmView*> all = films();
    const bool anyPlaying =
        std::any_of(all.begin(), all.end(), [](MVVideoFilmView* f) { return f->isPlaying(); });
    if (!anyPlaying) return play();
    // Positioning pauses: every film stops on the cursor's frame.
    if (MVOptionsAndSettings::sharedManager().is(MVXAxisMode::Time)) {
        updateVideoPositionForTimeBased();
    } else {
        updateVideoPositionForPositionBased();
    }
}

void MVVideoController::play() {
    for (MVVideoFilmView* film : films()) film->play();
}

void MVVideoController::pause() {
    for (MVVideoFilmView* film : films()) film->pause();
}

void MVVideoController::updateVideoPositionForTimeBased() {
    const double t = MVSynchronization::sharedManager().syncTime();
    for (MVVideoFilmView* film : films()) {
        const bool quarto = film->lap() && film->lap()->isQuarto();
        film->setPosition(quarto ? std::max(0.0, t - kQuartoOffset) : t);
    }
}

void MVVideoController::updateVideoPositionForPositionBased() {
    const double k = MVSynchronization::sharedManager().syncIndexOfPosition();
    for (MVVideoFilmView* film : films()) {
        if (film->lap()) film->setPosition(film->lap()->calculatePositionTimestamp(k));
    }
}

// ---- Following the cursor ----

void MVVideoController::observeSyncTime() {
    syncTimeToken_ = MVSynchronization::sharedManager().observeSyncTime([this](double, double) {
        reseekTimeTimer_.start(kReseekDelay, false, platform::mainQueue(),
                               [this] { updateVideoPositionForTimeBased(); });
    });
}

void MVVideoController::observeSyncIndexOfPosition() {
    syncIndexToken_ =
        MVSynchronization::sharedManager().observeSyncIndexOfPosition([this](double, double) {
            reseekPositionTimer_.start(kReseekDelay, false, platform::mainQueue(),
                                       [this] { updateVideoPositionForPositionBased(); });
        });
}

// The playing reference film moves the cursor; this controller does not hear its own write, so
// the playing films are not re-seeked, while every other pane follows.
void MVVideoController::referenceTimeChanged(double seconds) {
    MVSynchronization& sync = MVSynchronization::sharedManager();
    if (MVOptionsAndSettings::sharedManager().is(MVXAxisMode::Position)) {
        if (!referenceFilm_ || !referenceFilm_->lap()) return;
        const std::int64_t index = referenceFilm_->lap()->calculatePositionIndex(seconds);
        if (index < 0) return;  // no positions to place the time on
        syncIndexToken_.reset();
        sync.setSyncIndexOfPosition(static_cast<double>(index));
        observeSyncIndexOfPosition();
        // The other films play their own laps at their own pace: each is kept at the time its
        // lap passed the cursor's place.
        for (MVVideoFilmView* film : films()) {
            if (film == referenceFilm_ || !film->lap()) continue;
            film->keepUpWith(
                static_cast<float>(film->lap()->calculatePositionTimestamp(double(index))));
        }
        return;
    }
    syncTimeToken_.reset();
    sync.setSyncTime(seconds);
    observeSyncTime();
}
