#include "views/MVVideoFilmView.h"

#include "views/MVVideoSurface.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTextField.h"

#include "session/MVGLDFileManager.h"
#include "session/MVHelperKeys.h"
#include "session/MVNotifications.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSampleValues.h"
#include "session/MVSynchronization.h"

#include "platform/NotificationCenter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace {

constexpr int kBorder = 2;

MVVideoFilmView::VideoTimeLookup& lookupSlot() {
    static MVVideoFilmView::VideoTimeLookup lookup;
    return lookup;
}

// The video time at the cursor's own moment, between the sample at or before it and the next.
double sharedSessionVideoTime(const MVLap& lap, double sessionTime) {
    const MVSampleValues values(MVGLDFileManager::sharedManager());
    const std::int64_t index = values.indexOfSamplesFromTimestamp(lap, sessionTime);
    const std::string& video = MVHelper::Key_VideoSyncTime();
    const std::string& time = MVHelper::Key_Time();
    return MVVideoTimeMapping::videoTimeBetween(
        sessionTime, values.floatValueWithSamplesIndex(index, time, &lap),
        values.floatValueWithSamplesIndex(index, video, &lap),
        values.floatValueWithSamplesIndex(index + 1, time, &lap),
        values.floatValueWithSamplesIndex(index + 1, video, &lap));
}

bool isFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

MVVideoFilmView::VideoTimeLookup MVVideoFilmView::setVideoTimeLookup(VideoTimeLookup lookup) {
    return std::exchange(lookupSlot(), std::move(lookup));
}

MVVideoFilmView::MVVideoFilmView(MVLapPtr lap, const QColor& borderColor, bool isReference,
                                 QWidget* parent)
    : QWidget(parent),
      lap_(std::move(lap)),
      borderColor_(borderColor),
      isReference_(isReference),
      drivesCursor_(isReference) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    openTimer_.start(kOpenDelay, false, platform::mainQueue(), [this] { openFiles(); });
}

MVVideoFilmView::~MVVideoFilmView() {
    openTimer_.cancel();
    for (auto& player : players_) {
        if (player) player->stop();
    }
}

MVVideoPlayer* MVVideoFilmView::player(int file) const {
    return file == 0 || file == 1 ? players_[file].get() : nullptr;
}

MVVideoSurface* MVVideoFilmView::surface(int file) const {
    return file == 0 || file == 1 ? surfaces_[file] : nullptr;
}

// ---- Opening ----

void MVVideoFilmView::openFiles() {
    dropPlayer(0);
    dropPlayer(1);
    activeFile_ = 0;
    didParsed_ = false;
    justLanched_ = false;
    const auto& urls = lap_ ? lap_->videoURLs() : std::nullopt;
    if (!urls || urls->empty() || !openFile(0, urls->front())) {
        showNoVideoMessage();
        return;
    }
    if (urls->size() > 1 && !openFile(1, (*urls)[1])) showNoVideoMessage();
}

bool MVVideoFilmView::openFile(int file, const std::filesystem::path& path) {
    if (!isFile(path)) return false;
    players_[file] = MVVideoPlayer::make();
    MVVideoPlayer::Callbacks callbacks;
    callbacks.parsed = [this, file](bool ok) { mediaDidFinishParsing(file, ok); };
    callbacks.timeChanged = [this, file](std::int64_t ms) { timeChanged(file, ms); };
    callbacks.stateChanged = [this, file](MVVideoPlayer::State s) { stateChanged(file, s); };
    callbacks.frameReady = [this, file] { pictureShown(file); };
    players_[file]->setCallbacks(std::move(callbacks));
    parsePending_[file] = true;
    players_[file]->open(path, kParseLimit);
    return true;
}

void MVVideoFilmView::mediaDidFinishParsing(int file, bool ok) {
    if (!parsePending_[file]) return;
    parsePending_[file] = false;
    if (!ok) {
        if (file == 0) dropPlayer(1);
        dropPlayer(file);
        showNoVideoMessage();
        return;
    }
    if (file == 0 || activeFile_ == 1) initVideoView(file);
    initPlayer(file);
    didParsed_ = true;
    justLanched_ = true;
    updatePosition(positionToRemember_);
}

