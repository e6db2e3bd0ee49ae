#pragma once

#include "session/MV2DSegment.h"
#include "session/MVLap.h"
#include "session/MVMap.h"
#include "session/MVPreviousNextLocation.h"

#include <QColor>
#include <QPointF>
#include <QPolygonF>
#include <QString>

#include <vector>

class MVGLDFileManager;
class MVTrackInfo;
class MVTrackMapViewport;
class QPainter;

// The drawing passes of the track map, each one layer of the picture, painted in this order:
// sectors of the best lap, circuit borders, start/finish flags, the selected laps' routes and the
// vehicle markers. Every pass projects map metres through the viewport (the whole-session map's
// frame) into the painter's y-down widget frame, and draws nothing while the viewport has
// nothing drawable (an empty map). Main thread only.
namespace MVTrackMapLayers {

// Projected points of a list in widget coordinates; with `skipOrigin`, points at exactly
// (0, 0) (samples without a position fix) are left out.
QPolygonF polyline(const MVTrackMapViewport& viewport, const std::vector<MV2DSegmentPtr>& list,
                   bool skipOrigin);

// One stroke per non-empty sector list of the map, in the lap colours at alpha 0.7; an empty
// list is skipped without using up a colour.
void drawSectors(QPainter& painter, const MVTrackMapViewport& viewport, const MVMap* bestMap,
                 double lineWidth);
// One white line 1 point wide through the outline points in order; nothing for no points.
void drawBorder(QPainter& painter, const MVTrackMapViewport& viewport,
                const std::vector<MV2DSegmentPtr>& border);
// The flag image of `name` ("flag", "flag2") in a square of side `side` centred on `centre`.
void drawFlagImage(QPainter& painter, QPointF centre, double side, const QString& name);
// "flag" at the record's start/finish gate and "flag2" at its finish gate, when it has them,
// each gate placed at its next location on the manager's plane.
void drawFlags(QPainter& painter, const MVTrackMapViewport& viewport, const MVTrackInfo* track,
               const MVGLDFileManager& manager, double side);
// One lap's route, 1 point wide: from the first drawable point of sector list 1 (an unfinished
// lap) or list 0 (the first drawable point of the whole lap when that list has none), then
// through every point of every list, (0, 0) points skipped.
void drawRoute(QPainter& painter, const MVTrackMapViewport& viewport, const MVLap& lap,
               const QColor& color);
// Two laps: the faster (last) in the faster colour, then the slower on top; one lap in the
// faster colour; any other count draws nothing.
void drawRoutes(QPainter& painter, const MVTrackMapViewport& viewport,
                const std::vector<MVLapPtr>& laps);
// A marker: an X 15 points across, 3 points wide, centred on `centre`.
void drawMarker(QPainter& painter, QPointF centre, const QColor& color);

inline constexpr double kMarkerSide = 15.0;

}  // namespace MVTrackMapLayers
