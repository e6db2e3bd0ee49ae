#include "widgets/MVButton.h"

#include <QPainter>

namespace {
// A disabled button shows its own image faded: the generated disabled look of a white image is a
// light grey that reads as bright as (on a dark bar, brighter than) the enabled image.
constexpr double kDisabledOpacity = 0.3;
}  // namespace

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
    if (!isEnabled()) painter.setOpacity(kDisabledOpacity);
    image_.paint(&painter, rect(), Qt::AlignCenter, QIcon::Normal);
}
