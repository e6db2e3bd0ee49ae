#pragma once

// Small maps and laps for the track pane's tests, built in code.
#include "session/MV2DSegment.h"
#include "session/MVLap.h"
#include "session/MVMap.h"

#include <utility>
#include <vector>

namespace track_fixtures {

inline MV2DSegmentPtr at(double x, double y, double time = 0) {
    auto s = MV2DSegment::instance();
    s->setPoint({x, y});
    s->setTime(time);
    return s;
}

// A map with the given sector lists; its box is the given one.
inline MVMapPtr map(std::vector<std::vector<MV2DSegmentPtr>> lists, double xMin, double yMin,
                    double width, double height) {
    auto m = MVMap::instance();
    m->setSectorSegments(std::move(lists));
    m->setXMin(xMin);
    m->setYMin(yMin);
    m->setWidth(width);
    m->setHeight(height);
    return m;
}

// A lap driving the points in one list at one point a second from session time `start`.
inline MVLapPtr lap(const std::vector<MVPoint>& points, double start = 0) {
    std::vector<MV2DSegmentPtr> list;
    for (size_t i = 0; i < points.size(); ++i) {
        list.push_back(at(points[i].x, points[i].y, start + static_cast<double>(i)));
    }
    auto l = MVLap::instance();
    l->setTimestampStart(start);
    l->setDuration(static_cast<double>(points.size()) - 1);
    l->setMap(map({list}, 0, 0, 0, 0));
    return l;
}

}  // namespace track_fixtures
