#include "session/MVLap.h"

#include "session/MVDescription.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

void MVLap::setSectors(MVSectorsPtr value) {
    sectors_ = value ? std::move(value) : MVSectors::instance();
}

void MVLap::setSectors2(MVSectorsPtr value) {
    sectors2_ = value ? std::move(value) : MVSectors::instance();
}

void MVLap::setMap(MVMapPtr value) {
    map_ = value ? std::move(value) : MVMap::instance();
}

void MVLap::setPositionIndexes(MVPositionIndexesPtr value) {
    positionIndexes_ = value ? std::move(value) : MVPositionIndexes::instance();
}

std::int64_t MVLap::calculatePositionIndex(double seconds) const {
    const auto& p = positionIndexes_->values();
    if (p.empty()) return -1;
    if (seconds <= p[0] - p[0]) return 0;
    for (std::size_t i = 1; i < p.size(); ++i) {
        if (seconds <= p[i] - p[0]) return static_cast<std::int64_t>(i);
    }
    return static_cast<std::int64_t>(p.size() - 1);
}

double MVLap::calculatePositionTimestamp(double position) const {
    if (std::isnan(position)) return 0.0;
    const auto& p = *positionIndexes_;
    // Reads are clamped, so bounding the index to [-1, count] changes no result; it keeps the
    // conversion to an integer index defined for huge and infinite arguments.
    const double upper = static_cast<double>(p.count());
    const double x = std::clamp(position, -1.0, upper);
    const double f = std::floor(x);
    const double g = std::ceil(x);
    const double pf = p.valueAtIndex(static_cast<std::int64_t>(f));
    const double pg = p.valueAtIndex(static_cast<std::int64_t>(g));
    const double p0 = p.valueAtIndex(0);
    return (pf - p0) + (pg - pf) * (x - f);
}

MV2DSegmentPtr MVLap::calculateSegment(double time) const {
    const auto& sectors = map_->sectorSegments();
    MV2DSegmentPtr last;
    for (auto it = sectors.rbegin(); it != sectors.rend() && !last; ++it) {
        if (!it->empty()) last = it->back();
    }
    if (!last) return MV2DSegment::instance();

    for (const auto& sector : sectors) {
        if (sector.empty() || !(sector.back()->time() >= time)) continue;
        std::size_t j = 0;
        while (!(time <= sector[j]->time())) ++j;  // ends at the last point at the latest
        if (j == 0) return sector[0];
        const MV2DSegment& a = *sector[j - 1];
        const MV2DSegment& b = *sector[j];
        const double r = (time - a.time()) / (b.time() - a.time());
        auto result = MV2DSegment::instance();
        result->setPoint({a.point().x + r * (b.point().x - a.point().x),
                          a.point().y + r * (b.point().y - a.point().y)});
        result->setTime(time);
        return result;
    }
    return last;
}

bool MVLap::checkIdentical(const MVLap& other) const {
    return indexEnd_ - indexStart_ == other.indexEnd_ - other.indexStart_ &&
           duration_ == other.duration_ && timestampStart_ == other.timestampStart_ &&
           timestampEnd_ == other.timestampEnd_;
}

std::string MVLap::description() const {
    using MVDescription::shortestDouble;
    const auto flag = [](bool value) { return value ? std::string("true") : std::string("false"); };
    return "isWholeFileLap: " + flag(isWholeFileLap_) + " gldFile: " + gldFile_ +
           " isQuarto: " + flag(isQuarto_) + " number: " + std::to_string(number_) +
           " indexStart: " + std::to_string(indexStart_) +
           " indexEnd: " + std::to_string(indexEnd_) + " duration: " + shortestDouble(duration_) +
           " distance: " + shortestDouble(distance_) +
           " isUnfinishedLap: " + flag(isUnfinishedLap_);
}
