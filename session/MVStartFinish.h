#pragma once

#include "session/MV2DSegment.h"
#include "session/MVDistances.h"
#include "session/MVFakeIndexes.h"
#include "session/MVGLDFileManager.h"
#include "session/MVLocation.h"
#include "session/MVPreviousNextLocation.h"
#include "session/MVSampleRow.h"
#include "session/MVTrackInfo.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>
#include <vector>

// Gate crossings and the choice of a session's circuit record.
namespace MVStartFinish {

// A gate crossing: the vehicle crossed between sample `position` and sample position + 1, at
// `time` (elapsed seconds, interpolated on the gate line).
struct Crossing {
    std::int64_t position = 0;
    double time = 0;
};

struct Crossings {
    std::vector<Crossing> starts;
    std::vector<Crossing> finishes;  // split layouts only: accepted while a lap is open
};

// The plane points of every sample of a session about `base` (time = elapsed time). With `fixes`,
// also whether each sample has a position fix (latitude and longitude both non-zero).
std::vector<MV2DSegmentPtr> samplePoints(const std::vector<std::string>& headers,
                                         const MVSampleRows& samples,
                                         const MVFakeIndexes& fakeIndexes, const MVLocation& base,
                                         std::vector<bool>* fixes = nullptr);

// Crossings of the start/finish gate and, when `finish` is given, of the finish gate. A pair of
// samples is tested only when one of them lies within 50 m (east-west or north-south) of a gate's
// next point, and passes through the gate when the step between them meets the gate line within
// the gate width of its next point (MVHelper::passageThroughGate). Of those passages only the
// ones in the direction the session drives through that gate are crossings (MVGatePassages, the
// direction learnt from all of the session's passages through it). With `fixes`
// (samplePoints'), samples without a position take no part: a pair runs from a sample with a
// position to the next one with a position. `gateWidth`: metres, the shared options' when none.
Crossings detectCrossings(const std::vector<MV2DSegmentPtr>& points,
                          const MVPreviousNextLocation& start, const MVPreviousNextLocation* finish,
                          const MVLocation& base, const std::vector<bool>* fixes = nullptr,
                          std::optional<std::int64_t> gateWidth = std::nullopt);

// The crossings one load has detected on its points, by gate pair, so that the circuit choice and
// the lap cutting detect those of one pair once. A pair is told by the places of its gate points,
// the base location and the gate width, on the same points and fixes. One thread at a time.
class CrossingsMemo {
  public:
    // detectCrossings(points, start, finish, base, fixes) with the shared options' gate width,
    // worked out at the first call for that pair.
    const Crossings& detect(const std::vector<MV2DSegmentPtr>& points,
                            const MVPreviousNextLocation& start,
                            const MVPreviousNextLocation* finish, const MVLocation& base,
                            const std::vector<bool>* fixes);

  private:
    struct Entry {
        std::vector<double> key;
        const std::vector<MV2DSegmentPtr>* points = nullptr;
        const std::vector<bool>* fixes = nullptr;
        Crossings crossings;
    };
    std::deque<Entry> entries_;  // a crossing list handed out stays where it is
};

// True when the gate has both of its points.
bool hasGate(const MVPreviousNextLocationPtr& gate);

// Typical lap distance: lap distances grouped (a distance joins the first group whose first
// member v is within 10 % of v), the mean of the largest group, the earliest on ties; 0 without
// any lap distance.
double averageDistanceUsingGroupMethod(const std::vector<Crossing>& crossings,
                                       const MVDistances& distances);
double averageDistanceUsingGroupMethod(const std::vector<Crossing>& starts,
                                       const std::vector<Crossing>& finishes,
                                       const MVDistances& distances);

// The gate of a "[laptiming]" "Start" or "Finish" line's numbers (minutes of arc, longitude west
// positive): next location = the first point, previous location = the second, in degrees east
// positive. nullptr with fewer than four numbers.
MVPreviousNextLocationPtr gateFromLaptimingNumbers(const std::vector<double>& numbers);

// The gates written in the file's "[laptiming]" section, as a record without name (nullptr when
// there is no section or fewer than four numbers).
MVTrackInfoPtr trackInfoFromLaptiming(const std::vector<std::string_view>& lines);
// The lines trackInfoFromLaptiming reads, copied: from the first "[laptiming]" line to the
// "[data]" line after it (or to the end); none without the section. trackInfoFromLaptiming
// gives the same record for them as for all lines.
std::vector<std::string> laptimingLines(const std::vector<std::string_view>& lines);

// Settles the circuit record of a session being loaded: the record in use when the session fits
// it (a blank record when it does not cross its gates, nullptr when its laps are of another
// length), else the file's own gates named after the nearest candidate, else the candidate whose
// gates give laps closest to its length. nullptr when nothing applies. `points` and `fixes` are
// the session's samplePoints() about the manager's base location; `memo`, when given, keeps the
// crossings it detects for the load's lap cutting.
MVTrackInfoPtr fetchSFWithArrayOfLines(const std::vector<std::string_view>& lines,
                                       const std::vector<MV2DSegmentPtr>& points,
                                       const std::vector<bool>* fixes, const MVDistances& distances,
                                       const std::vector<MVTrackInfoPtr>& candidates,
                                       const MVGLDFileManager& manager,
                                       CrossingsMemo* memo = nullptr);

// Track wizard: laps the gates give on the first loaded file (0 without a start gate or file),
// crossed as the full load crosses them, with a gate `gateWidth` metres wide (the shared
// options' when none): the number of finish crossings with two gates, else the crossings less 1.
std::int64_t quickCheckLapsNumber(const MVPreviousNextLocation* start,
                                  const MVPreviousNextLocation* finish,
                                  const MVGLDFileManager& manager,
                                  std::optional<std::int64_t> gateWidth = std::nullopt);
// Track wizard: a gate from sample n - 10 to sample n of the first file (nullptr without one).
MVPreviousNextLocationPtr findSFLocationsWithIndexOfFirstGLDFile(std::int64_t n,
                                                                 const MVGLDFileManager& manager);
// The plane point of a location about the base location; nullptr when either is missing.
MV2DSegmentPtr segmentFromLocation(const MVLocation* location, const MVGLDFileManager& manager);

}  // namespace MVStartFinish
