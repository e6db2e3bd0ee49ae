#include "widgets/MVSpinningProgressIndicator.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDecay = 0.85;
constexpr double kStoppedAlpha = 0.15;
constexpr double kHiddenStoppedAlpha = 0.01;
constexpr double kFadeTolerance = 0.01;

}  // namespace

MVSpinningProgressIndicator::MVSpinningProgressIndicator(QWidget* parent)
    : QWidget(parent), finColors_(kNumFins, QColor(Qt::white)) {
    setAttribute(Qt::WA_TranslucentBackground);
}

MVSpinningProgressIndicator::~MVSpinningProgressIndicator() {
    animationTimer_.cancel();
}

void MVSpinningProgressIndicator::startAnimation() {
    if (isIndeterminate_ && (!isAnimating_ || isFadingOut_)) actuallyStartAnimation();
}

void MVSpinningProgressIndicator::stopAnimation() {
    isFadingOut_ = true;
}

void MVSpinningProgressIndicator::actuallyStartAnimation() {
    actuallyStopAnimation();
    isAnimating_ = true;
    isFadingOut_ = false;
    position_ = 1;
    if (!displayedWhenStopped_) setVisible(true);
    startFrames();
}

void MVSpinningProgressIndicator::actuallyStopAnimation() {
    isAnimating_ = false;
    isFadingOut_ = false;
    if (!displayedWhenStopped_) setVisible(false);
    animationTimer_.cancel();
    update();
}

void MVSpinningProgressIndicator::startFrames() {
    if (!isAnimating_ || !isVisible() || animationTimer_.isActive()) return;
    animationTimer_.start(kFrameInterval, true, platform::mainQueue(), [this] { updateFrame(); });
}

void MVSpinningProgressIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    startFrames();
}

void MVSpinningProgressIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    animationTimer_.cancel();
}

void MVSpinningProgressIndicator::updateFrame() {
    position_ = position_ < 1 ? kNumFins - 1 : position_ - 1;
    const double minAlpha = displayedWhenStopped_ ? kStoppedAlpha : kHiddenStoppedAlpha;
    for (QColor& fin : finColors_) {
        QColor next = foreColor_;
        next.setAlphaF(static_cast<float>(std::max(minAlpha, fin.alphaF() * kDecay)));
        fin = next;
    }
    if (!isFadingOut_) {
        if (!finColors_.isEmpty()) finColors_[position_] = foreColor_;
    } else {
        const bool faded = std::all_of(finColors_.begin(), finColors_.end(), [&](const QColor& c) {
            return std::abs(c.alphaF() - minAlpha) <= kFadeTolerance;
        });
        if (faded) {
            actuallyStopAnimation();
            return;
        }
    }
    update();
}

void MVSpinningProgressIndicator::recolourFins() {
    for (QColor& fin : finColors_) {
        const float alpha = fin.alphaF();
        fin = foreColor_;
        fin.setAlphaF(alpha);
    }
}

void MVSpinningProgressIndicator::setColor(const QColor& color) {
    if (color == foreColor_) return;
    foreColor_ = color;
    recolourFins();
    update();
}

void MVSpinningProgressIndicator::setBackgroundColor(const QColor& color) {
    if (color == backColor_) return;
    backColor_ = color;
    update();
}

void MVSpinningProgressIndicator::setDrawsBackground(bool draws) {
    drawsBackground_ = draws;
    update();
}

void MVSpinningProgressIndicator::setDisplayedWhenStopped(bool displayed) {
    displayedWhenStopped_ = displayed;
    if (!isAnimating_) setVisible(displayed);
}

void MVSpinningProgressIndicator::setUsesThreadedAnimation(bool threaded) {
    if (threaded == usesThreadedAnimation_) return;
    usesThreadedAnimation_ = threaded;
    if (isAnimating_) {
        stopAnimation();
        startAnimation();
    }
}

void MVSpinningProgressIndicator::setIndeterminate(bool indeterminate) {
    isIndeterminate_ = indeterminate;
    if (!indeterminate && isAnimating_) stopAnimation();
    update();
}

void MVSpinningProgressIndicator::setDoubleValue(double value) {
    if (isIndeterminate_) setIndeterminate(false);
    currentValue_ = value;
    update();
}

void MVSpinningProgressIndicator::setMaxValue(double value) {
    maxValue_ = value;
    update();
}

void MVSpinningProgressIndicator::paintEvent(QPaintEvent*) {
    const QRectF bounds = rect();
    const double s = std::min(bounds.width(), bounds.height());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (drawsBackground_) painter.fillRect(bounds, backColor_);
    if (s <= 0) return;
    painter.translate(bounds.center());

    if (isIndeterminate_) {
        QPen pen;
        pen.setWidthF(s * 11.0 / 128.0);
        pen.setCapStyle(Qt::RoundCap);
        const QLineF fin(0, -0.234375 * s, 0, -0.421875 * s);  // pointing up from the centre
        QColor stopped = foreColor_;
        stopped.setAlphaF(static_cast<float>(kStoppedAlpha));
        for (int i = 0; i < finColors_.size(); ++i) {
            pen.setColor(isAnimating_ ? finColors_[i] : stopped);
            painter.setPen(pen);
            painter.drawLine(fin);
            painter.rotate(-360.0 / kNumFins);  // the next fin, counter-clockwise
        }
        return;
    }

    const double lineWidth = 1 + 0.01 * s;
    const double radius = (s - lineWidth) / 2.1;
    const QRectF circle(-radius, -radius, 2 * radius, 2 * radius);
    QPen pen(foreColor_);
    pen.setWidthF(lineWidth);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(circle);
    const double fraction = maxValue_ > 0 ? std::clamp(currentValue_ / maxValue_, 0.0, 1.0) : 0.0;
    if (fraction <= 0) return;
    painter.setPen(Qt::NoPen);
    painter.setBrush(foreColor_);
    // From twelve o'clock, clockwise.
    painter.drawPie(circle, 90 * 16, -static_cast<int>(std::lround(fraction * 360 * 16)));
}
