#include "widgets/MVBarProgressView.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr double kOutlineInset = 2;
constexpr double kFillInset = 4;

QPainterPath capsule(const QRectF& box) {
    const double radius = box.height() / 2;
    QPainterPath path;
    path.addRoundedRect(box, radius, radius);
    return path;
}

}  // namespace

MVBarProgressView::MVBarProgressView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    resize(kDefaultWidth, kDefaultHeight);
}

void MVBarProgressView::setProgress(float progress) {
    progress_ = progress;
    update();
}

void MVBarProgressView::setLineColor(const QColor& color) {
    lineColor_ = color;
    update();
}

void MVBarProgressView::setProgressColor(const QColor& color) {
    progressColor_ = color;
    update();
}

void MVBarProgressView::setProgressRemainingColor(const QColor& color) {
    progressRemainingColor_ = color;
    update();
}

void MVBarProgressView::paintEvent(QPaintEvent*) {
    // The whole bar is laid out on the widget's bounds; a partial redraw only clips it.
    const double w = width();
    const double h = height();
    const QRectF outline(kOutlineInset, kOutlineInset, w - 2 * kOutlineInset,
                         h - 2 * kOutlineInset);
    if (outline.width() <= 0 || outline.height() <= 0) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    QPen pen(lineColor_);
    pen.setWidthF(2);
    painter.setPen(pen);
    painter.setBrush(progressRemainingColor_);
    painter.drawPath(capsule(outline));

    const QRectF inner(kFillInset, kFillInset, w - 2 * kFillInset, h - 2 * kFillInset);
    const double amount = std::clamp(static_cast<double>(progress_), 0.0, 1.0) * w;
    if (amount <= 0 || inner.width() <= 0 || inner.height() <= 0) return;
    // The fill is the inner capsule up to x = amount; the rounded left end is filled whole as
    // soon as there is any progress.
    const double leftCapEnd = kFillInset + inner.height() / 2;
    const double right = std::max(amount, leftCapEnd);
    QPainterPath upTo;
    upTo.addRect(QRectF(0, 0, right, h));
    painter.setPen(Qt::NoPen);
    painter.setBrush(progressColor_);
    painter.drawPath(capsule(inner).intersected(upTo));
}
