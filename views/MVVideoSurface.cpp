#include "views/MVVideoSurface.h"

#include "views/MVVideoPlayer.h"

#include "widgets/MVHelperColors.h"

#include <QPainter>

MVVideoSurface::MVVideoSurface(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Clicks and scrolls belong to the film or preview holding the surface.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void MVVideoSurface::setPlayer(MVVideoPlayer* player) {
    player_ = player;
    update();
}

void MVVideoSurface::blankUntilNextPicture() {
    blank_ = true;
    update();
}

void MVVideoSurface::pictureArrived() {
    blank_ = false;
    update();
}

QRect MVVideoSurface::pictureRect() const {
    if (!player_ || blank_) return {};
    const QImage frame = player_->frame();
    if (frame.isNull() || frame.width() <= 0 || frame.height() <= 0) return {};
    const QSize fitted = frame.size().scaled(size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

void MVVideoSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), MVHelper::Gui::BackgoundColor());
    if (!player_ || blank_) return;
    const QImage frame = player_->frame();
    const QRect target = pictureRect();
    if (frame.isNull() || target.isEmpty()) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, frame);
}
