#include "session/MVStartFinish.h"

#include "session/MVGLDFormat.h"
#include "session/MVGLDRowReader.h"
#include "session/MVGateCrossing.h"
#include "session/MVHelperGeometry.h"
#include "session/MVHelperKeys.h"
#include "session/MVLaps.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVPartThreads.h"
#include "session/MVSampleValues.h"
#include "session/ZORFileLog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace MVStartFinish {

namespace {

constexpr double kNearGate = 50.0;

struct PlaneGate {
    MV2DSegmentPtr previous;
    MV2DSegmentPtr next;
};

PlaneGate planeGate(const MVPreviousNextLocation& gate, const MVLocation& base) {
    const MVLocation empty;
    const MVLocation& prev = gate.previousLocation() ? *gate.previousLocation() : empty;
    const MVLocation& next = gate.nextLocation() ? *gate.nextLocation() : empty;
    return {MVHelper::convertLocationToSegment(prev, base),
            MVHelper::convertLocationToSegment(next, base)};
}

bool near(const MV2DSegment& point, const PlaneGate& gate) {
    const MVPoint p = point.point();
    const MVPoint g = gate.next->point();
    return std::fabs(p.x - g.x) <= kNearGate || std::fabs(p.y - g.y) <= kNearGate;
}

double groupMean(const std::vector<double>& lapDistances) {
    std::vector<std::vector<double>> groups;
    for (double d : lapDistances) {
        bool joined = false;
        for (auto& g : groups) {
            if (std::fabs(g.front() - d) < 0.1 * g.front()) {
                g.push_back(d);
                joined = true;
                break;
            }
        }
        if (!joined) groups.push_back({d});
    }
    const std::vector<double>* largest = nullptr;
    for (const auto& g : groups) {
        if (largest == nullptr || g.size() > largest->size()) largest = &g;
    }
    if (largest == nullptr) return 0;
    double sum = 0;
    for (double d : *largest) sum += d;
    return sum / static_cast<double>(largest->size());
}

// detectCrossings with the shared options' gate width, through the load's memo when there is one.
Crossings crossingsOf(CrossingsMemo* memo, const std::vector<MV2DSegmentPtr>& points,
                      const MVPreviousNextLocation& start, const MVPreviousNextLocation* finish,
                      const MVLocation& base, const std::vector<bool>* fixes) {
    if (memo) return memo->detect(points, start, finish, base, fixes);
    return detectCrossings(points, start, finish, base, fixes);
}

// Typical lap distance of the record's own gates on the session (0 when they give no lap).
double averageForRecord(const MVTrackInfo& record, const std::vector<MV2DSegmentPtr>& points,
                        const std::vector<bool>* fixes, const MVDistances& distances,
                        const MVLocation& base, CrossingsMemo* memo) {
    if (!hasGate(record.sfLocations())) return 0;
    const bool split = hasGate(record.sfLocations2());
    const auto crossings = crossingsOf(memo, points, *record.sfLocations(),
                                       split ? record.sfLocations2().get() : nullptr, base, fixes);
    if (split) {
        if (crossings.finishes.empty()) return 0;
        return averageDistanceUsingGroupMethod(crossings.starts, crossings.finishes, distances);
    }
    if (crossings.starts.size() < 2) return 0;
    return averageDistanceUsingGroupMethod(crossings.starts, distances);
}

}  // namespace

const Crossings& CrossingsMemo::detect(const std::vector<MV2DSegmentPtr>& points,
                                       const MVPreviousNextLocation& start,
                                       const MVPreviousNextLocation* finish, const MVLocation& base,
                                       const std::vector<bool>* fixes) {
    const std::int64_t width = MVOptionsAndSettings::sharedManager().gateWidth();
    // The places detectCrossings reads of the gates (a missing point reads 0, 0).
    std::vector<double> key{static_cast<double>(width), base.latitude(), base.longitude(),
                            finish != nullptr ? 1.0 : 0.0};
    const auto addGate = [&key](const MVPreviousNextLocation& gate) {
        for (const auto& location : {gate.previousLocation(), gate.nextLocation()}) {
            key.push_back(location ? location->latitude() : 0.0);
            key.push_back(location ? location->longitude() : 0.0);
        }
    };
    addGate(start);
    if (finish != nullptr) addGate(*finish);
    // Bit for bit: a NaN place never matches, and such a pair is detected afresh.
    for (const Entry& entry : entries_) {
        if (entry.points == &points && entry.fixes == fixes && entry.key == key) {
            return entry.crossings;
        }
    }
    entries_.push_back({std::move(key), &points, fixes,
                        detectCrossings(points, start, finish, base, fixes, width)});
    return entries_.back().crossings;
}

