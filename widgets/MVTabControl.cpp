#include "widgets/MVTabControl.h"

#include "widgets/MVButton.h"
#include "widgets/MVHelperColors.h"

#include "session/MVNotifications.h"

#include "platform/NotificationCenter.h"

#include <QPainter>
#include <QPixmap>

namespace {

// Our own close glyph: a light grey cross.
QIcon closeIcon() {
    QPixmap pixmap(MVTabControl::kCloseButtonSide * 2, MVTabControl::kCloseButtonSide * 2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(MVHelper::Gui::BrightColorOnBackground());
    pen.setWidthF(3);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    const double a = 4;
    const double b = pixmap.width() - 4;
    painter.drawLine(QPointF(a, a), QPointF(b, b));
    painter.drawLine(QPointF(a, b), QPointF(b, a));
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

MVTabControl::MVTabControl(QWidget* parent) : MVSegmentedControl(parent) {}

QRectF MVTabControl::textRect(const QRectF& segment) const {
    return QRectF(segment.x() + 5, segment.y(), std::max(0.0, segment.width() - 20),
                  segment.height());
}

void MVTabControl::segmentsChanged() {
    while (closeButtons_.size() > segmentCount()) delete closeButtons_.takeLast();
    while (closeButtons_.size() < segmentCount()) {
        auto* button = new MVButton(this);
        button->setTag(static_cast<int>(closeButtons_.size()));
        button->setImage(closeIcon());
        button->setToolTip(QStringLiteral("Delete current session"));
        connect(button, &MVButton::clicked, this, [this, button] { buttonClicked(button); });
        button->show();
        closeButtons_.append(button);
    }
    for (int i = 0; i < closeButtons_.size(); ++i) {
        const QRectF box = segmentRect(i);
        closeButtons_[i]->setGeometry(static_cast<int>(box.right()) - 12,
                                      (height() - kCloseButtonSide) / 2, kCloseButtonSide,
                                      kCloseButtonSide);
    }
}

void MVTabControl::buttonClicked(MVButton* sender) {
    const int index = sender->tag();
    emit closeClicked(index);
    platform::NotificationCenter::defaultCenter().post(MVSessionCloseButtonClicked, nullptr,
                                                       {{"index", index}});
}