void MVVideoFilmView::initVideoView(int file) {
    if (!surfaces_[file]) {
        surfaces_[file] = new MVVideoSurface(this);
        surfaces_[file]->setPlayer(players_[file].get());
    } else if (file != activeFile_) {
        // The file's last picture is of another moment: black until its own comes.
        surfaces_[file]->blankUntilNextPicture();
    }
    if (surfaces_[1 - file]) surfaces_[1 - file]->hide();
    surfaces_[file]->show();
    activeFile_ = file;
    layoutChildren();
    updateNoVideoMessage();
}

void MVVideoFilmView::initPlayer(int file) {
    MVVideoPlayer& player = *players_[file];
    player.setMuted(true);
    player.play();
    if (file == 1 && activeFile_ != 1 && surfaces_[1]) surfaces_[1]->hide();
}

void MVVideoFilmView::dropPlayer(int file) {
    if (surfaces_[file]) {
        delete surfaces_[file];
        surfaces_[file] = nullptr;
    }
    if (players_[file]) {
        players_[file]->stop();
        players_[file].reset();
    }
    parsePending_[file] = false;
    if (file == 1 && activeFile_ == 1) activeFile_ = 0;
}

void MVVideoFilmView::showNoVideoMessage() {
    noVideo_ = true;
    updateNoVideoMessage();
}

