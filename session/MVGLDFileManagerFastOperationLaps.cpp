// The second half of the fast summary parse: the coarse gate-crossing search, the choice of the
// session's circuit and its complete laps.
#include "session/MVDerivedSeries.h"
#include "session/MVGLDFileManagerFastOperation.h"
#include "session/MVHelperGeometry.h"
#include "session/MVSampleValues.h"
#include "session/MVStepTimer.h"
#include "session/ZORFileLog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// The circuit when it has a start gate (logged), else none.
MVTrackInfoPtr withStartGate(MVTrackInfoPtr track) {
    if (!track || !MVStartFinish::hasGate(track->sfLocations())) return nullptr;
    ZORFileLog::writeToTextFile("fast fetchSFWithArrayOfLines: " + track->description());
    return track;
}

}  // namespace

std::vector<double> MVGLDFileManagerFastOperation::arrayOfNumbersWithSample(
    const std::vector<std::string>& fields) {
    return MVSampleValues::arrayOfNumbersWithSample(fields);
}

std::size_t MVGLDFileManagerFastOperation::crossingStepRows(const MVFakeIndexes& fakeIndexes) {
    const double step = MVDerivedSeries::typicalStep(
        fakeIndexes, 0, static_cast<std::int64_t>(fakeIndexes.count()) - 1);
    if (!MVDerivedSeries::isSparseStep(step)) return kCrossingStep;
    return static_cast<std::size_t>(std::max(1.0, std::floor(kCrossingStepSeconds / step + 0.5)));
}

MVGLDFileManagerFastOperation::StepPoints MVGLDFileManagerFastOperation::stepPoints(
    const ChannelNames& headers, const MVSampleRows& samples,
    const MVFakeIndexes& fakeIndexes) const {
    StepPoints points;
    if (samples.empty()) return points;
    const MVLocation origin = base();
    const std::size_t stride = crossingStepRows(fakeIndexes);
    // The plane point of a row, unless the row has no position (0, 0), which lies nowhere near
    // the line.
    const auto add = [&](std::size_t row) {
        const auto location =
            MVLocation::location(static_cast<std::int64_t>(row), headers, samples, fakeIndexes);
        if (location->latitude() == 0 || location->longitude() == 0) return false;
        points.rows.push_back(row);
        points.points.push_back(MVHelper::convertLocationToSegment(*location, origin));
        return true;
    };
    points.rows.reserve(samples.size() / stride + 2);
    points.points.reserve(samples.size() / stride + 2);
    // Steps start at rows 0, stride, 2 stride, ... (or at the first row with a position within
    // the step); the last row with a position ends the final step.
    for (std::size_t row = 0; row < samples.size(); row += stride) {
        const std::size_t end = std::min(row + stride, samples.size());
        for (std::size_t r = row; r < end && !add(r); ++r) {
        }
    }
    for (std::size_t r = samples.size(); r-- > 0;) {
        if (!points.rows.empty() && r <= points.rows.back()) break;
        if (add(r)) break;
    }
    return points;
}

MVStartFinish::Crossings MVGLDFileManagerFastOperation::crossings(
    const StepPoints& points, const MVPreviousNextLocation& start,
    const MVPreviousNextLocation* finish) const {
    // The search of the full load over the step points; its positions are steps, made rows.
    MVStartFinish::Crossings result =
        MVStartFinish::detectCrossings(points.points, start, finish, base());
    for (auto* list : {&result.starts, &result.finishes}) {
        for (MVStartFinish::Crossing& c : *list) {
            c.position =
                static_cast<std::int64_t>(points.rows[static_cast<std::size_t>(c.position)]);
        }
    }
    return result;
}

std::vector<MVStartFinish::Crossing> MVGLDFileManagerFastOperation::arrayOfSFTimeWithSFLocations(
    const MVPreviousNextLocation& sfLocations, const ChannelNames& headers,
    const MVSampleRows& samples, const MVFakeIndexes& fakeIndexes) const {
    return crossings(stepPoints(headers, samples, fakeIndexes), sfLocations, nullptr).starts;
}

MVStartFinish::Crossings MVGLDFileManagerFastOperation::arrayOfSFTimeWithSFLocations(
    const MVPreviousNextLocation& sfLocations, const MVPreviousNextLocation& sfLocations2,
    const ChannelNames& headers, const MVSampleRows& samples,
    const MVFakeIndexes& fakeIndexes) const {
    return crossings(stepPoints(headers, samples, fakeIndexes), sfLocations, &sfLocations2);
}

double MVGLDFileManagerFastOperation::averageDistanceUsingGroupMethod(
    const std::vector<MVStartFinish::Crossing>& crossings, const MVDistances& distances) {
    return MVStartFinish::averageDistanceUsingGroupMethod(crossings, distances);
}

double MVGLDFileManagerFastOperation::averageDistanceUsingGroupMethod(
    const std::vector<MVStartFinish::Crossing>& starts,
    const std::vector<MVStartFinish::Crossing>& finishes, const MVDistances& distances) {
    return MVStartFinish::averageDistanceUsingGroupMethod(starts, finishes, distances);
}

double MVGLDFileManagerFastOperation::measuredLapDistance(const MVTrackInfo& record,
                                                          const StepPoints& points,
                                                          const MVDistances& distances) const {
    if (!MVStartFinish::hasGate(record.sfLocations())) return 0;
    if (MVStartFinish::hasGate(record.sfLocations2())) {
        const auto found = crossings(points, *record.sfLocations(), record.sfLocations2().get());
        if (found.finishes.empty()) return 0;
        return averageDistanceUsingGroupMethod(found.starts, found.finishes, distances);
    }
    const auto found = crossings(points, *record.sfLocations(), nullptr);
    if (found.starts.size() <= 1) return 0;
    return averageDistanceUsingGroupMethod(found.starts, distances);
}

