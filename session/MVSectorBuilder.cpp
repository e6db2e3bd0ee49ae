#include "session/MVSectorBuilder.h"

#include "session/MVDerivedSeries.h"
#include "session/MVGateCrossing.h"
#include "session/MVHelperGeometry.h"
#include "session/MVHelperKeys.h"
#include "session/MVLapPoints.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSampleValues.h"
#include "session/MVStepTimer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

MVSectorBuilder::Span MVSectorBuilder::spanOf(const MVLap& lap) const {
    const MVSampleValues values(manager_);
    const auto file = values.indexOfFile(lap.gldFile());
    const auto& times = manager_.arrayOfFakeIndexes();
    if (!file || *file >= times.size() || !times[*file]) return {};
    const double step =
        MVDerivedSeries::typicalStep(*times[*file], MVSampleValues::signedIndex(lap.indexStart()),
                                     MVSampleValues::signedIndex(lap.indexEnd()));
    if (!MVDerivedSeries::isSparseStep(step)) return {};
    const auto rows = static_cast<std::int64_t>(std::floor(kSparseSpanSeconds / step + 0.5));
    return {std::max<std::int64_t>(1, rows), true};
}

std::vector<MVPreviousNextLocationPtr> MVSectorBuilder::fetchBestSpeedStartFinishWithLap(
    const MVLapPtr& referenceLap) const {
    const MVStepTimer timer("MVSectorBuilder::fetchBestSpeedStartFinishWithLap");
    std::vector<MVPreviousNextLocationPtr> gates;
    if (!referenceLap) return gates;
    const MVLap& lap = *referenceLap;
    const MVSampleValues values(manager_);
    const auto speed = [&](std::int64_t i) {
        return values.floatValueWithSamplesIndex(i, MVHelper::Key_Speed(), &lap);
    };
    const std::int64_t first = MVSampleValues::signedIndex(lap.indexStart());
    const std::int64_t last = MVSampleValues::signedIndex(lap.indexEnd());
    const std::int64_t span = spanOf(lap).samples;

    std::int64_t i = first;
    while (i <= last) {
        if (values.durationFromIndexStart(first, i, lap) < kPeakWindowSeconds) {
            ++i;
            continue;
        }
        if (values.durationFromIndexStart(i, last, lap) < kPeakWindowSeconds) break;
        const double v = speed(i);
        if (!(v > speed(i - 1) && v > speed(i + 1))) {
            ++i;
            continue;
        }
        const double t = values.floatValueWithSamplesIndex(i, MVHelper::Key_Time(), &lap);
        const std::int64_t before = values.indexOfSamplesFromTimestamp(lap, t - kPeakWindowSeconds);
        const std::int64_t after = values.indexOfSamplesFromTimestamp(lap, t + kPeakWindowSeconds);
        if (!(v > speed(before) && v > speed(after))) {
            ++i;
            continue;
        }
        bool overtaken = false;
        for (std::int64_t m = before; m <= after && !overtaken; ++m) overtaken = speed(m) > v;
        if (overtaken) {
            ++i;
            continue;
        }
        auto gate = MVPreviousNextLocation::instance();
        gate->setPreviousLocation(values.locationWithSamplesIndex(std::max(i - span, first), lap));
        gate->setNextLocation(values.locationWithSamplesIndex(i, lap));
        gates.push_back(std::move(gate));
        i = std::max(after + 2, i + 1);
    }
    return gates;
}

void MVSectorBuilder::fetchSectorsWithReferenceSectors(
    const std::vector<MVPreviousNextLocationPtr>& gates, MVLap& lap, std::int64_t gateWidth) const {
    const MVStepTimer timer("MVSectorBuilder::fetchSectorsWithReferenceSectors");
    const MVSampleValues values(manager_);
    const MVLapPoints points(values, lap, pointsAtHand_);
    static const MVLocation kOrigin;
    const MVLocation& base = manager_.baseLocation() ? *manager_.baseLocation() : kOrigin;
    const std::int64_t last = MVSampleValues::signedIndex(lap.indexEnd());
    const Span span = spanOf(lap);
    // The windows that may cross a gate searched from `from`: up to the last one with room for a
    // whole window, or to the lap's end when the search starts later than that.
    const auto searched = [&](std::int64_t j, std::int64_t from) {
        return j >= from && (from > last - span.samples || j < last - span.samples);
    };

    auto sectors = MVSectors::instance();
    sectors->addValue(lap.timestampStart());
    std::int64_t searchStart = MVSampleValues::signedIndex(lap.indexStart());
    for (const MVPreviousNextLocationPtr& gate : gates) {
        double crossing = 0.0;
        if (gate) {
            const MV2DSegmentPtr gateStart =
                MVHelper::convertLocationToSegment(*gate->previousLocation(), base);
            const MV2DSegmentPtr gateEnd =
                MVHelper::convertLocationToSegment(*gate->nextLocation(), base);
            // Every window's passage through the gate, both ways, so that the lap's direction
            // through it is known; windows of a sparse log are long: a window that passes
            // through the gate counts, however far from the gate's point its ends lie.
            // A step of a dense log with neither end within the gate's width of its end point
            // passes nowhere: that is tested once per sample, and the whole passage worked out
            // only for the steps near the gate.
            MVGatePassages passages(gateWidth);
            const std::int64_t first = points.first();
            std::vector<char> near;
            if (!span.sparse) near = MVHelper::withinGateWidth(points.all(), *gateEnd, gateWidth);
            const auto nearAt = [&](std::int64_t j) {
                return near[static_cast<std::size_t>(std::min(j, points.last()) - first)] != 0;
            };
            for (std::int64_t j = first; j <= last; ++j) {
                if (!span.sparse && !nearAt(j + span.samples) && !nearAt(j)) continue;
                passages.add(
                    j, MVHelper::passageThroughGate(points(j + span.samples), points(j), *gateStart,
                                                    *gateEnd, gateWidth, span.sparse));
            }
            for (const auto& passage : passages.all()) {
                if (!searched(passage.position, searchStart) || !passages.isCrossing(passage)) {
                    continue;
                }
                crossing = passage.passage.time;
                searchStart = passage.position + span.samples;
                break;
            }
        }
        // A gate this lap does not pass gives a sector of length 0.
        sectors->addValue(crossing != 0.0 ? crossing : sectors->values().back());
    }
    sectors->addValue(lap.timestampEnd());
    lap.setSectors(std::move(sectors));
}

void MVSectorBuilder::fetchSectorsWithReferenceSectors(
    const std::vector<MVPreviousNextLocationPtr>& gates, MVLap& lap) const {
    fetchSectorsWithReferenceSectors(gates, lap, MVOptionsAndSettings::sharedManager().gateWidth());
}

void MVSectorBuilder::fetchGForceWithLap(MVLap& lap) const {
    const MVStepTimer timer("MVSectorBuilder::fetchGForceWithLap");
    const MVSampleValues values(manager_);
    const auto known = [](double value) {
        return value == MVSampleValues::kNotAvailable ? 0.0 : value;
    };
    std::vector<MVGGForcePtr> forces;
    const std::int64_t last = MVSampleValues::signedIndex(lap.indexEnd());
    for (std::int64_t i = MVSampleValues::signedIndex(lap.indexStart()); i <= last; ++i) {
        auto force = MVGGForce::instance();
        force->setXAis(known(values.lateralAccelerationWithSamplesIndex(i, lap)));
        force->setYAis(known(values.longitudinalAccelerationWithSamplesIndex(i, lap)));
        forces.push_back(std::move(force));
    }
    lap.setGForces(std::move(forces));
}
