#include "session/MVLapCutter.h"

#include "session/MVDerivedSeries.h"
#include "session/MVGLDRowReader.h"
#include "session/MVHelperKeys.h"
#include "session/MVLapMapData.h"
#include "session/MVPartThreads.h"
#include "session/MVPositionAlignment.h"
#include "session/MVSampleValues.h"
#include "session/MVStartFinish.h"
#include "session/MVStepTimer.h"

#include <chrono>
#include <cstdio>

namespace MVLapCutter {

namespace {

MVLapPtr newLap(std::uint64_t number, const MVLapCutInput& input, const std::string& name) {
    auto lap = MVLap::instance();
    lap->setNumber(number);
    lap->setIsQuarto(input.isQuarto);
    lap->setGldFile(name);
    return lap;
}

// Seconds of day of a row's "time" field, with hours past 23 folded back.
std::optional<double> timeOfDay(const MVLapCutInput& input, std::size_t row) {
    const double raw = MVDerivedSeries::timeValueWithIndex(row, *input.headers, *input.samples);
    char text[32];
    std::snprintf(text, sizeof text, "%09.2f", raw);
    return MVDerivedSeries::secondsOfDayWithTimeText(
        MVDerivedSeries::stringWithDateStringMoreThan24(text));
}

// The whole-file lap's sector lists: 0, the start-gate crossing times and the end time; the
// finish-gate crossing times. Without crossings only 0 and the end time.
void setWholeFileSectors(MVLap& wholeFileLap, const MVStartFinish::Crossings* crossings,
                         double endTime) {
    auto sectors = MVSectors::instance();
    auto finishSectors = MVSectors::instance();
    sectors->addValue(0);
    if (crossings) {
        for (const auto& c : crossings->starts) sectors->addValue(c.time);
        for (const auto& c : crossings->finishes) finishSectors->addValue(c.time);
    }
    sectors->addValue(endTime);
    wholeFileLap.setSectors(sectors);
    wholeFileLap.setSectors2(finishSectors);
}

// The complete laps, numbered from 1: start to finish crossing on a split layout, else start to
// next start crossing.
MVLapsPtr cutCompleteLaps(const MVLapCutInput& input, const MVStartFinish::Crossings& crossings,
                          bool split, const std::string& name) {
    const auto& distances = *input.distances;
    auto laps = MVLaps::instance();
    auto addComplete = [&](std::uint64_t number, const MVStartFinish::Crossing& from,
                           const MVStartFinish::Crossing& to) {
        auto lap = newLap(number, input, name);
        lap->setIndexStart(static_cast<std::uint64_t>(from.position));
        lap->setIndexEnd(static_cast<std::uint64_t>(to.position));
        lap->setTimestampStart(from.time);
        lap->setTimestampEnd(to.time);
        lap->setDuration(to.time - from.time);
        lap->setDistance(distances.valueAtIndex(to.position) -
                         distances.valueAtIndex(from.position));
        laps->addLap(lap);
    };
    if (split) {
        for (size_t k = 0; k < crossings.finishes.size() && k < crossings.starts.size(); ++k) {
            addComplete(k + 1, crossings.starts[k], crossings.finishes[k]);
        }
    } else {
        for (size_t k = 0; k + 1 < crossings.starts.size(); ++k) {
            addComplete(k + 1, crossings.starts[k], crossings.starts[k + 1]);
        }
    }
    return laps;
}

// The unfinished last lap, from the last start crossing to the last row; nullptr when the last
// crossing is on the last row or there is none.
MVLapPtr unfinishedLastLap(const MVLapCutInput& input, const MVStartFinish::Crossings& crossings,
                           const std::string& name) {
    const auto lastRow = static_cast<std::int64_t>(input.samples->size()) - 1;
    if (crossings.starts.empty() || crossings.starts.back().position == lastRow) return nullptr;
    const auto& from = crossings.starts.back();
    auto lap = newLap(crossings.starts.size(), input, name);
    lap->setIsUnfinishedLap(true);
    lap->setIndexStart(static_cast<std::uint64_t>(from.position));
    lap->setIndexEnd(static_cast<std::uint64_t>(lastRow));
    lap->setTimestampStart(from.time);
    lap->setTimestampEnd(input.fakeIndexes->valueAtIndex(lastRow));
    // Time of day of the last row minus that of the lap's first row; a lap that runs past
    // midnight wraps to a positive duration.
    const auto endOfDay = timeOfDay(input, static_cast<std::size_t>(lastRow));
    const auto startOfDay = timeOfDay(input, static_cast<std::size_t>(from.position));
    double duration = lap->timestampEnd() - lap->timestampStart();
    if (endOfDay && startOfDay) {
        duration = *endOfDay - *startOfDay;
        if (duration < 0) duration += 86400;
    }
    lap->setDuration(duration);
    lap->setDistance(input.distances->valueAtIndex(lastRow) -
                     input.distances->valueAtIndex(from.position));
    return lap;
}

// The first file: its fastest complete lap is the reference. The unfinished lap is left out,
// since a nearly complete one is shorter than any real lap.
void chooseReferenceLap(const MVLaps& laps, std::size_t complete, MVGLDFileManager& manager) {
    auto completeLaps = MVLaps::instance();
    for (std::size_t i = 0; i < complete; ++i) completeLaps->addLap(laps.lapAtIndex(i));
    manager.setReferenceLap(completeLaps->findFastestLap());
}

// The follow-up of every lap, against the reference lap's sector gates and plane points.
void followUpLaps(const MVLaps& laps, const MVLapCutInput& input, const MVLap& wholeFileLap,
                  MVGLDFileManager& manager) {
    std::vector<MVPreviousNextLocationPtr> referenceGates;
    std::vector<MV2DSegmentPtr> referencePoints;
    const std::vector<MV2DSegmentPtr>* referencePointsAtHand = nullptr;
    if (const auto& reference = manager.referenceLap()) {
        referenceGates = referenceSectorGates(reference, manager);
        // The reference lap's plane points, converted once for every lap of this file.
        if (reference->gldFile() == wholeFileLap.gldFile()) {
            referencePointsAtHand = input.points;
        } else {
            referencePoints = lapPoints(*reference, manager);
            referencePointsAtHand = &referencePoints;
        }
    }
    // Each lap's follow-up writes only that lap and reads what no follow-up writes (the lists,
    // the reference lap's cut, the points), so the laps are followed up side by side; a short
    // session's laps are not worth waking threads for.
    constexpr std::size_t kSamplesWorthThreads = 4096;
    const bool sideBySide = input.samples->size() >= kSamplesWorthThreads;
    MVPartThreads::runShared(
        laps.count(),
        [&](std::size_t i) {
            runFollowUp(*laps.lapAtIndex(i), referenceGates, referencePointsAtHand, input, manager);
        },
        sideBySide ? MVGLDRowReader::defaultThreads() : 1);
}

}  // namespace

MVLapsPtr fetchLaps(const MVLapCutInput& input, MVLap& wholeFileLap, MVGLDFileManager& manager) {
    const MVStepTimer timer("MVLapCutter::fetchLaps");
    const MVSampleValues values(manager);
    const auto& record = manager.trackInfo();
    const std::string& name = wholeFileLap.gldFile();
    const double endTime = values.floatValueWithSamplesIndex(
        static_cast<std::int64_t>(wholeFileLap.indexEnd()), MVHelper::Key_Time(), &wholeFileLap);

    if (!record || !MVStartFinish::hasGate(record->sfLocations())) {
        setWholeFileSectors(wholeFileLap, nullptr, endTime);
        return nullptr;
    }

    const MVLocation base = manager.baseLocationOrOrigin();
    const bool split = MVStartFinish::hasGate(record->sfLocations2());
    const MVPreviousNextLocation* finish = split ? record->sfLocations2().get() : nullptr;
    const auto crossings =
        input.crossings ? input.crossings->detect(*input.points, *record->sfLocations(), finish,
                                                  base, input.fixes)
                        : MVStartFinish::detectCrossings(*input.points, *record->sfLocations(),
                                                         finish, base, input.fixes);
    auto laps = cutCompleteLaps(input, crossings, split, name);
    const std::size_t complete = laps->count();
    if (complete > 0) laps->addLap(unfinishedLastLap(input, crossings, name));
    setWholeFileSectors(wholeFileLap, &crossings, endTime);

    if (complete == 0) return nullptr;
    if (manager.arrayOfMVLaps().empty()) chooseReferenceLap(*laps, complete, manager);
    followUpLaps(*laps, input, wholeFileLap, manager);
    return laps;
}

}  // namespace MVLapCutter
