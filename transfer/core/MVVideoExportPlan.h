#pragma once

#include "session/MVLap.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// What cutting one lap out of its session's video takes: the lap's first video file, cut from
// three seconds before the lap's first sample (none when that would be before the file's start)
// to three seconds after its last one, without re-encoding, into "<folder>/Lap <n>.<input's
// extension>". ffmpeg writes a temporary file beside the output, which takes the output's name
// only when ffmpeg succeeds, so a failed cut never harms an earlier export. Plain data; no I/O
// except the checks that the files exist.
struct MVVideoExportPlan {
    static constexpr double kLeadSeconds = 3.0;

    std::string refusal;  // why the export cannot run; "" when it can
    std::filesystem::path executable;
    std::filesystem::path input;
    std::filesystem::path output;
    std::filesystem::path temporary;
    double start = 0.0;
    double end = 0.0;
    // The lap's video runs on into a second file, whose clock the end time is on: the cut ends
    // with the first file instead.
    bool endsWithFirstFile = false;
    std::vector<std::string> arguments;  // for the executable, without argv[0]

    bool canRun() const { return refusal.empty(); }

    // The plan for `lap` into `folder` with the ffmpeg found (none: refused, with `ffmpegProblem`
    // as the reason).
    static MVVideoExportPlan make(const MVLap& lap, const std::filesystem::path& folder,
                                  const std::optional<std::filesystem::path>& ffmpeg,
                                  const std::string& ffmpegProblem = "ffmpeg was not found.");

    // Start and end seconds from the lap's video times (milliseconds), see above.
    static double startSeconds(std::int64_t videoTimestampStart);
    static double endSeconds(std::int64_t videoTimestampEnd);
    // printf's "%f" with a point whatever the locale: 60 gives "60.000000".
    static std::string formatSeconds(double seconds);
    // The lap's video file, none when it has no video (no list, or the "nil.nil" placeholder).
    static std::optional<std::filesystem::path> videoOf(const MVLap& lap);
};
