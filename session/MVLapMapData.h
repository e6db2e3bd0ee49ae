#pragma once

#include "session/MV2DSegment.h"
#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLocation.h"
#include "session/MVTrackInfo.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

// A lap's map geometry (its points on the plane about the manager's base location, one list per
// sector, and their bounding box) and the reading of circuit outline files (".cir").
namespace MVLapMapData {

// Replaces lap.map(): one point list per pair of neighbouring sector boundaries (neighbouring
// sectors share their boundary sample). Samples without a fix (latitude or longitude exactly 0)
// become (0, 0) points and are left out of the bounding box.
void fetchMapDataWithLap(MVLap& lap,
                         const MVGLDFileManager& manager = MVGLDFileManager::sharedManager());

// The plane points of the lap's session already at hand, by sample index, with whether each
// sample has a fix (MVStartFinish::samplePoints): the map holds those very points (nothing
// changes a map's points) instead of converting every sample again. Missing or too short lists
// are read as above.
struct SessionPoints {
    const std::vector<MV2DSegmentPtr>* points = nullptr;
    const std::vector<bool>* fixes = nullptr;
};
void fetchMapDataWithLap(MVLap& lap, const MVGLDFileManager& manager, SessionPoints atHand);
// Replaces the whole-file lap's map(): one list holding every sample of the lap.
void fetchMapDataWithWholeFileLap(
    MVLap& lap, const MVGLDFileManager& manager = MVGLDFileManager::sharedManager());
void fetchMapDataWithWholeFileLap(MVLap& lap, const MVGLDFileManager& manager,
                                  SessionPoints atHand);

// The circuit outline of a circuit record on the manager's plane: the user's own outline file
// when set, else the database outline named after the circuit, else a shipped one. Empty (and a
// diagnostic log line) when there is no circuit, no file, or the file cannot be read.
std::vector<MV2DSegmentPtr> mapDataCalculation(
    const MVTrackInfo* track, const MVGLDFileManager& manager = MVGLDFileManager::sharedManager());

// Reads a circuit outline file: "[header]" (channel names, one a line) and "[data]" (rows of
// blank-separated fields) sections, latitude and longitude in minutes of arc (longitude west
// positive, "," or "." as decimal mark). Every channel name and every row is read, whatever the
// line ends. nullopt when a marker or one of the two channels is missing or a row cannot be read.
std::optional<std::vector<MVLocation>> readCircuitOutline(const std::filesystem::path& file);
// The same for the file's text already in memory.
std::optional<std::vector<MVLocation>> readCircuitOutlineText(std::string_view text);

}  // namespace MVLapMapData
