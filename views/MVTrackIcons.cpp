#include "views/MVTrackIcons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace {

constexpr int kIconSide = 20;

using Drawing = std::function<void(QPainter&)>;

QPixmap drawn(const Drawing& draw, int side = kIconSide) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 20.0, side / 20.0);
    draw(painter);
    return pixmap;
}

QPen strokePen() {
    return QPen(QColor(220, 220, 220), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void diagonalArrows(QPainter& p) {
    p.setPen(strokePen());
    p.setBrush(QColor(220, 220, 220));
    p.drawLine(QPointF(5, 15), QPointF(15, 5));
    p.drawPolygon(QPolygonF({QPointF(16, 4), QPointF(10, 4.5), QPointF(15.5, 10)}));
    p.drawPolygon(QPolygonF({QPointF(4, 16), QPointF(4.5, 10), QPointF(10, 15.5)}));
}

void expandCorners(QPainter& p) {
    p.setPen(strokePen());
    for (const auto& c : {QPointF(3, 3), QPointF(17, 3), QPointF(3, 17), QPointF(17, 17)}) {
        const double dx = c.x() < 10 ? 5 : -5;
        const double dy = c.y() < 10 ? 5 : -5;
        p.drawLine(c, c + QPointF(dx, 0));
        p.drawLine(c, c + QPointF(0, dy));
    }
}

void pin(QPainter& p, bool pinned) {
    p.setPen(strokePen());
    p.setBrush(pinned ? QColor(220, 220, 220) : Qt::NoBrush);
    p.translate(10, 10);
    p.rotate(pinned ? 0 : 35);
    p.drawRoundedRect(QRectF(-3.5, -8, 7, 7), 1.5, 1.5);
    p.drawLine(QPointF(-6, -1), QPointF(6, -1));
    p.drawLine(QPointF(0, -1), QPointF(0, 8));
}

void bucket(QPainter& p, bool filled) {
    p.setPen(strokePen());
    QPainterPath body;
    body.moveTo(4, 8);
    body.lineTo(11, 3);
    body.lineTo(16, 10);
    body.lineTo(9, 15);
    body.closeSubpath();
    p.setBrush(filled ? QColor(220, 220, 220) : Qt::NoBrush);
    p.drawPath(body);
    p.setBrush(QColor(220, 220, 220));
    p.drawEllipse(QPointF(16.5, 15.5), 1.6, 2.2);
}

void menuLines(QPainter& p) {
    p.setPen(strokePen());
    for (double y : {5.0, 10.0, 15.0}) p.drawLine(QPointF(4, y), QPointF(16, y));
}

void moreDots(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 220, 220));
    for (double x : {4.5, 10.0, 15.5}) p.drawEllipse(QPointF(x, 10), 1.8, 1.8);
}

// A flag on a pole: a chequered cloth for the start/finish gate, a red cloth for the finish.
QImage flag(bool chequered) {
    constexpr int side = 64;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(235, 235, 235), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(side / 2.0, side / 2.0), QPointF(side / 2.0, 4));
    const QRectF cloth(side / 2.0 + 1.5, 5, 24, 16);
    if (chequered) {
        for (int row = 0; row < 4; ++row) {
            for (int col = 0; col < 6; ++col) {
                p.fillRect(QRectF(cloth.left() + col * 4, cloth.top() + row * 4, 4, 4),
                           (row + col) % 2 ? Qt::black : Qt::white);
            }
        }
    } else {
        p.fillRect(cloth, QColor(230, 40, 40));
    }
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(cloth);
    return image;
}

}  // namespace

namespace MVTrackIcons {

QIcon icon(const QString& name) {
    static const QHash<QString, Drawing> drawings = {
        {QStringLiteral("Resize Diagonal Filled"), diagonalArrows},
        {QStringLiteral("Expand"), expandCorners},
        {QStringLiteral("Unpin"), [](QPainter& p) { pin(p, false); }},
        {QStringLiteral("Pin"), [](QPainter& p) { pin(p, true); }},
        {QStringLiteral("Paint Bucket Filled"), [](QPainter& p) { bucket(p, true); }},
        {QStringLiteral("Paint Bucket"), [](QPainter& p) { bucket(p, false); }},
        {QStringLiteral("Menu"), menuLines},
        {QStringLiteral("More"), moreDots},
    };
    static QHash<QString, QIcon> made;
    if (auto it = made.constFind(name); it != made.constEnd()) return *it;
    const auto drawing = drawings.constFind(name);
    if (drawing == drawings.constEnd()) return QIcon();
    QIcon result(drawn(*drawing));
    result.addPixmap(drawn(*drawing, 2 * kIconSide));
    made.insert(name, result);
    return result;
}

QImage image(const QString& name) {
    if (name == QLatin1String("flag")) {
        static const QImage start = flag(true);
        return start;
    }
    if (name == QLatin1String("flag2")) {
        static const QImage finish = flag(false);
        return finish;
    }
    return QImage();
}

}  // namespace MVTrackIcons