bool hasGate(const MVPreviousNextLocationPtr& gate) {
    return gate && gate->previousLocation() && gate->nextLocation();
}

std::vector<MV2DSegmentPtr> samplePoints(const std::vector<std::string>& headers,
                                         const MVSampleRows& samples,
                                         const MVFakeIndexes& fakeIndexes, const MVLocation& base,
                                         std::vector<bool>* fixes) {
    // A block per stretch of samples holds their points; the pointers share it, so no point is
    // a heap object of its own and a block lives as long as any map holds one of its points. The
    // stretches are worked out side by side, and the pointers (one count per block, so laps
    // followed up side by side seldom change the same count) are made after.
    const std::size_t count = samples.size();
    constexpr std::size_t kSamplesPerPart = 4096;
    std::vector<std::shared_ptr<std::vector<MV2DSegment>>> blocks((count + kSamplesPerPart - 1) /
                                                                  kSamplesPerPart);
    std::vector<unsigned char> located(fixes ? count : 0);
    const MVLocation::Columns columns = MVLocation::positionColumns(headers);
    MVPartThreads::runShared(
        blocks.size(),
        [&](std::size_t part) {
            const std::size_t begin = part * kSamplesPerPart;
            const std::size_t end = std::min(count, begin + kSamplesPerPart);
            auto block = std::make_shared<std::vector<MV2DSegment>>(end - begin);
            for (std::size_t i = begin; i < end; ++i) {
                const MVLocation location =
                    MVLocation::at(static_cast<std::int64_t>(i), columns, samples, fakeIndexes);
                MV2DSegment& point = (*block)[i - begin];
                point.setSpeed(location.speed());
                point.setTime(location.timestamp());
                point.setPoint(MVHelper::convertLocationToMeter(location, base));
                if (fixes) located[i] = location.latitude() != 0 && location.longitude() != 0;
            }
            blocks[part] = std::move(block);
        },
        MVGLDRowReader::defaultThreads());
    std::vector<MV2DSegmentPtr> points;
    points.reserve(count);
    for (const auto& block : blocks) {
        for (MV2DSegment& point : *block) points.emplace_back(block, &point);
    }
    if (fixes) fixes->assign(located.begin(), located.end());
    return points;
}

Crossings detectCrossings(const std::vector<MV2DSegmentPtr>& points,
                          const MVPreviousNextLocation& start, const MVPreviousNextLocation* finish,
                          const MVLocation& base, const std::vector<bool>* fixes,
                          std::optional<std::int64_t> gateWidth) {
    const std::int64_t width =
        gateWidth ? *gateWidth : MVOptionsAndSettings::sharedManager().gateWidth();
    const PlaneGate s = planeGate(start, base);
    std::optional<PlaneGate> f;
    if (finish != nullptr) f = planeGate(*finish, base);
    // Every passage through either gate, both ways; which of them are crossings is settled once
    // the session's direction through each gate is known.
    MVGatePassages startPassages(width);
    MVGatePassages finishPassages(width);
    // A sample without a position (0, 0) lies nowhere near the line: each step runs from one
    // sample with a position to the next.
    const auto located = [&](size_t i) { return !fixes || i >= fixes->size() || (*fixes)[i]; };
    size_t i = 0;
    while (i < points.size() && !located(i)) ++i;
    while (i < points.size()) {
        size_t j = i + 1;
        while (j < points.size() && !located(j)) ++j;
        // The last sample would pair with itself, which crosses nothing.
        if (j == points.size()) break;
        const MV2DSegment& current = *points[j];
        const MV2DSegment& previous = *points[i];
        // However far apart the two samples lie (sparse logs), a step that passes through a gate
        // is tested: either end near the gate will do.
        const bool nearGate = near(current, s) || near(previous, s) ||
                              (f && (near(current, *f) || near(previous, *f)));
        if (nearGate) {
            const auto position = static_cast<std::int64_t>(i);
            startPassages.add(position, MVHelper::passageThroughGate(current, previous, *s.previous,
                                                                     *s.next, width, true));
            if (f) {
                finishPassages.add(position,
                                   MVHelper::passageThroughGate(current, previous, *f->previous,
                                                                *f->next, width, true));
            }
        }
        i = j;
    }

    Crossings result;
    const auto starts = startPassages.crossings();
    const auto finishes = finishPassages.crossings();
    // A finish crossing counts only while a lap is open; at one step the start comes first.
    auto nextFinish = finishes.begin();
    const auto finishesBefore = [&](std::int64_t position) {
        for (; nextFinish != finishes.end() && nextFinish->position < position; ++nextFinish) {
            if (result.starts.size() == result.finishes.size() + 1) {
                result.finishes.push_back({nextFinish->position, nextFinish->passage.time});
            }
        }
    };
    for (const auto& c : starts) {
        finishesBefore(c.position);
        result.starts.push_back({c.position, c.passage.time});
    }
    finishesBefore(std::numeric_limits<std::int64_t>::max());
    return result;
}

