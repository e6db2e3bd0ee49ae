#pragma once

#include "views/MVThumbnailInfo.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class MVGLDFileManager;
class MVLap;

// What the slot computation needs of one lap, copied out of the session-file manager on the main
// thread so that the computation itself can run on a worker while the manager re-parses.
// Sample j of the lists is sample indexStart + j of the lap.
struct MVThumbnailLapSnapshot {
    double duration = 0.0;        // lap time, seconds
    double timestampStart = 0.0;  // session time of the lap's start
    std::vector<std::filesystem::path> videoURLs;
    std::vector<double> sampleTimes;        // session time of each sample, ascending
    std::vector<double> videoMilliseconds;  // "avisynctime"; negative: no video at that sample
    std::vector<std::string> videoIndexes;  // "avifileindex" as written

    // Reads the lap's samples from the manager. Main thread only (or wherever the manager's
    // lists are not being written). Only the lap's video files that exist are kept; a lap without
    // any gives a snapshot without samples.
    static MVThumbnailLapSnapshot of(const MVLap& lap, const MVGLDFileManager& manager);
};

// Spreads ceil(count) slots over the lap at a step of duration / count (the fractional count;
// the last slot, shown cut, is the fractional one) and finds, for each, the video file and the
// time in it. Pure; safe from any thread.
//
// Slot k lies at session time timestampStart + k * step; it shows the last sample at or before
// that time (the lap's first sample for earlier times). A sample without video time gives way to
// the next one that has one; when none is left before the lap's end, or when no file matches the
// sample's file number, slot k has no entry. A count below 1 gives no slots.
std::vector<MVThumbnailInfo> computeThumbnailInfos(const MVThumbnailLapSnapshot& lap, double count);

// The file of a video-file number: when any of the names (file name without extension) ends in
// digits, the first whose trailing number equals the number; otherwise the first whose name
// contains the text. Comparing trailing numbers keeps "2" from picking "20240501_1".
std::optional<std::filesystem::path> videoFileForIndex(
    const std::vector<std::filesystem::path>& videoURLs, const std::string& fileIndex);
