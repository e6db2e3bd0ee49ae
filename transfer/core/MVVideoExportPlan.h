#pragma once

#include "session/MVLap.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// What cutting one lap out of its session's video takes: the lap's video, cut from three seconds
// before the lap's first sample (none when that would be before the file's start) to three
// seconds after its last one, without re-encoding, into "<folder>/Lap <n>.<input's extension>".
// The start is a seek on the input, so the copied picture begins with the key frame at or before
// it and the whole lap is in the picture (the container's edit list, where it has one, starts
// playback at the start itself); sound is copied beside it. A lap whose video runs on into the
// camera's next file is cut from both files joined (ffmpeg's concat demuxer, reading the list of
// the two files, with the start in the first and the end in the second, from its standard input),
// so the cut holds the whole lap; only when the next file is missing does the cut end with the
// first file. ffmpeg writes a temporary file of a name of its own beside the output (two cuts of
// one lap never share one), which takes the output's name only when ffmpeg succeeds, so a failed
// cut never harms an earlier export. An existing file of the output's name is replaced only when
// `replaceExisting` says so (the sheet asks first). Plain data; no I/O except the checks that the
// files exist and placeCut().
struct MVVideoExportPlan {
    static constexpr double kLeadSeconds = 3.0;

    std::string refusal;  // why the export cannot run; "" when it can
    std::filesystem::path executable;
    std::filesystem::path input;
    // The camera's next file, which the lap's video runs on into (empty: none).
    std::filesystem::path next;
    std::filesystem::path output;
    std::filesystem::path temporary;
    double start = 0.0;
    double end = 0.0;
    // The lap's video runs on into a second file, whose clock the end time is on, and that file
    // is missing: the cut ends with the first file instead.
    bool endsWithFirstFile = false;
    // A file (or link) of the output's name is there already.
    bool outputExists = false;
    // The user agreed to replace it; otherwise the cut never takes the name of a file that exists.
    bool replaceExisting = false;
    // The sound is copied; false: encoded to AAC, for sound the container cannot hold as it is
    // (see refusesCopiedStream). Call setOutput() after a change.
    bool copySound = true;
    std::vector<std::string> arguments;  // for the executable, without argv[0]
    // With `next`: the concat demuxer's list of the two files, for the executable's standard
    // input ("" otherwise).
    std::string joinList;

    bool joinsNextFile() const { return !next.empty(); }

    bool canRun() const { return refusal.empty(); }

    // The plan for `lap` into `folder` with the ffmpeg found (none: refused, with `ffmpegProblem`
    // as the reason).
    static MVVideoExportPlan make(const MVLap& lap, const std::filesystem::path& folder,
                                  const std::optional<std::filesystem::path>& ffmpeg,
                                  const std::string& ffmpegProblem = "ffmpeg was not found.");

    // Points the cut at `output` (same folder or another): the temporary file and the arguments
    // follow, and `outputExists` is checked again.
    void setOutput(const std::filesystem::path& output);
    // Whether a line of ffmpeg's says the container cannot take a stream copied as it is.
    static bool refusesCopiedStream(const std::string& ffmpegLine);
    // Gives the finished temporary file the output's name: over an existing file only with
    // `replaceExisting`; else never over one, so a file of that name that appeared while ffmpeg
    // ran is kept and the cut takes keepBothName() instead (`output` then says where it went).
    // Returns "" on success, else the reason.
    std::string placeCut();
    // The first of "<stem> (2)<ext>", "<stem> (3)<ext>", ... beside `output` that does not exist
    // (MVFilePlacement, as every export names it).
    static std::filesystem::path keepBothName(const std::filesystem::path& output);

    // Start and end seconds from the lap's video times (milliseconds), see above.
    static double startSeconds(std::int64_t videoTimestampStart);
    static double endSeconds(std::int64_t videoTimestampEnd);
    // printf's "%f" with a point whatever the locale: 60 gives "60.000000".
    static std::string formatSeconds(double seconds);
    // The lap's video file, none when it has no video (no list, or the "nil.nil" placeholder).
    static std::optional<std::filesystem::path> videoOf(const MVLap& lap);
    // The concat demuxer's list: `first` from `start` seconds on, then `second` up to `end`
    // seconds of its own clock. Paths are written as file URLs in quotes (a quote in a name
    // escaped), so any name is read as it is.
    static std::string joinListOf(const std::filesystem::path& first, double start,
                                  const std::filesystem::path& second, double end);
};