MVTrackInfoPtr MVGLDFileManagerFastOperation::fetchSFWithArrayOfLines(
    const Lines& lines, const ChannelNames& headers, const MVSampleRows& samples,
    const MVFakeIndexes& fakeIndexes, const MVDistances& distances, const TrackList& tracks) const {
    return chooseCircuit(lines, stepPoints(headers, samples, fakeIndexes), distances, tracks);
}

MVTrackInfoPtr MVGLDFileManagerFastOperation::chooseCircuit(const Lines& lines,
                                                            const StepPoints& points,
                                                            const MVDistances& distances,
                                                            const TrackList& tracks) const {
    const MVStepTimer timer("MVGLDFileManagerFastOperation::fetchSFWithArrayOfLines");
    const auto logCandidate = [](const MVTrackInfo& candidate, double lapDistance) {
        std::fprintf(stderr, "Length: %3.2f Lap: %3.2f, Diff: %3.2f, %s\n", candidate.length(),
                     lapDistance, std::fabs(candidate.length() - lapDistance),
                     candidate.trackName().c_str());
    };

    MVTrackInfoPtr result = MVTrackInfo::instance();
    if (MVTrackInfoPtr own = MVStartFinish::trackInfoFromLaptiming(lines)) {
        // The file's own gates, named after the candidate nearest in length.
        double lapDistance = 0;
        if (MVStartFinish::hasGate(own->sfLocations2())) {
            const auto found = crossings(points, *own->sfLocations(), own->sfLocations2().get());
            if (found.finishes.empty()) return nullptr;
            lapDistance = averageDistanceUsingGroupMethod(found.starts, found.finishes, distances);
        } else {
            const auto found = crossings(points, *own->sfLocations(), nullptr);
            if (found.starts.size() <= 1) {
                // The file's gate does not cut this session: the first candidate as it stands.
                return tracks.empty() ? nullptr : withStartGate(tracks.front());
            }
            lapDistance = averageDistanceUsingGroupMethod(found.starts, distances);
        }
        for (const MVTrackInfoPtr& candidate : tracks) {
            logCandidate(*candidate, lapDistance);
            if (std::fabs(lapDistance - candidate->length()) <
                std::fabs(lapDistance - own->length())) {
                own->setTrackName(candidate->trackName());
                own->setLength(candidate->length());
            }
        }
        return withStartGate(std::move(own));
    }
    // No gate in the file: the candidate whose own gates give laps nearest its length.
    double bound = std::numeric_limits<double>::max();
    for (const MVTrackInfoPtr& candidate : tracks) {
        const float measured =
            static_cast<float>(measuredLapDistance(*candidate, points, distances));
        logCandidate(*candidate, measured);
        const double gap = std::fabs(candidate->length() - static_cast<double>(measured));
        if (gap < bound) {
            bound = gap;
            result = candidate;
        }
    }
    return withStartGate(std::move(result));
}

MVLapsPtr MVGLDFileManagerFastOperation::fetchLapsWithArrayOfLines(
    const Lines& /*lines*/, const ChannelNames& headers, const MVSampleRows& samples,
    const MVFakeIndexes& fakeIndexes, const MVDistances& distances,
    const std::filesystem::path& /*url*/) const {
    const MVTrackInfoPtr track = trackInfo();
    if (!track) return nullptr;
    return cutLaps(*track, stepPoints(headers, samples, fakeIndexes), distances);
}

MVLapsPtr MVGLDFileManagerFastOperation::cutLaps(const MVTrackInfo& track, const StepPoints& points,
                                                 const MVDistances& distances) const {
    const MVStepTimer timer("MVGLDFileManagerFastOperation::fetchLapsWithArrayOfLines");
    if (!MVStartFinish::hasGate(track.sfLocations())) return nullptr;
    const bool split = MVStartFinish::hasGate(track.sfLocations2());
    const auto found =
        crossings(points, *track.sfLocations(), split ? track.sfLocations2().get() : nullptr);

    auto laps = MVLaps::instance();
    const auto addLap = [&](const MVStartFinish::Crossing& from,
                            const MVStartFinish::Crossing& to) {
        auto lap = MVLap::instance();
        lap->setNumber(laps->count() + 1);
        lap->setIndexStart(static_cast<std::uint64_t>(from.position));
        lap->setIndexEnd(static_cast<std::uint64_t>(to.position));
        lap->setDuration(to.time - from.time);
        lap->setDistance(distances.valueAtIndex(to.position) -
                         distances.valueAtIndex(from.position));
        laps->addLap(std::move(lap));
    };
    if (split) {
        for (std::size_t k = 0; k < found.finishes.size(); ++k) {
            addLap(found.starts[k], found.finishes[k]);
        }
    } else {
        for (std::size_t k = 1; k < found.starts.size(); ++k) {
            addLap(found.starts[k - 1], found.starts[k]);
        }
    }
    std::string numbers;
    for (const MVLapPtr& lap : laps->data()) {
        if (!numbers.empty()) numbers += ", ";
        char text[96];
        std::snprintf(text, sizeof text, "%llu: %.2f s",
                      static_cast<unsigned long long>(lap->number()), lap->duration());
        numbers += text;
    }
    ZORFileLog::writeToTextFile("fast fetchLapsWithArrayOfLines: (" + numbers + ")");
    return laps->count() == 0 ? nullptr : laps;
}
