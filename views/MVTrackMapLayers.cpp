#include "views/MVTrackMapLayers.h"

#include "views/MVTrackIcons.h"
#include "views/MVTrackMapViewport.h"

#include "widgets/MVHelperColors.h"

#include "session/MVStartFinish.h"
#include "session/MVTrackInfo.h"

#include <QPainter>
#include <QPainterPath>

namespace MVTrackMapLayers {

namespace {

bool isOrigin(const MV2DSegmentPtr& segment) {
    return segment->point().x == 0.0 && segment->point().y == 0.0;
}

QPointF screenPoint(const MVTrackMapViewport& viewport, MVPoint p) {
    const MVViewPoint s = viewport.toScreen(viewport.project(p));
    return {s.x, s.y};
}

// The first drawable point of the list, if any.
const MV2DSegmentPtr* firstDrawable(const std::vector<MV2DSegmentPtr>& list) {
    for (const MV2DSegmentPtr& segment : list) {
        if (segment && !isOrigin(segment)) return &segment;
    }
    return nullptr;
}

}  // namespace

QPolygonF polyline(const MVTrackMapViewport& viewport, const std::vector<MV2DSegmentPtr>& list,
                   bool skipOrigin) {
    QPolygonF points;
    points.reserve(static_cast<qsizetype>(list.size()));
    for (const MV2DSegmentPtr& segment : list) {
        if (!segment || (skipOrigin && isOrigin(segment))) continue;
        points << screenPoint(viewport, segment->point());
    }
    return points;
}

void drawSectors(QPainter& painter, const MVTrackMapViewport& viewport, const MVMap* bestMap,
                 double lineWidth) {
    if (bestMap == nullptr || !viewport.isDrawable()) return;
    const QVector<QColor>& colours = MVHelper::Gui::ColorArray();
    qsizetype k = 0;
    for (const auto& list : bestMap->sectorSegments()) {
        if (list.empty()) continue;
        QColor colour = colours[k % colours.size()];
        colour.setAlphaF(0.7f);
        painter.setPen(QPen(colour, lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(polyline(viewport, list, false));
        ++k;
    }
}

void drawBorder(QPainter& painter, const MVTrackMapViewport& viewport,
                const std::vector<MV2DSegmentPtr>& border) {
    if (border.empty() || !viewport.isDrawable()) return;
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(polyline(viewport, border, false));
}

void drawFlagImage(QPainter& painter, QPointF centre, double side, const QString& name) {
    const QImage image = MVTrackIcons::image(name);
    if (image.isNull() || side <= 0) return;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(1.0);
    painter.drawImage(QRectF(centre.x() - side / 2, centre.y() - side / 2, side, side), image);
    painter.restore();
}

void drawFlags(QPainter& painter, const MVTrackMapViewport& viewport, const MVTrackInfo* track,
               const MVGLDFileManager& manager, double side) {
    if (track == nullptr || !viewport.isDrawable()) return;
    auto drawGate = [&](const MVPreviousNextLocationPtr& gate, const QString& name) {
        if (!gate) return;
        const MV2DSegmentPtr at =
            MVStartFinish::segmentFromLocation(gate->nextLocation().get(), manager);
        if (!at) return;
        drawFlagImage(painter, screenPoint(viewport, at->point()), side, name);
    };
    drawGate(track->sfLocations(), QStringLiteral("flag"));
    if (track->sfLocations2()) drawGate(track->sfLocations2(), QStringLiteral("flag2"));
}

void drawRoute(QPainter& painter, const MVTrackMapViewport& viewport, const MVLap& lap,
               const QColor& color) {
    if (!viewport.isDrawable() || !lap.map()) return;
    const auto& lists = lap.map()->sectorSegments();
    const size_t startList = lap.isUnfinishedLap() ? 1 : 0;
    const MV2DSegmentPtr* start =
        startList < lists.size() ? firstDrawable(lists[startList]) : nullptr;
    for (size_t i = 0; start == nullptr && i < lists.size(); ++i) start = firstDrawable(lists[i]);
    if (start == nullptr) return;
    QPainterPath path(screenPoint(viewport, (*start)->point()));
    for (const auto& list : lists) {
        for (const MV2DSegmentPtr& segment : list) {
            if (!segment || isOrigin(segment)) continue;
            path.lineTo(screenPoint(viewport, segment->point()));
        }
    }
    painter.setPen(QPen(color, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

void drawRoutes(QPainter& painter, const MVTrackMapViewport& viewport,
                const std::vector<MVLapPtr>& laps) {
    if (laps.size() == 2) {
        if (laps.back()) drawRoute(painter, viewport, *laps.back(), MVHelper::Gui::FasterColor());
        if (laps.front()) drawRoute(painter, viewport, *laps.front(), MVHelper::Gui::SlowerColor());
    } else if (laps.size() == 1 && laps.front()) {
        drawRoute(painter, viewport, *laps.front(), MVHelper::Gui::FasterColor());
    }
}

void drawMarker(QPainter& painter, QPointF centre, const QColor& color) {
    const double h = kMarkerSide / 2;
    painter.setPen(QPen(color, 3));
    painter.drawLine(centre + QPointF(-h, h), centre + QPointF(h, -h));
    painter.drawLine(centre + QPointF(-h, -h), centre + QPointF(h, h));
}

}  // namespace MVTrackMapLayers
