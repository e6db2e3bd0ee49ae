#pragma once

#include "session/MV2DSegment.h"
#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVPreviousNextLocation.h"

#include <cstdint>
#include <vector>

// The program's own sector gates and the sector boundary times of every lap. One gate sits at
// each clear speed peak of the reference lap (the fastest lap of the first loaded session); every
// lap of every session is then timed through those gates. Samples are read only through the
// value lookups (MVSampleValues) of the manager given; plane points are about its base location.
//
// Runs where the manager's lists are not being written: the loading thread for the gates, the
// per-lap follow-up for the sectors. Each operation writes one "%s executed %fs" timing line to
// standard error.
class MVSectorBuilder {
  public:
    // A peak needs this many seconds of the lap before and after it, and is the highest speed
    // within this many seconds on either side.
    static constexpr double kPeakWindowSeconds = 5.0;
    // A gate runs from the sample this many samples before the peak to the peak; the crossing
    // search steps over windows of this many samples. In logs sparser than 5 rows a second
    // (MVDerivedSeries::isSparseStep of the lap's typical step) both span the rows of about
    // kSparseSpanSeconds instead (at least one), as 10 rows do at 10 Hz, and a window crosses a
    // gate when it passes through it (MVHelper::interpolateTimeThroughGate): ten rows of a 1 Hz
    // log are ten seconds, which put boundaries seconds off or gave empty sectors.
    static constexpr std::int64_t kGateSpan = 10;
    static constexpr double kSparseSpanSeconds = 1.0;

    explicit MVSectorBuilder(const MVGLDFileManager& manager = MVGLDFileManager::sharedManager())
        : manager_(manager) {}

    // The sector gates of the reference lap, in the order it meets them (possibly none; none for
    // a null lap). Walking the lap's samples, sample i is a peak when it lies at least 5 s after
    // the lap's start and 5 s before its end, its speed v is strictly above both neighbours' and
    // strictly above the speeds at 5 s before and after it, and no sample within those 5 s on
    // either side is faster (equal speeds do not disqualify). A peak's gate runs from the
    // location of sample i - 10 (never before the lap's first sample) to that of sample i; the
    // walk goes on two samples past the window's end.
    std::vector<MVPreviousNextLocationPtr> fetchBestSpeedStartFinishWithLap(
        const MVLapPtr& referenceLap) const;

    // Replaces the lap's sectors with [timestampStart, one crossing time per gate, timestampEnd].
    // Each gate is searched from the sample after the previous gate's window, over steps from
    // sample j to sample j + 10 (plane points of samples past the lap's end are its last one's);
    // the first step that crosses the gate line within `gateWidth` metres of the gate gives the
    // interpolated time. A gate the lap does not cross repeats the last boundary (a sector of
    // length 0, "gate not found"), so every lap has gates + 2 boundaries.
    void fetchSectorsWithReferenceSectors(const std::vector<MVPreviousNextLocationPtr>& gates,
                                          MVLap& lap, std::int64_t gateWidth) const;
    // The same with the gate width of the shared options object.
    void fetchSectorsWithReferenceSectors(const std::vector<MVPreviousNextLocationPtr>& gates,
                                          MVLap& lap) const;
    // The plane points of the lap's session already at hand, by sample index (the loading
    // pipeline's MVStartFinish::samplePoints about the manager's base location): the search reads
    // them instead of converting the lap's samples again. Null (the default): converted here.
    void setPointsAtHand(const std::vector<MV2DSegmentPtr>* points) { pointsAtHand_ = points; }

    // Replaces the lap's gForces with one lateral/longitudinal pair (g) per sample from
    // indexStart to indexEnd, from the headings and the stored km/h speeds of each sample and
    // the one before it, at the session's own step there. The session's first sample reads 0 g;
    // a channel the session lacks reads 0 g. Nothing in the program runs it.
    void fetchGForceWithLap(MVLap& lap) const;

  private:
    struct Span {
        std::int64_t samples = kGateSpan;
        bool sparse = false;
    };
    // The gate and window span of the lap's log.
    Span spanOf(const MVLap& lap) const;

    const MVGLDFileManager& manager_;
    const std::vector<MV2DSegmentPtr>* pointsAtHand_ = nullptr;
};
