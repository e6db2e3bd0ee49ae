#pragma once

#include "session/MVDistances.h"
#include "session/MVFakeIndexes.h"
#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"
#include "session/MVPreviousNextLocation.h"
#include "session/MVSampleRow.h"
#include "session/MVStartFinish.h"
#include "session/MVVideoLinks.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

// What lap cutting needs of one session being loaded.
struct MVLapCutInput {
    const std::vector<std::string_view>* lines = nullptr;
    const std::vector<std::string>* headers = nullptr;
    const MVSampleRows* samples = nullptr;
    const MVFakeIndexes* fakeIndexes = nullptr;
    const MVDistances* distances = nullptr;
    // Plane points of every sample about the manager's base location (MVStartFinish::samplePoints).
    const std::vector<MV2DSegmentPtr>* points = nullptr;
    // Whether each sample has a position fix (same indexes as `points`).
    const std::vector<bool>* fixes = nullptr;
    std::filesystem::path url;
    std::optional<MVAviSection> aviSection;  // the file's video section, read once
    MVVideoIndexRuns videoIndexRuns;         // the samples' video indexes, read once
    bool isQuarto = false;
    // The crossings the circuit choice detected on `points`, when the load kept them.
    MVStartFinish::CrossingsMemo* crossings = nullptr;
};

// Cuts a session into laps at the crossings of the circuit record's gates.
namespace MVLapCutter {

// Complete laps (numbered from 1) followed by the unfinished last lap, or nullptr when there is
// no complete lap. Fills the whole-file lap's sector lists with the crossing times. With exactly
// one file loaded, the fastest lap among the complete ones becomes the reference lap. Each lap's
// follow-up (sectors, videos, map, alignment, video times) runs here, once every lap is cut: on
// the loading thread and the process's part threads side by side, one lap at a time each.
MVLapsPtr fetchLaps(const MVLapCutInput& input, MVLap& wholeFileLap, MVGLDFileManager& manager);

// The sector gates of the reference lap, computed once per file.
std::vector<MVPreviousNextLocationPtr> referenceSectorGates(const MVLapPtr& referenceLap,
                                                            MVGLDFileManager& manager);

// The per-lap follow-up: sectors from the reference sector gates, video links, map data,
// alignment with the reference lap, video times.
// `referencePoints`: the reference lap's plane points by sample index, or nullptr.
void runFollowUp(MVLap& lap, const std::vector<MVPreviousNextLocationPtr>& referenceSectorGates,
                 const std::vector<MV2DSegmentPtr>* referencePoints, const MVLapCutInput& input,
                 MVGLDFileManager& manager);

// The plane points of a loaded lap's samples, by sample index (none before the lap's start).
std::vector<MV2DSegmentPtr> lapPoints(const MVLap& lap, const MVGLDFileManager& manager);

// The whole-file lap's follow-up on the loading thread: video links, map data, video times.
void runWholeFileFollowUp(MVLap& wholeFileLap, const MVLapCutInput& input,
                          MVGLDFileManager& manager);

}  // namespace MVLapCutter
