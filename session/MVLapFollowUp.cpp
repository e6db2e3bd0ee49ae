// The per-lap analysis that follows lap cutting.
#include "session/MVLapCutter.h"

#include "session/MVLapMapData.h"
#include "session/MVPositionAlignment.h"

namespace MVLapCutter {

std::vector<MVPreviousNextLocationPtr> referenceSectorGates(const MVLap& /*referenceLap*/,
                                                            MVGLDFileManager& /*manager*/) {
    return {};
}

void runFollowUp(MVLap& lap, const std::vector<MVPreviousNextLocationPtr>& /*gates*/,
                 const MVLapCutInput& /*input*/, MVGLDFileManager& manager) {
    MVLapMapData::fetchMapDataWithLap(lap, manager);
    if (const auto& reference = manager.referenceLap()) {
        MVPositionAlignment::fetchPositionIndexWithReferenceLap(*reference, lap, manager);
    }
}

void runWholeFileFollowUp(MVLap& wholeFileLap, const MVLapCutInput& /*input*/,
                          MVGLDFileManager& manager) {
    MVLapMapData::fetchMapDataWithWholeFileLap(wholeFileLap, manager);
}

}  // namespace MVLapCutter
