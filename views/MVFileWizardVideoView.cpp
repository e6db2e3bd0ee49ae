#include "views/MVFileWizardVideoView.h"

#include "views/MVVideoSurface.h"

#include "widgets/MVHelperColors.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

MVFileWizardVideoView::MVFileWizardVideoView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

MVFileWizardVideoView::~MVFileWizardVideoView() {
    clear();
}

void MVFileWizardVideoView::updateWithURLs(std::vector<std::filesystem::path> urls) {
    urls_ = std::move(urls);
    initSubviews();
}

void MVFileWizardVideoView::clear() {
    for (int file : {0, 1}) {
        if (players_[file]) players_[file]->stop();
        delete surfaces_[file];
        surfaces_[file] = nullptr;
        players_[file].reset();
        justInit_[file] = false;
    }
    activeFile_ = -1;
}

void MVFileWizardVideoView::initSubviews() {
    clear();
    std::error_code error;
    for (int file : {0, 1}) {
        if (urls_.size() > static_cast<size_t>(file) &&
            std::filesystem::is_regular_file(urls_[file], error)) {
            openFile(file, urls_[file]);
        }
    }
}

bool MVFileWizardVideoView::openFile(int file, const std::filesystem::path& path) {
    players_[file] = MVVideoPlayer::make();
    MVVideoPlayer::Callbacks callbacks;
    callbacks.parsed = [this, file](bool ok) { mediaDidFinishParsing(file, ok); };
    callbacks.stateChanged = [this, file](MVVideoPlayer::State s) { stateChanged(file, s); };
    callbacks.frameReady = [this, file] {
        if (surfaces_[file]) surfaces_[file]->update();
    };
    players_[file]->setCallbacks(std::move(callbacks));
    players_[file]->open(path, std::chrono::milliseconds(0));
    return true;
}

void MVFileWizardVideoView::mediaDidFinishParsing(int file, bool ok) {
    if (!ok) {
        players_[file].reset();
        return;
    }
    initVideoView(file);
    initPlayer(file);
}

void MVFileWizardVideoView::initVideoView(int file) {
    if (!surfaces_[file]) {
        surfaces_[file] = new MVVideoSurface(this);
        surfaces_[file]->setPlayer(players_[file].get());
        surfaces_[file]->setGeometry(rect());
    }
    surfaces_[file]->show();
    surfaces_[file]->raise();
    if (surfaces_[1 - file]) surfaces_[1 - file]->hide();
    activeFile_ = file;
}

void MVFileWizardVideoView::initPlayer(int file) {
    justInit_[file] = true;
    players_[file]->play();
    // The second file waits hidden behind the first, unless there is no first file to show.
    if (file == 1 && players_[0]) {
        surfaces_[1]->hide();
        if (surfaces_[0]) {
            surfaces_[0]->show();
            activeFile_ = 0;
        }
    }
}

void MVFileWizardVideoView::readyToPlayAt(int file, std::int64_t ms) {
    if (!players_[file]) return;
    players_[file]->pause();
    players_[file]->setTime(ms);
}

void MVFileWizardVideoView::stateChanged(int file, MVVideoPlayer::State state) {
    MVVideoPlayer* p = players_[file].get();
    if (!p) return;
    if (state == MVVideoPlayer::Playing && justInit_[file]) {
        readyToPlayAt(file, 0);  // rests on its first picture
        justInit_[file] = false;
        return;
    }
    if (file == 0 && players_[1] && surfaces_[1] && state == MVVideoPlayer::Ended) {
        readyToPlayAt(0, 0);
        initVideoView(1);
        readyToPlayAt(1, 0);
        players_[1]->play();
    }
}

MVVideoPlayer* MVFileWizardVideoView::activeMediaPlayer() const {
    return activeFile_ >= 0 ? players_[activeFile_].get() : nullptr;
}

int MVFileWizardVideoView::activeFile() const {
    return activeFile_;
}

MVVideoPlayer* MVFileWizardVideoView::player(int file) const {
    return file == 0 || file == 1 ? players_[file].get() : nullptr;
}

MVVideoSurface* MVFileWizardVideoView::surface(int file) const {
    return file == 0 || file == 1 ? surfaces_[file] : nullptr;
}

void MVFileWizardVideoView::play() {
    MVVideoPlayer* p = activeMediaPlayer();
    if (p && !p->isPlaying()) p->play();
}

void MVFileWizardVideoView::pause() {
    MVVideoPlayer* p = activeMediaPlayer();
    if (p && p->isPlaying()) p->pause();
}

bool MVFileWizardVideoView::isPlaying() const {
    const MVVideoPlayer* p = activeMediaPlayer();
    return p && p->isPlaying();
}

void MVFileWizardVideoView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (isPlaying()) {
        pause();
    } else {
        play();
    }
}

void MVFileWizardVideoView::resizeEvent(QResizeEvent*) {
    for (MVVideoSurface* s : surfaces_) {
        if (s) s->setGeometry(rect());
    }
}

void MVFileWizardVideoView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), MVHelper::Gui::BackgoundColor());
}
