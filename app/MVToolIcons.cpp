#include "app/MVToolIcons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>
#include <functional>

namespace {

using Drawing = std::function<void(QPainter&)>;

// All drawings are made on a 28 x 28 grid, white on the bar's blue.
const QColor kInk(Qt::white);

void folder(QPainter& p) {
    QPainterPath path;
    path.moveTo(3, 8);
    path.lineTo(11, 8);
    path.lineTo(13, 10);
    path.lineTo(25, 10);
    path.lineTo(25, 23);
    path.lineTo(3, 23);
    path.closeSubpath();
    p.drawPath(path);
    p.drawLine(QPointF(3, 13), QPointF(25, 13));
}

void junk(QPainter& p) {
    p.drawLine(QPointF(5, 7), QPointF(23, 7));
    p.drawRect(QRectF(11, 4, 6, 3));
    QPainterPath can;
    can.moveTo(7, 7);
    can.lineTo(8.5, 25);
    can.lineTo(19.5, 25);
    can.lineTo(21, 7);
    p.drawPath(can);
    for (double x : {11.5, 14.0, 16.5}) p.drawLine(QPointF(x, 11), QPointF(x, 21));
}

void card(QPainter& p) {
    QPainterPath path;
    path.moveTo(7, 3);
    path.lineTo(18, 3);
    path.lineTo(22, 7);
    path.lineTo(22, 25);
    path.lineTo(7, 25);
    path.closeSubpath();
    p.drawPath(path);
    for (double x : {10.0, 13.0, 16.0, 19.0}) p.drawLine(QPointF(x, 5.5), QPointF(x, 9.5));
    QFont font = p.font();
    font.setPixelSize(8);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(7, 12, 15, 12), Qt::AlignCenter, QStringLiteral("SD"));
}

void csv(QPainter& p) {
    QPainterPath page;
    page.moveTo(5, 3);
    page.lineTo(18, 3);
    page.lineTo(23, 8);
    page.lineTo(23, 25);
    page.lineTo(5, 25);
    page.closeSubpath();
    p.drawPath(page);
    QFont font = p.font();
    font.setPixelSize(7);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(5, 11, 18, 10), Qt::AlignCenter, QStringLiteral("CSV"));
}

void triangle(QPainter& p, double x0, double x1, bool right) {
    QPolygonF shape;
    if (right) {
        shape << QPointF(x0, 7) << QPointF(x1, 14) << QPointF(x0, 21);
    } else {
        shape << QPointF(x1, 7) << QPointF(x0, 14) << QPointF(x1, 21);
    }
    p.setBrush(kInk);
    p.drawPolygon(shape);
    p.setBrush(Qt::NoBrush);
}

void previous(QPainter& p) {
    p.drawLine(QPointF(6, 7), QPointF(6, 21));
    triangle(p, 8, 15, false);
    triangle(p, 15, 22, false);
}

void play(QPainter& p) {
    QPolygonF shape;
    shape << QPointF(9, 5) << QPointF(23, 14) << QPointF(9, 23);
    p.setBrush(kInk);
    p.drawPolygon(shape);
}

void next(QPainter& p) {
    triangle(p, 6, 13, true);
    triangle(p, 13, 20, true);
    p.drawLine(QPointF(22, 7), QPointF(22, 21));
}

void map(QPainter& p) {
    QPolygonF outline;
    outline << QPointF(3, 7) << QPointF(10, 4) << QPointF(18, 7) << QPointF(25, 4)
            << QPointF(25, 21) << QPointF(18, 24) << QPointF(10, 21) << QPointF(3, 24);
    p.drawPolygon(outline);
    p.drawLine(QPointF(10, 4), QPointF(10, 21));
    p.drawLine(QPointF(18, 7), QPointF(18, 24));
}

void layout(QPainter& p) {
    p.drawRect(QRectF(3, 5, 22, 18));
    p.drawLine(QPointF(11, 5), QPointF(11, 23));
    p.drawLine(QPointF(3, 14), QPointF(11, 14));
    p.drawLine(QPointF(11, 12), QPointF(25, 12));
}

void config(QPainter& p) {
    const QPointF centre(14, 14);
    p.save();
    p.translate(centre);
    p.setBrush(kInk);
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-1.8, -11, 3.6, 5));
        p.rotate(45);
    }
    p.restore();
    p.setBrush(Qt::NoBrush);
    QPen pen = p.pen();
    pen.setWidthF(3);
    p.setPen(pen);
    p.drawEllipse(centre, 6.5, 6.5);
}

const QHash<QString, Drawing>& drawings() {
    static const QHash<QString, Drawing> all = {
        {QStringLiteral("Folder"), folder}, {QStringLiteral("Junk"), junk},
        {QStringLiteral("SD"), card},       {QStringLiteral("CSV"), csv},
        {QStringLiteral("Prev"), previous}, {QStringLiteral("Play"), play},
        {QStringLiteral("Next"), next},     {QStringLiteral("Map"), map},
        {QStringLiteral("Layout"), layout}, {QStringLiteral("Config"), config},
    };
    return all;
}

QPixmap render(const Drawing& draw, double scale) {
    const int side = static_cast<int>(std::lround(MVToolIcons::kImageSize * scale));
    QPixmap pixmap(side, side);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(kInk);
    pen.setWidthF(1.8);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    draw(painter);
    return pixmap;
}

}  // namespace

namespace MVToolIcons {

QIcon image(const QString& name) {
    static QHash<QString, QIcon> made;
    const auto found = made.constFind(name);
    if (found != made.constEnd()) return *found;
    const auto drawing = drawings().constFind(name);
    if (drawing == drawings().constEnd()) return {};
    QIcon icon;
    icon.addPixmap(render(*drawing, 1.0));
    icon.addPixmap(render(*drawing, 2.0));
    made.insert(name, icon);
    return icon;
}

}  // namespace MVToolIcons
