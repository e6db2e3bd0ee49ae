#include "views/MVTrackCarousel.h"

#include "widgets/MVHelperColors.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTiltDegrees = 22.5;  // π/8

}  // namespace

MVTrackCarousel::MVTrackCarousel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("carousel"));
    setFocusPolicy(Qt::StrongFocus);
    MVHelper::addDarkBlueLayerForViewWithView(this);
    animation_.setDuration(250);
    animation_.setEasingCurve(QEasingCurve::OutCubic);
    connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        scrollOffset_ = v.toDouble();
        update();
    });
}

void MVTrackCarousel::setItems(QVector<Item> items) {
    animation_.stop();
    items_ = std::move(items);
    currentIndex_ = 0;
    scrollOffset_ = 0.0;
    update();
}

bool MVTrackCarousel::isScrolling() const {
    return animation_.state() == QAbstractAnimation::Running;
}

void MVTrackCarousel::scrollToItemAtIndex(int index, bool animated) {
    if (items_.isEmpty()) return;
    currentIndex_ = std::clamp(index, 0, numberOfItems() - 1);
    animation_.stop();
    if (!animated) {
        scrollOffset_ = currentIndex_;
        update();
        return;
    }
    animation_.setStartValue(scrollOffset_);
    animation_.setEndValue(static_cast<double>(currentIndex_));
    animation_.start();
}

QRectF MVTrackCarousel::itemFrame() const {
    return QRectF(-0.4 * width(), -0.5 * height(), 0.8 * width(), height());
}

QTransform MVTrackCarousel::itemTransform(double offset) const {
    const double clamped = std::clamp(offset, -1.0, 1.0);
    const double x = width() / 2.0 + (clamped * 0.35 + offset * spacing_) * width();
    QTransform transform;
    transform.translate(x, height() / 2.0);
    transform.rotate(-clamped * kTiltDegrees, Qt::YAxis);
    const double shrink = 1.0 - 0.15 * std::fabs(clamped);
    transform.scale(shrink, shrink);
    return transform;
}

int MVTrackCarousel::indexOfItemAt(QPointF point) const {
    // Nearest to the middle first: it is drawn on top.
    QVector<int> order;
    for (int i = 0; i < numberOfItems(); ++i) order << i;
    std::sort(order.begin(), order.end(), [this](int a, int b) {
        return std::fabs(a - scrollOffset_) < std::fabs(b - scrollOffset_);
    });
    for (int i : order) {
        bool invertible = false;
        const QTransform inverse = itemTransform(i - scrollOffset_).inverted(&invertible);
        if (invertible && itemFrame().contains(inverse.map(point))) return i;
    }
    return -1;
}

void MVTrackCarousel::drawItem(QPainter& painter, const Item& item) const {
    const QRectF frame = itemFrame();
    painter.fillRect(frame, MVHelper::Gui::DarkBlueColor().darker(130));
    if (!item.image.isNull()) {
        const QSizeF fitted = QSizeF(item.image.size()).scaled(frame.size(), Qt::KeepAspectRatio);
        const QRectF target(frame.center().x() - fitted.width() / 2,
                            frame.center().y() - fitted.height() / 2, fitted.width(),
                            fitted.height());
        painter.drawImage(target, item.image);
    }
    painter.setPen(MVHelper::Gui::BrightColorOnBackground());
    painter.setFont(MVHelper::BigTextFont());
    const QRectF label(frame.left(), frame.center().y(), frame.width(), frame.height() / 2);
    painter.drawText(label, Qt::AlignCenter | Qt::TextWordWrap, item.name);
}

void MVTrackCarousel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QVector<int> order;
    for (int i = 0; i < numberOfItems(); ++i) order << i;
    // Far items first, the middle one last (on top).
    std::sort(order.begin(), order.end(), [this](int a, int b) {
        return std::fabs(a - scrollOffset_) > std::fabs(b - scrollOffset_);
    });
    for (int i : order) {
        painter.save();
        painter.setTransform(itemTransform(i - scrollOffset_));
        drawItem(painter, items_[i]);
        painter.restore();
    }
}

void MVTrackCarousel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int index = indexOfItemAt(event->position());
    if (index < 0) return;
    scrollToItemAtIndex(index, true);
    emit itemSelected(index);
}

void MVTrackCarousel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Left) {
        scrollToItemAtIndex(currentIndex_ - 1, true);
    } else if (event->key() == Qt::Key_Right) {
        scrollToItemAtIndex(currentIndex_ + 1, true);
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (!items_.isEmpty()) emit itemSelected(currentIndex_);
    } else {
        QWidget::keyPressEvent(event);
    }
}

void MVTrackCarousel::wheelEvent(QWheelEvent* event) {
    event->ignore();
}
