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
// The middle item's scale and a neighbour's: small enough that both neighbours fit whole
// beside the middle one, large enough for two lines of the name.
constexpr double kMiddleScale = 0.6;
constexpr double kNeighbourScale = 0.34;
constexpr double kEdgeMargin = 4.0;

QTransform tilted(double x, double y, double clamped) {
    QTransform transform;
    transform.translate(x, y);
    transform.rotate(-clamped * kTiltDegrees, Qt::YAxis);
    const double scale = kMiddleScale + (kNeighbourScale - kMiddleScale) * std::fabs(clamped);
    transform.scale(scale, scale);
    return transform;
}

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

double MVTrackCarousel::neighbourDistance() const {
    const QRectF drawn = tilted(0.0, 0.0, 1.0).mapRect(itemFrame());
    return width() / 2.0 - kEdgeMargin - drawn.right();
}

QTransform MVTrackCarousel::itemTransform(double offset) const {
    const double clamped = std::clamp(offset, -1.0, 1.0);
    const double beyond = offset - clamped;  // items past a neighbour move on out of sight
    const double x = width() / 2.0 + clamped * neighbourDistance() +
                     beyond * (width() / 2.0 + spacing_ * itemFrame().width());
    return tilted(x, height() / 2.0, clamped);
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
}

// The lower half of the frame as drawn, inside the carousel and, for an item that is not the
// nearest to the middle, clear of the nearest one (drawn over it).
QRectF MVTrackCarousel::labelRectOfItem(int index) const {
    if (index < 0 || index >= numberOfItems()) return {};
    const QRectF frame = itemFrame();
    const QRectF lowerHalf(frame.left(), frame.center().y(), frame.width(), frame.height() / 2);
    QRectF label = itemTransform(index - scrollOffset_).mapRect(lowerHalf) & QRectF(rect());
    const int nearest =
        std::clamp(static_cast<int>(std::lround(scrollOffset_)), 0, numberOfItems() - 1);
    if (index != nearest && !label.isEmpty()) {
        const QRectF front = itemTransform(nearest - scrollOffset_).mapRect(frame);
        if (index < nearest) {
            label.setRight(std::min(label.right(), front.left()));
        } else {
            label.setLeft(std::max(label.left(), front.right()));
        }
    }
    return label.width() > 0.0 && label.height() > 0.0 ? label : QRectF();
}

QStringList MVTrackCarousel::labelLinesOfItem(int index) const {
    const QRectF label = labelRectOfItem(index);
    if (label.isEmpty()) return {};
    const QFontMetricsF metrics(MVHelper::BigTextFont());
    const int lines = std::max(1, static_cast<int>(label.height() / metrics.lineSpacing()));
    return wrappedLines(items_[index].name, metrics, label.width(), lines);
}

QStringList MVTrackCarousel::wrappedLines(const QString& text, const QFontMetricsF& metrics,
                                          double width, int maxLines) {
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString joined = line.isEmpty() ? words[i] : line + QLatin1Char(' ') + words[i];
        if (line.isEmpty() || metrics.horizontalAdvance(joined) <= width) {
            line = joined;
            continue;
        }
        if (lines.size() + 1 >= maxLines) {  // the last line takes what is left, elided
            line += QLatin1Char(' ') + words.mid(i).join(QLatin1Char(' '));
            break;
        }
        lines << line;
        line = words[i];
    }
    if (!line.isEmpty()) lines << line;
    for (QString& l : lines) {
        if (metrics.horizontalAdvance(l) > width) l = metrics.elidedText(l, Qt::ElideRight, width);
    }
    return lines;
}

void MVTrackCarousel::drawLabel(QPainter& painter, int index) const {
    const QRectF label = labelRectOfItem(index);
    const QStringList lines = labelLinesOfItem(index);
    if (lines.isEmpty()) return;
    const QFontMetricsF metrics(MVHelper::BigTextFont());
    painter.setPen(MVHelper::Gui::BrightColorOnBackground());
    painter.setFont(MVHelper::BigTextFont());
    const double height = lines.size() * metrics.lineSpacing();
    double y = label.center().y() - height / 2;
    for (const QString& line : lines) {
        painter.drawText(QRectF(label.left(), y, label.width(), metrics.lineSpacing()),
                         Qt::AlignCenter | Qt::TextSingleLine, line);
        y += metrics.lineSpacing();
    }
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
        drawLabel(painter, i);
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
