// The per-lap analysis that follows lap cutting.
#include "session/MVLapCutter.h"

#include "session/MVLapMapData.h"
#include "session/MVPositionAlignment.h"
#include "session/MVSectorBuilder.h"
#include "session/MVVideoLinks.h"

namespace MVLapCutter {

std::vector<MVPreviousNextLocationPtr> referenceSectorGates(const MVLapPtr& referenceLap,
                                                            MVGLDFileManager& manager) {
    return MVSectorBuilder(manager).fetchBestSpeedStartFinishWithLap(referenceLap);
}

void runFollowUp(MVLap& lap, const std::vector<MVPreviousNextLocationPtr>& gates,
                 const MVLapCutInput& input, MVGLDFileManager& manager) {
    MVSectorBuilder(manager).fetchSectorsWithReferenceSectors(gates, lap);
    MVVideoLinks videos(manager);
    videos.fetchVideosWithLap(lap, input.aviSection, input.url);
    MVLapMapData::fetchMapDataWithLap(lap, manager);
    if (const auto& reference = manager.referenceLap()) {
        MVPositionAlignment::fetchPositionIndexWithReferenceLap(*reference, lap, manager);
    }
    videos.fetchVideoTimestampForStartAndEnd(lap);
}

void runWholeFileFollowUp(MVLap& wholeFileLap, const MVLapCutInput& input,
                          MVGLDFileManager& manager) {
    MVVideoLinks videos(manager);
    videos.fetchVideosWithLap(wholeFileLap, input.aviSection, input.url);
    MVLapMapData::fetchMapDataWithWholeFileLap(wholeFileLap, manager);
    videos.fetchVideoTimestampForStartAndEnd(wholeFileLap);
}

}  // namespace MVLapCutter
