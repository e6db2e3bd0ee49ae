#include "widgets/MVRoundProgressView.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRingWidth = 5;
constexpr double kPieLineWidth = 2;

// A Qt arc span for a clockwise sweep of `fraction` of a full turn.
int clockwiseSpan(double fraction) {
    return -static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 360 * 16));
}

}  // namespace

MVRoundProgressView::MVRoundProgressView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    resize(kDefaultSide, kDefaultSide);
}

void MVRoundProgressView::setProgress(float progress) {
    progress_ = progress;
    update();
}

void MVRoundProgressView::setAnnular(bool annular) {
    annular_ = annular;
    update();
}

void MVRoundProgressView::setProgressTintColor(const QColor& color) {
    progressTintColor_ = color;
    update();
}

void MVRoundProgressView::setBackgroundTintColor(const QColor& color) {
    backgroundTintColor_ = color;
    update();
}

void MVRoundProgressView::paintEvent(QPaintEvent*) {
    const QRectF bounds = rect();
    const double side = std::min(bounds.width(), bounds.height());
    if (side <= 0) return;
    const QPointF centre = bounds.center();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    if (annular_) {
        const double radius = (side - kRingWidth) / 2;
        if (radius <= 0) return;
        const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        QPen pen(backgroundTintColor_);
        pen.setWidthF(kRingWidth);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        painter.drawEllipse(circle);
        if (progress_ > 0) {
            pen.setColor(progressTintColor_);
            painter.setPen(pen);
            painter.drawArc(circle, 90 * 16, clockwiseSpan(progress_));
        }
        return;
    }

    const double inset = kPieLineWidth;
    const QRectF disc(centre.x() - side / 2 + inset, centre.y() - side / 2 + inset,
                      side - 2 * inset, side - 2 * inset);
    QPen pen(progressTintColor_);
    pen.setWidthF(kPieLineWidth);
    painter.setPen(pen);
    painter.setBrush(backgroundTintColor_);
    painter.drawEllipse(disc);
    if (progress_ > 0) {
        const double radius = (side - 4) / 2;
        const QRectF pie(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(Qt::white));
        painter.drawPie(pie, 90 * 16, clockwiseSpan(progress_));
    }
}