void MVVideoFilmView::updateNoVideoMessage() {
    const MVVideoPlayer* active = activeMediaPlayer();
    const bool shown = noVideo_ || (active && active->hasNoReadablePicture());
    if (shown == isShowingNoVideoMessage()) return;
    if (!noVideoLabel_) {
        noVideoLabel_ = new MVTextField(this);
        noVideoLabel_->setText(QString::fromUtf8(kNoVideoText));
        noVideoLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    noVideoLabel_->setVisible(shown);
    layoutChildren();
}

bool MVVideoFilmView::isShowingNoVideoMessage() const {
    return noVideoLabel_ && !noVideoLabel_->isHidden();
}

// ---- Playing ----

std::int64_t MVVideoFilmView::lengthOf(int file) const {
    return players_[file] && !parsePending_[file] ? players_[file]->length() : 0;
}

void MVVideoFilmView::forEachPlayer(const std::function<void(MVVideoPlayer&)>& f) {
    for (auto& player : players_) {
        if (player) f(*player);
    }
}

bool MVVideoFilmView::isPlaying() const {
    const MVVideoPlayer* active = activeMediaPlayer();
    return active && active->isPlaying();
}

void MVVideoFilmView::play() {
    MVVideoPlayer* active = activeMediaPlayer();
    if (!active || !didParsed_ || active->isPlaying()) return;
    justLanched_ = false;  // the user's play is never taken for the opening's
    active->setMuted(false);
    active->play();
}

void MVVideoFilmView::pause() {
    MVVideoPlayer* active = activeMediaPlayer();
    if (active && active->isPlaying()) active->pause();
}

std::optional<double> MVVideoFilmView::pauseOnShownPicture() {
    MVVideoPlayer* active = activeMediaPlayer();
    if (!active || !didParsed_ || !active->isPlaying()) return std::nullopt;
    const std::optional<double> shown = shownLapTime();
    const std::int64_t ms = active->time();
    forEachPlayer([](MVVideoPlayer& p) {
        if (p.isPlaying()) p.pause();
    });
    if (appliedRate_ != baseRate_) applyRate(baseRate_);
    active->setTime(ms);
    if (shown) {
        positionToRemember_ = *shown;
        currentTime_.setWithoutNotifying(*shown);
    }
    return shown;
}

void MVVideoFilmView::setPosition(double seconds) {
    positionToRemember_ = seconds;
    if (didParsed_) updatePosition(seconds);
}

void MVVideoFilmView::updatePosition(double seconds) {
    forEachPlayer([](MVVideoPlayer& p) {
        if (p.isPlaying()) p.pause();
    });
    if (appliedRate_ != baseRate_) applyRate(baseRate_);
    seek(seconds);
}

void MVVideoFilmView::seek(double seconds) {
    if (!lap_) return;
    const VideoTimeLookup& custom = lookupSlot();
    const MVLap& lap = *lap_;
    auto lookup = [&](double sessionTime) {
        return custom ? custom(lap, sessionTime) : sharedSessionVideoTime(lap, sessionTime);
    };
    const auto target = MVVideoTimeMapping::targetForLapTime(
        MVVideoTimeMapping::lapFacts(lap), seconds, lookup, lengthOf(0), lengthOf(1));
    if (!target || !players_[target->file]) return;
    if (target->file != activeFile_) initVideoView(target->file);
    players_[target->file]->setTime(target->ms);
    // The film follows the cursor here: what it shows is noted without telling the observers,
    // who would otherwise write the cursor back.
    currentTime_.setWithoutNotifying(seconds);
}

void MVVideoFilmView::readyToPlayAt(int file, std::int64_t ms) {
    MVVideoPlayer* p = player(file);
    if (!p) return;
    if (p->isPlaying()) p->pause();
    p->setTime(ms);
}

void MVVideoFilmView::timeChanged(int file, std::int64_t ms) {
    MVVideoPlayer* p = players_[file].get();
    if (!p) return;
    if (file != activeFile_) {
        if (p->isPlaying()) p->pause();
        return;
    }
    endLaunch();
    if (!lap_) return;
    const auto report = MVVideoTimeMapping::reportForTime(MVVideoTimeMapping::lapFacts(*lap_), file,
                                                          ms, lengthOf(0));
    if (report.holdMs) readyToPlayAt(file, *report.holdMs);
    if (!drivesCursor_) return;
    if (report.lapSeconds) setCurrentTime(*report.lapSeconds);
}

// A freshly opened film rests on a still frame: its first time report, or the picture of the
// opening's seek, pauses it and ends the opening.
void MVVideoFilmView::endLaunch() {
    if (!didParsed_ || !justLanched_) return;
    pause();
    justLanched_ = false;
}

void MVVideoFilmView::pictureShown(int file) {
    MVVideoPlayer* p = players_[file].get();
    if (surfaces_[file]) {
        if (p && !p->isSeeking()) {
            surfaces_[file]->pictureArrived();
        } else {
            surfaces_[file]->update();
        }
    }
    if (file != activeFile_ || !p) return;
    updateNoVideoMessage();
    if (!p->isSeeking()) endLaunch();
    // Between the engine's time reports the cursor follows each new picture, at the player's
    // running time.
    if (drivesCursor_ && p->isPlaying()) {
        if (const std::optional<double> shown = shownLapTime()) setCurrentTime(*shown);
    }
}

void MVVideoFilmView::stateChanged(int file, MVVideoPlayer::State state) {
    MVVideoPlayer* p = players_[file].get();
    if (!p) return;
    if (file != activeFile_) {
        if (p->isPlaying()) p->pause();
        return;
    }
    if (file == 0 && hasSecondMedia() && !parsePending_[1] && state == MVVideoPlayer::Ended) {
        readyToPlayAt(0, 0);
        initVideoView(1);
        readyToPlayAt(1, 0);
        players_[1]->play();
    }
}

// ---- Picture ----

void MVVideoFilmView::changeRate(float rate) {
    baseRate_ = rate;
    applyRate(rate);
}

void MVVideoFilmView::applyRate(float rate) {
    appliedRate_ = rate;
    forEachPlayer([rate](MVVideoPlayer& p) { p.setRate(rate); });
}

std::optional<double> MVVideoFilmView::shownLapTime() const {
    const MVVideoPlayer* active = activeMediaPlayer();
    if (!lap_ || !active || !didParsed_) return std::nullopt;
    return MVVideoTimeMapping::reportForTime(MVVideoTimeMapping::lapFacts(*lap_), activeFile_,
                                             active->time(), lengthOf(0))
        .lapSeconds;
}

// Small gaps are closed by playing a little faster or slower for a while (a seek would make the
// picture jump); a gap too large for that is closed by a seek that plays on.
void MVVideoFilmView::keepUpWith(double seconds) {
    if (!isPlaying()) return;
    const std::optional<double> shown = shownLapTime();
    if (!shown) return;
    const double gap = seconds - *shown;
    if (std::abs(gap) > kKeepUpSeekGap) {
        applyRate(baseRate_);
        const int before = activeFile_;
        seek(seconds);
        if (activeFile_ != before) {  // on into the other file
            if (players_[before]) players_[before]->pause();
            activeMediaPlayer()->play();
        }
        return;
    }
    float rate = appliedRate_;
    if (std::abs(gap) > kKeepUpGap) {
        const double change = std::clamp(gap / kKeepUpHorizon, -kKeepUpChange, kKeepUpChange);
        rate = static_cast<float>(baseRate_ * (1.0 + change));
    } else if (std::abs(gap) < kKeepUpGap / 3) {
        rate = baseRate_;
    }
    if (std::abs(rate - appliedRate_) > 0.005f * baseRate_) applyRate(rate);
}
void MVVideoFilmView::changeContrast(float v) {
    forEachPlayer([v](MVVideoPlayer& p) { p.setContrast(v); });
}
void MVVideoFilmView::changeBrightness(float v) {
    forEachPlayer([v](MVVideoPlayer& p) { p.setBrightness(v); });
}
void MVVideoFilmView::changeHue(float v) {
    forEachPlayer([v](MVVideoPlayer& p) { p.setHue(v); });
}
void MVVideoFilmView::changeSaturation(float v) {
    forEachPlayer([v](MVVideoPlayer& p) { p.setSaturation(v); });
}
void MVVideoFilmView::changeGama(float v) {
    forEachPlayer([v](MVVideoPlayer& p) { p.setGamma(v); });
}
void MVVideoFilmView::defaultVideoSettings() {
    changeContrast(1);
    changeBrightness(1);
    changeHue(0);
    changeSaturation(1);
    changeGama(1);
    changeRate(1);
}

// ---- View ----

void MVVideoFilmView::layoutChildren() {
    const QRect inner = rect().adjusted(kBorder, kBorder, -kBorder, -kBorder);
    for (MVVideoSurface* s : surfaces_) {
        if (s) s->setGeometry(inner);
    }
    if (noVideoLabel_) {
        noVideoLabel_->setGeometry(inner);
        noVideoLabel_->raise();
    }
}

void MVVideoFilmView::resizeEvent(QResizeEvent*) {
    layoutChildren();
}

void MVVideoFilmView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), MVHelper::Gui::BackgoundColor());
    // The frame: four 2-point lines along the edges, in the lap's colour.
    painter.fillRect(QRect(0, 0, width(), kBorder), borderColor_);
    painter.fillRect(QRect(0, height() - kBorder, width(), kBorder), borderColor_);
    painter.fillRect(QRect(0, 0, kBorder, height()), borderColor_);
    painter.fillRect(QRect(width() - kBorder, 0, kBorder, height()), borderColor_);
}

