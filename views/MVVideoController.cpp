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
    filmTokens_.clear();
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
    // Only the driving film reports its time; which one that is is known once the videos open.
    for (MVVideoFilmView* film : films()) {
        filmTokens_.push_back(film->observeCurrentTime(
            [this, film](double, double now) { referenceTimeChanged(film, now); }));
    }
    // Each film opens on the cursor's frame, not on its lap's start.
    positionFilms(nullptr);
}

void MVVideoController::removeSubviews() {
    filmTokens_.clear();
    if (videoView_) videoView_->removeSubviews();
}

MVVideoFilmView* MVVideoController::drivingFilm() const {
    const std::vector<MVVideoFilmView*> all = films();
    const auto reference =
        std::find_if(all.begin(), all.end(), [](MVVideoFilmView* f) { return f->isReference(); });
    if (reference != all.end() && (*reference)->hasVideo()) return *reference;
    for (MVVideoFilmView* film : all) {
        if (film->hasVideo()) return film;
    }
    return reference != all.end() ? *reference : nullptr;
}

void MVVideoController::handOverDriving() {
    MVVideoFilmView* driving = drivingFilm();
    for (MVVideoFilmView* film : films()) film->setDrivesCursor(film == driving);
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

namespace {
bool hasVideoFile(const MVLapPtr& lap) {
    if (!lap || !lap->videoURLs() || lap->videoURLs()->empty()) return false;
    std::error_code error;
    return std::filesystem::is_regular_file(lap->videoURLs()->front(), error);
}
}  // namespace

// The last lap (with two, the faster one); when it has no video, the last one that has.
MVLapPtr MVVideoController::exportLap() const {
    const std::vector<MVLapPtr> laps = arrayOfSelectedLaps();
    const auto withVideo = std::find_if(laps.rbegin(), laps.rend(), hasVideoFile);
    return withVideo != laps.rend() ? *withVideo : nullptr;
}

// The export needs the shell's sheet and a lap with a video file.
bool MVVideoController::exportAvailable() const {
    return MVVideoShellHooks::shared().showExportSheet && exportLap();
}

// ---- Tool bar ----

void MVVideoController::expandButtonPressed() {
    platform::NotificationCenter::defaultCenter().post(MVNotificationVideoFullScreen);
    ZORFileLog::writeToTextFile("VideoController expand button");
}

void MVVideoController::exportButtonPressed() {
    const MVLapPtr lap = exportLap();
    if (!lap || !MVVideoShellHooks::shared().showExportSheet) return;
    MVVideoShellHooks::shared().showExportSheet(lap);
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
    // The driving film rests on the picture it shows and the cursor moves there; positioning
    // pauses the others on the cursor's frame.
    MVVideoFilmView* driving = drivingFilm();
    if (const std::optional<double> shown =
            driving ? driving->pauseOnShownPicture() : std::nullopt) {
        writeCursor(*driving, *shown);
        positionFilms(driving);
        return;
    }
    positionFilms(nullptr);
}

void MVVideoController::positionFilms(const MVVideoFilmView* except) {
    const bool timeAxis = MVOptionsAndSettings::sharedManager().is(MVXAxisMode::Time);
    const double t = MVSynchronization::sharedManager().syncTime();
    const double k = MVSynchronization::sharedManager().syncIndexOfPosition();
    for (MVVideoFilmView* film : films()) {
        if (film == except || !film->lap()) continue;
        if (timeAxis) {
            film->setPosition(film->lap()->isQuarto() ? std::max(0.0, t - kQuartoOffset) : t);
        } else {
            film->setPosition(film->lap()->calculatePositionTimestamp(k));
        }
    }
}

void MVVideoController::play() {
    handOverDriving();
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

// The playing driving film moves the cursor; this controller does not hear its own write, so
// the playing films are not re-seeked, while every other pane follows.
void MVVideoController::referenceTimeChanged(MVVideoFilmView* film, double seconds) {
    if (!film->drivesCursor()) return;
    const std::optional<double> index = writeCursor(*film, seconds);
    if (!index || !MVOptionsAndSettings::sharedManager().is(MVXAxisMode::Position)) return;
    // The other films play their own laps at their own pace: each is kept at the time its lap
    // passed the cursor's place.
    for (MVVideoFilmView* other : films()) {
        if (other == film || !other->lap()) continue;
        other->keepUpWith(static_cast<float>(other->lap()->calculatePositionTimestamp(*index)));
    }
}

std::optional<double> MVVideoController::writeCursor(const MVVideoFilmView& film, double seconds) {
    MVSynchronization& sync = MVSynchronization::sharedManager();
    if (MVOptionsAndSettings::sharedManager().is(MVXAxisMode::Position)) {
        if (!film.lap()) return std::nullopt;
        const std::int64_t index = film.lap()->calculatePositionIndex(seconds);
        if (index < 0) return std::nullopt;  // no positions to place the time on
        syncIndexToken_.reset();
        sync.setSyncIndexOfPosition(static_cast<double>(index));
        observeSyncIndexOfPosition();
        return static_cast<double>(index);
    }
    syncTimeToken_.reset();
    sync.setSyncTime(seconds);
    observeSyncTime();
    return seconds;
}