double averageDistanceUsingGroupMethod(const std::vector<Crossing>& crossings,
                                       const MVDistances& distances) {
    std::vector<double> laps;
    for (size_t k = 1; k < crossings.size(); ++k) {
        laps.push_back(distances.valueAtIndex(crossings[k].position) -
                       distances.valueAtIndex(crossings[k - 1].position));
    }
    return groupMean(laps);
}

double averageDistanceUsingGroupMethod(const std::vector<Crossing>& starts,
                                       const std::vector<Crossing>& finishes,
                                       const MVDistances& distances) {
    std::vector<double> laps;
    for (size_t k = 0; k < finishes.size() && k < starts.size(); ++k) {
        laps.push_back(distances.valueAtIndex(finishes[k].position) -
                       distances.valueAtIndex(starts[k].position));
    }
    return groupMean(laps);
}

MVPreviousNextLocationPtr gateFromLaptimingNumbers(const std::vector<double>& numbers) {
    if (numbers.size() < 4) return nullptr;
    auto gate = MVPreviousNextLocation::instance();
    gate->nextLocation()->setLongitude(numbers[0] / MVHelper::LONGITUDE_TO_DECIMAL_MINUTES);
    gate->nextLocation()->setLatitude(numbers[1] / MVHelper::LATITUDE_TO_DECIMAL_MINUTES);
    gate->previousLocation()->setLongitude(numbers[2] / MVHelper::LONGITUDE_TO_DECIMAL_MINUTES);
    gate->previousLocation()->setLatitude(numbers[3] / MVHelper::LATITUDE_TO_DECIMAL_MINUTES);
    return gate;
}

MVTrackInfoPtr trackInfoFromLaptiming(const std::vector<std::string_view>& lines) {
    size_t i = 0;
    while (i < lines.size() && lines[i] != MVGLDFormat::kLaptimingSection) ++i;
    if (i == lines.size()) {
        ZORFileLog::writeToTextFile("GLD File doesn't provide SF locations");
        return nullptr;
    }
    std::vector<double> numbers;
    for (++i; i < lines.size() && lines[i] != MVGLDFormat::kDataSection; ++i) {
        if (lines[i].empty()) continue;
        const auto parsed = MVGLDFormat::parseLaptimingLine(lines[i]);
        if (parsed.kind == MVGLDFormat::LaptimingLine::Kind::Other) continue;
        numbers.insert(numbers.end(), parsed.numbers.begin(), parsed.numbers.end());
        if (parsed.kind == MVGLDFormat::LaptimingLine::Kind::Finish) break;
    }
    if (numbers.size() < 4) return nullptr;
    auto record = MVTrackInfo::instance();
    record->setSfLocations(gateFromLaptimingNumbers(numbers));
    if (numbers.size() == 8) {
        record->setSfLocations2(
            gateFromLaptimingNumbers(std::vector<double>(numbers.begin() + 4, numbers.end())));
    }
    return record;
}

std::vector<std::string> laptimingLines(const std::vector<std::string_view>& lines) {
    auto first = std::find(lines.begin(), lines.end(), MVGLDFormat::kLaptimingSection);
    if (first == lines.end()) return {};
    auto last = std::find(first + 1, lines.end(), MVGLDFormat::kDataSection);
    if (last != lines.end()) ++last;
    return std::vector<std::string>(first, last);
}