void MVVideoFilmView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        platform::NotificationCenter::defaultCenter().post(MVNotificationVideoClicked);
    }
}

void MVVideoFilmView::wheelEvent(QWheelEvent* event) {
    // The moving part of a gesture, or a plain wheel step; never momentum or begin/end.
    const Qt::ScrollPhase phase = event->phase();
    if (phase != Qt::ScrollUpdate && phase != Qt::NoScrollPhase) return;
    const MVVideoPlayer* active = activeMediaPlayer();
    if (active && active->isPlaying()) return;
    const double delta =
        event->pixelDelta().x() != 0 ? event->pixelDelta().x() : event->angleDelta().x();
    scrub(delta);
    event->accept();
}

void MVVideoFilmView::scrub(double delta) {
    if (delta == 0 || !lap_) return;
    MVSynchronization& sync = MVSynchronization::sharedManager();
    if (MVOptionsAndSettings::sharedManager().is(MVXAxisMode::Time)) {
        const double t = sync.syncTime() + (delta < 0 ? 0.1 : -0.1);
        sync.setSyncTime(std::clamp(t, 0.0, std::max(0.0, lap_->duration())));
        return;
    }
    const double n = lap_->positionIndexes() ? double(lap_->positionIndexes()->count()) : 0.0;
    const double k = sync.syncIndexOfPosition() + (delta < 0 ? 0.5 : -0.5);
    sync.setSyncIndexOfPosition(std::clamp(k, 0.0, std::max(0.0, n - 1)));
}
