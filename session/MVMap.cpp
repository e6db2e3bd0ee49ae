#include "session/MVMap.h"

#include "session/MVDescription.h"

void MVMap::setSfLocations(MVPreviousNextLocationPtr gate) {
    sfLocations_ = gate ? std::move(gate) : MVPreviousNextLocation::instance();
}

MVMapPtr MVMap::makeACopy() const {
    auto copy = instance();
    copy->sfLocations_ = sfLocations_->makeACopy();
    copy->width_ = width_;
    copy->height_ = height_;
    copy->ratio_ = ratio_;
    copy->xMin_ = xMin_;
    copy->yMin_ = yMin_;
    copy->sectorSegments_ = sectorSegments_;  // new vectors, same point objects
    return copy;
}

std::string MVMap::description() const {
    using MVDescription::shortestDouble;
    std::vector<std::string> sectors;
    sectors.reserve(sectorSegments_.size());
    for (const auto& sector : sectorSegments_) {
        std::vector<std::string> points;
        points.reserve(sector.size());
        for (const auto& point : sector) {
            points.push_back("\"" + MVDescription::objectText("MV2DSegment", point.get()) + "\"");
        }
        sectors.push_back(MVDescription::listText(points, 1));
    }
    return "sfLocations: " +
           MVDescription::objectText("MVPreviousNextLocation", sfLocations_.get()) +
           " width: " + shortestDouble(width_) + " height: " + shortestDouble(height_) +
           " ratio: " + shortestDouble(ratio_) + " xMin: " + shortestDouble(xMin_) +
           " yMin: " + shortestDouble(yMin_) +
           " sectorSegments: " + MVDescription::listText(sectors);
}