MVTrackInfoPtr fetchSFWithArrayOfLines(const std::vector<std::string_view>& lines,
                                       const std::vector<MV2DSegmentPtr>& points,
                                       const std::vector<bool>* fixes, const MVDistances& distances,
                                       const std::vector<MVTrackInfoPtr>& candidates,
                                       const MVGLDFileManager& manager, CrossingsMemo* memo) {
    const MVLocation base = manager.baseLocationOrOrigin();
    MVTrackInfoPtr result;

    if (const auto& inUse = manager.trackInfo()) {
        // A further file must fit the record in use.
        if (!hasGate(inUse->sfLocations())) return MVTrackInfo::blank();
        const bool split = hasGate(inUse->sfLocations2());
        const auto crossings =
            crossingsOf(memo, points, *inUse->sfLocations(),
                        split ? inUse->sfLocations2().get() : nullptr, base, fixes);
        double a = 0;
        if (split) {
            if (crossings.finishes.empty()) return MVTrackInfo::blank();
            a = averageDistanceUsingGroupMethod(crossings.starts, crossings.finishes, distances);
        } else {
            if (crossings.starts.size() < 2) return MVTrackInfo::blank();
            a = averageDistanceUsingGroupMethod(crossings.starts, distances);
        }
        const auto& firstLaps = manager.arrayOfMVLaps();
        if (firstLaps.empty() || !firstLaps.front() || firstLaps.front()->count() == 0) {
            return MVTrackInfo::blank();
        }
        const auto fastest = firstLaps.front()->findFastestLap();
        if (!fastest) return MVTrackInfo::blank();
        if (std::fabs(fastest->distance() - a) <= 0.1 * fastest->distance()) return inUse;
        return nullptr;
    }

    if (auto own = trackInfoFromLaptiming(lines)) {
        const bool split = hasGate(own->sfLocations2());
        const auto crossings =
            crossingsOf(memo, points, *own->sfLocations(),
                        split ? own->sfLocations2().get() : nullptr, base, fixes);
        double a = 0;
        if (split) {
            if (crossings.finishes.empty()) return nullptr;
            a = averageDistanceUsingGroupMethod(crossings.starts, crossings.finishes, distances);
        } else if (crossings.starts.size() < 2) {
            result = candidates.empty() ? nullptr : candidates.front();
            return result && hasGate(result->sfLocations()) ? result : nullptr;
        } else {
            a = averageDistanceUsingGroupMethod(crossings.starts, distances);
        }
        for (const auto& c : candidates) {
            if (std::fabs(a - own->length()) > std::fabs(a - c->length())) {
                own->setTrackName(c->trackName());
                own->setLength(c->length());
            }
        }
        return own;
    }

    double bestGap = 0;
    for (const auto& c : candidates) {
        const float a =
            static_cast<float>(averageForRecord(*c, points, fixes, distances, base, memo));
        if (a == 0) continue;
        const double gap = std::fabs(c->length() - a);
        if (!result || gap < bestGap) {
            result = c;
            bestGap = gap;
        }
    }
    return result && hasGate(result->sfLocations()) ? result : nullptr;
}

std::int64_t quickCheckLapsNumber(const MVPreviousNextLocation* start,
                                  const MVPreviousNextLocation* finish,
                                  const MVGLDFileManager& manager,
                                  std::optional<std::int64_t> gateWidth) {
    if (start == nullptr || manager.arrayOfSamples().empty() || manager.arrayOfHeaders().empty() ||
        manager.arrayOfFakeIndexes().empty() || !manager.arrayOfFakeIndexes().front()) {
        return 0;
    }
    const MVLocation base = manager.baseLocationOrOrigin();
    std::vector<bool> fixes;
    const auto points =
        samplePoints(manager.arrayOfHeaders().front(), manager.arrayOfSamples().front(),
                     *manager.arrayOfFakeIndexes().front(), base, &fixes);
    const auto crossings = detectCrossings(points, *start, finish, base, &fixes, gateWidth);
    if (finish != nullptr) return static_cast<std::int64_t>(crossings.finishes.size());
    return std::max<std::int64_t>(0, static_cast<std::int64_t>(crossings.starts.size()) - 1);
}

MVPreviousNextLocationPtr findSFLocationsWithIndexOfFirstGLDFile(std::int64_t n,
                                                                 const MVGLDFileManager& manager) {
    const auto& whole = manager.arrayOfWholeFileMVLaps();
    if (whole.empty() || !whole.front() || whole.front()->count() == 0) return nullptr;
    const auto lap = whole.front()->lapAtIndex(0);
    if (!lap) return nullptr;
    const MVSampleValues values(manager);
    auto gate = MVPreviousNextLocation::instance();
    gate->setPreviousLocation(values.locationWithSamplesIndex(n - 10, *lap));
    gate->setNextLocation(values.locationWithSamplesIndex(n, *lap));
    return gate;
}

MV2DSegmentPtr segmentFromLocation(const MVLocation* location, const MVGLDFileManager& manager) {
    if (location == nullptr || !manager.baseLocation()) return nullptr;
    return MVHelper::convertLocationToSegment(*location, *manager.baseLocation());
}

}  // namespace MVStartFinish
