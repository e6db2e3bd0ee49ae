// Draws the program's icon: a circuit outline on a dark tile, its start/finish line chequered
// and one vehicle marker on the track. One description of the drawing gives both the scalable
// SVG and the PNG sizes of the hicolor theme, so the two never drift apart.
//
//   make-icons OUT_DIR SIZE...   writes OUT_DIR/scalable/apps/gridlark.svg and
//                                OUT_DIR/<SIZE>x<SIZE>/apps/gridlark.png for each size
#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The drawing, on a 64 x 64 canvas.
constexpr double kCanvas = 64.0;
constexpr double kTileRadius = 12.0;
const char* const kTileTop = "#2f4356";
const char* const kTileBottom = "#17212b";
const char* const kTrack = "#e9eef3";
constexpr double kTrackWidth = 5.0;
// The outline: a start point and closed cubic segments (two controls and an end each).
constexpr double kTrackStart[2] = {14, 40};
constexpr double kTrackCurves[][6] = {
    {10, 24, 22, 12, 34, 16},
    {42, 19, 40, 28, 48, 26},
    {57, 24, 57, 40, 48, 46},
    {38, 54, 18, 54, 14, 40},
};
// The start/finish line across the track's left straight: 3 x 2 squares.
constexpr double kFlagLeft = 8.5, kFlagTop = 37.0, kFlagSquare = 3.0;
const char* const kFlagDark = "#111111";
const char* const kFlagLight = "#ffffff";
// The vehicle marker.
constexpr double kMarker[2] = {48, 26};
constexpr double kMarkerRadius = 4.5;
const char* const kMarkerFill = "#ff8a1f";
constexpr double kMarkerRing = 1.5;

bool flagSquareIsDark(int column, int row) {
    return (column + row) % 2 == 0;
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string svg() {
    std::string path = "M " + number(kTrackStart[0]) + " " + number(kTrackStart[1]);
    for (const auto& c : kTrackCurves) {
        path += " C";
        for (int i = 0; i < 6; i += 2) path += " " + number(c[i]) + " " + number(c[i + 1]);
    }
    path += " Z";
    std::string out =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
        "viewBox=\"0 0 64 64\">\n"
        "  <defs><linearGradient id=\"tile\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">"
        "<stop offset=\"0\" stop-color=\"" +
        std::string(kTileTop) +
        "\"/>"
        "<stop offset=\"1\" stop-color=\"" +
        kTileBottom +
        "\"/></linearGradient></defs>\n"
        "  <rect x=\"0\" y=\"0\" width=\"64\" height=\"64\" rx=\"" +
        number(kTileRadius) +
        "\" fill=\"url(#tile)\"/>\n"
        "  <path d=\"" +
        path + "\" fill=\"none\" stroke=\"" + kTrack + "\" stroke-width=\"" + number(kTrackWidth) +
        "\" stroke-linejoin=\"round\"/>\n";
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            out += "  <rect x=\"" + number(kFlagLeft + column * kFlagSquare) + "\" y=\"" +
                   number(kFlagTop + row * kFlagSquare) + "\" width=\"" + number(kFlagSquare) +
                   "\" height=\"" + number(kFlagSquare) + "\" fill=\"" +
                   (flagSquareIsDark(column, row) ? kFlagDark : kFlagLight) + "\"/>\n";
        }
    }
    out += "  <circle cx=\"" + number(kMarker[0]) + "\" cy=\"" + number(kMarker[1]) + "\" r=\"" +
           number(kMarkerRadius) + "\" fill=\"" + kMarkerFill + "\" stroke=\"" + kFlagLight +
           "\" stroke-width=\"" + number(kMarkerRing) + "\"/>\n</svg>\n";
    return out;
}

QImage png(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kCanvas, size / kCanvas);
    QLinearGradient tile(0, 0, 0, kCanvas);
    tile.setColorAt(0, QColor(kTileTop));
    tile.setColorAt(1, QColor(kTileBottom));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(0, 0, kCanvas, kCanvas), kTileRadius, kTileRadius);

    QPainterPath track(QPointF(kTrackStart[0], kTrackStart[1]));
    for (const auto& c : kTrackCurves) {
        track.cubicTo(QPointF(c[0], c[1]), QPointF(c[2], c[3]), QPointF(c[4], c[5]));
    }
    track.closeSubpath();
    QPen trackPen{QColor(kTrack)};
    trackPen.setWidthF(kTrackWidth);
    trackPen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(trackPen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(track);

    painter.setPen(Qt::NoPen);
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            painter.setBrush(QColor(flagSquareIsDark(column, row) ? kFlagDark : kFlagLight));
            painter.drawRect(QRectF(kFlagLeft + column * kFlagSquare, kFlagTop + row * kFlagSquare,
                                    kFlagSquare, kFlagSquare));
        }
    }
    QPen ring{QColor(kFlagLight)};
    ring.setWidthF(kMarkerRing);
    painter.setPen(ring);
    painter.setBrush(QColor(kMarkerFill));
    painter.drawEllipse(QPointF(kMarker[0], kMarker[1]), kMarkerRadius, kMarkerRadius);
    painter.end();
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT_DIR SIZE...\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString scalable = out + "/scalable/apps";
    if (!QDir().mkpath(scalable)) return 1;
    std::ofstream file((scalable + "/gridlark.svg").toStdString(), std::ios::binary);
    file << svg();
    if (!file.flush()) return 1;
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) return 2;
        const QString folder = out + QString("/%1x%1/apps").arg(size);
        if (!QDir().mkpath(folder) || !png(size).save(folder + "/gridlark.png", "PNG")) {
            std::fprintf(stderr, "make-icons: cannot write the %d px icon\n", size);
            return 1;
        }
    }
    return 0;
}
