#include "widgets/MVSegmentedControl.h"

#include "widgets/MVHelperColors.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

MVSegmentedControl::MVSegmentedControl(QWidget* parent) : QWidget(parent) {
    setFont(MVHelper::BigTextFont());
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void MVSegmentedControl::setSegmentCount(int count) {
    count = std::max(0, count);
    while (labels_.size() > count) labels_.removeLast();
    while (labels_.size() < count) labels_.append(QString());
    if (selected_ >= count) {
        selected_ = -1;
        emit selectedSegmentChanged(selected_);
    }
    updateGeometry();
    segmentsChanged();
    update();
}

void MVSegmentedControl::setLabel(const QString& label, int segment) {
    if (segment < 0 || segment >= segmentCount()) return;
    labels_[segment] = label;
    update();
}

void MVSegmentedControl::setSelectedSegment(int segment) {
    if (segment < -1 || segment >= segmentCount()) segment = -1;
    if (segment == selected_) return;
    selected_ = segment;
    update();
    emit selectedSegmentChanged(selected_);
}

double MVSegmentedControl::widthForSegment(int) const {
    if (fixedWidth_ > 0) return fixedWidth_;
    return segmentCount() > 0 ? static_cast<double>(width()) / segmentCount() : 0;
}

void MVSegmentedControl::setSegmentWidth(double width) {
    fixedWidth_ = std::max(0.0, width);
    updateGeometry();
    segmentsChanged();
    update();
}

int MVSegmentedControl::segmentAt(double x) const {
    const double w = widthForSegment(0);
    if (w <= 0 || x < 0) return -1;
    const int segment = static_cast<int>(std::floor(x / w));
    return segment < segmentCount() ? segment : -1;
}

QRectF MVSegmentedControl::segmentRect(int segment) const {
    const double w = widthForSegment(segment);
    return QRectF(w * segment, 0, w, height());
}

QString MVSegmentedControl::displayedLabel(int segment) const {
    const QRectF box = textRect(segmentRect(segment));
    return QFontMetricsF(font()).elidedText(labelForSegment(segment), Qt::ElideMiddle,
                                            std::max(0.0, box.width()));
}

QSize MVSegmentedControl::sizeHint() const {
    const int height = static_cast<int>(MVHelper::ToolBarHeight());
    if (fixedWidth_ > 0) return QSize(static_cast<int>(fixedWidth_ * segmentCount()), height);
    return QSize(100 * std::max(1, segmentCount()), height);
}

void MVSegmentedControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int i = 0; i < segmentCount(); ++i) {
        const QRectF box = segmentRect(i);
        const bool selected = i == selected_;
        QColor fill = selected ? MVHelper::Gui::LightBlueColor() : MVHelper::Gui::BackgoundColor();
        if (!isEnabled()) fill.setAlphaF(0.5f);
        painter.fillRect(box, fill);
        painter.setPen(selected ? QColor(Qt::white) : MVHelper::Gui::BrightColorOnBackground());
        painter.drawText(textRect(box), Qt::AlignCenter | Qt::TextSingleLine, displayedLabel(i));
    }
}

void MVSegmentedControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int segment = segmentAt(event->position().x());
    if (segment < 0) return;
    setSelectedSegment(segment);
    emit segmentClicked(segment);
}

void MVSegmentedControl::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) update();
}

void MVSegmentedControl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    segmentsChanged();
}
