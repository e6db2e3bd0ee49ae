#include "app/MVLapTableCheckBox.h"

#include "widgets/MVHelperColors.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QIcon drawBox(bool ticked) {
    constexpr int kScale = 2;  // drawn at twice the size, so it stays sharp when scaled
    const int side = MVLapTableCheckBox::kImageSide * kScale;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(MVHelper::Gui::BrightColorOnBackground());
    pen.setWidthF(2);
    painter.setPen(pen);
    const QRectF box(1.5, 1.5, side - 3, side - 3);
    painter.drawRoundedRect(box, 4, 4);
    if (ticked) {
        pen.setWidthF(3.5);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        QPainterPath tick;
        tick.moveTo(side * 0.24, side * 0.52);
        tick.lineTo(side * 0.43, side * 0.72);
        tick.lineTo(side * 0.77, side * 0.28);
        painter.drawPath(tick);
    }
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

MVLapTableCheckBox::MVLapTableCheckBox(QObject* parent) : QStyledItemDelegate(parent) {}

QString MVLapTableCheckBox::checkedImageName() {
    return QStringLiteral("Checked Checkbox");
}

QString MVLapTableCheckBox::uncheckedImageName() {
    return QStringLiteral("Unchecked Checkbox");
}

QIcon MVLapTableCheckBox::imageNamed(const QString& name) {
    static const QIcon checked = drawBox(true);
    static const QIcon unchecked = drawBox(false);
    if (name == checkedImageName()) return checked;
    if (name == uncheckedImageName()) return unchecked;
    return QIcon();
}

void MVLapTableCheckBox::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const QVariant background = index.data(Qt::BackgroundRole);
    if (background.isValid()) painter->fillRect(option.rect, background.value<QColor>());
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    if (icon.isNull()) return;
    QRect target(0, 0, kImageSide, kImageSide);
    target.moveCenter(option.rect.center());
    icon.paint(painter, target);
}
