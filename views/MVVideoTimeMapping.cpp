#include "views/MVVideoTimeMapping.h"

#include "session/MVLap.h"

#include <algorithm>
#include <cmath>

namespace {

// Video times beyond this (the "not available" value among them) are not times.
constexpr double kLargestVideoTime = 1e12;

}  // namespace

MVVideoTimeMapping::Lap MVVideoTimeMapping::lapFacts(const MVLap& lap) {
    Lap facts;
    facts.timestampStart = lap.timestampStart();
    facts.duration = lap.duration();
    facts.videoTimestampStart = lap.videoTimestampStart();
    facts.videoTimestampEnd = lap.videoTimestampEnd();
    facts.twoFiles = lap.videoURLs() && lap.videoURLs()->size() > 1;
    return facts;
}

std::optional<MVVideoTimeMapping::Target> MVVideoTimeMapping::targetForLapTime(
    const Lap& lap, double seconds, const VideoTimeLookup& videoTimeAt, std::int64_t length0,
    std::int64_t length1) {
    if (!std::isfinite(seconds) || length0 <= 0) return std::nullopt;
    double v = 0;
    if (!lap.twoFiles && seconds > lap.duration) {
        v = static_cast<double>(lap.videoTimestampEnd);
    } else {
        v = videoTimeAt ? videoTimeAt(lap.timestampStart + seconds) : -1.0;
        if (!std::isfinite(v) || v < 0 || v > kLargestVideoTime) return std::nullopt;
    }
    Target target;
    std::int64_t length = length0;
    if (lap.twoFiles && static_cast<double>(length0) <=
                            static_cast<double>(lap.videoTimestampStart) + 1000.0 * seconds) {
        if (length1 <= 0) return std::nullopt;
        target.file = 1;
        length = length1;
    }
    target.ms = std::clamp<std::int64_t>(std::llround(v), 0, length);
    return target;
}

double MVVideoTimeMapping::videoTimeBetween(double t, double t0, double v0, double t1, double v1) {
    auto isTime = [](double v) { return std::isfinite(v) && v >= 0 && v <= kLargestVideoTime; };
    if (!isTime(v0) || !isTime(v1) || !std::isfinite(t) || !(t1 > t0) || t <= t0 || t >= t1) {
        return v0;
    }
    const double span = t1 - t0;
    if (v1 < v0 || v1 - v0 > 2.0 * span * 1000.0) return v0;
    return v0 + (v1 - v0) * (t - t0) / span;
}

MVVideoTimeMapping::Report MVVideoTimeMapping::reportForTime(const Lap& lap, int file,
                                                             std::int64_t ms,
                                                             std::int64_t length0) {
    Report report;
    double shown = static_cast<double>(ms);
    if (file == 1) {
        shown += static_cast<double>(length0);
        if (shown > lap.duration * 1000.0 + static_cast<double>(lap.videoTimestampStart)) {
            report.holdMs = lap.videoTimestampEnd;
        }
    } else if (!lap.twoFiles && ms > lap.videoTimestampEnd) {
        report.holdMs = lap.videoTimestampEnd;
    }
    if (report.holdMs) {
        shown =
            static_cast<double>(*report.holdMs) + (file == 1 ? static_cast<double>(length0) : 0.0);
    }
    const double seconds = (shown - static_cast<double>(lap.videoTimestampStart)) / 1000.0;
    if (seconds >= 0) report.lapSeconds = seconds;
    return report;
}
