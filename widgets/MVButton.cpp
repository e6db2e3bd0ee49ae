#include "widgets/MVButton.h"

#include <QPainter>

MVButton::MVButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
}

void MVButton::setImage(const QIcon& image) {
    image_ = image;
    updateGeometry();
    update();
}

QSize MVButton::sizeHint() const {
    if (image_.isNull()) return QSize(16, 16);
    const QList<QSize> sizes = image_.availableSizes();
    return sizes.isEmpty() ? QSize(16, 16) : sizes.first();
}

void MVButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (image_.isNull()) return;
    image_.paint(&painter, rect(), Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
}
