// The per-lap analysis that follows lap cutting.
#include "session/MVLapCutter.h"
#include "session/MVLapMapData.h"
#include "session/MVPositionAlignment.h"
#include "session/MVSampleValues.h"
#include "session/MVSectorBuilder.h"
#include "session/MVVideoLinks.h"

namespace MVLapCutter {

std::vector<MVPreviousNextLocationPtr> referenceSectorGates(const MVLapPtr& referenceLap,
                                                            MVGLDFileManager& manager) {
    return MVSectorBuilder(manager).fetchBestSpeedStartFinishWithLap(referenceLap);
}

std::vector<MV2DSegmentPtr> lapPoints(const MVLap& lap, const MVGLDFileManager& manager) {
    const MVSampleValues values(manager);
    std::vector<MV2DSegmentPtr> points;
    if (lap.indexEnd() < lap.indexStart()) return points;
    points.resize(static_cast<std::size_t>(lap.indexEnd()) + 1);
    for (std::uint64_t i = lap.indexStart(); i <= lap.indexEnd(); ++i) {
        points[i] = values.segmentWithSampleIndex(static_cast<std::int64_t>(i), lap);
    }
    return points;
}

void runFollowUp(MVLap& lap, const std::vector<MVPreviousNextLocationPtr>& gates,
                 const std::vector<MV2DSegmentPtr>* referencePoints, const MVLapCutInput& input,
                 MVGLDFileManager& manager) {
    lap.setTopSpeedKilometresPerHour(MVSampleValues(manager).topSpeedKilometresPerHour(lap));
    MVSectorBuilder sectors(manager);
    sectors.setPointsAtHand(input.points);
    sectors.fetchSectorsWithReferenceSectors(gates, lap);
    MVVideoLinks videos(manager);
    videos.fetchVideosWithLap(lap, input.aviSection, input.videoIndexRuns, input.url);
    MVLapMapData::fetchMapDataWithLap(lap, manager, {input.points, input.fixes});
    if (const auto& reference = manager.referenceLap()) {
        MVPositionAlignment::fetchPositionIndexWithReferenceLap(*reference, lap, manager,
                                                                input.points, referencePoints);
    }
    videos.fetchVideoTimestampForStartAndEnd(lap);
}

void runWholeFileFollowUp(MVLap& wholeFileLap, const MVLapCutInput& input,
                          MVGLDFileManager& manager) {
    wholeFileLap.setTopSpeedKilometresPerHour(
        MVSampleValues(manager).topSpeedKilometresPerHour(wholeFileLap));
    MVVideoLinks videos(manager);
    videos.fetchVideosWithLap(wholeFileLap, input.aviSection, input.videoIndexRuns, input.url);
    MVLapMapData::fetchMapDataWithWholeFileLap(wholeFileLap, manager, {input.points, input.fixes});
    videos.fetchVideoTimestampForStartAndEnd(wholeFileLap);
}

}  // namespace MVLapCutter
