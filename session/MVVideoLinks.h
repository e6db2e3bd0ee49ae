#pragma once

#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVSampleRows.h"

#include "platform/UserDefaults.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The video link of a session file: its "[avi]" section names a base name and an extension, and
// the video file of a sample is the base name, the sample's "avifileindex" text, "." and the
// extension.
struct MVAviSection {
    std::string baseName;
    std::string extension;  // "avi" or "mp4" as written (any case), else "avi"

    friend bool operator==(const MVAviSection&, const MVAviSection&) = default;
};

// The "avifileindex" texts of a session's samples as runs: each run starts at the first sample
// whose text differs from the sample before it. Read once per session, so linking every lap's
// videos walks runs instead of rows.
class MVVideoIndexRuns {
  public:
    struct Run {
        std::int64_t firstRow = 0;
        // The text as written; nullopt where the row has no such field.
        std::optional<std::string> text;
    };

    MVVideoIndexRuns() = default;
    // The runs of rows `first` to `last` of the lap's session (read through the manager's value
    // lookups); rows outside the session have no field.
    static MVVideoIndexRuns ofLapRange(const MVGLDFileManager& manager, const MVLap& lap,
                                       std::int64_t first, std::int64_t last);
    // The runs of every row of `rows`, field `column` (nullopt: the session has no such channel).
    static MVVideoIndexRuns ofRows(const MVSampleRows& rows, std::optional<std::size_t> column);

    // The distinct video indexes (MVVideoLinks::isVideoIndex) of rows `first` to `last`, in
    // order of first appearance.
    std::vector<std::string> indexesOfRows(std::int64_t first, std::int64_t last) const;

  private:
    void add(std::int64_t row, std::optional<std::string_view> text);

    std::vector<Run> runs_;
};

// The video files and video times of laps. Samples are read through the value lookups
// (MVSampleValues) of the manager given. No file is opened: addresses are made whether or not the
// files exist, and the player deals with missing ones.
//
// Runs where the manager's lists are not being written (the loading thread for the whole-file
// lap, the per-lap follow-up for the others). The two fetch operations write one
// "%s executed %fs" timing line to standard error.
class MVVideoLinks {
  public:
    // User default whose presence sends the video lookup to the user's documents folder.
    static constexpr const char* kVideoFolderDefaultsKey = "urlsData";

    explicit MVVideoLinks(const MVGLDFileManager& manager = MVGLDFileManager::sharedManager(),
                          platform::UserDefaults& defaults = platform::UserDefaults::standard())
        : manager_(manager), defaults_(defaults) {}

    // The "[avi]" section of a session file's lines (empty lines are skipped): the first line
    // "[avi]", else the first "[AVI]", followed by the base name line and the extension line.
    // nullopt when there is no such section, when it is cut short (fewer than two lines after
    // it), or when the base name could not be a file name (it contains "/" or a NUL byte).
    static std::optional<MVAviSection> aviSectionWithArrayOfLines(
        std::span<const std::string_view> lines);
    static std::optional<MVAviSection> aviSectionWithArrayOfLines(
        const std::vector<std::string>& lines);

    // True for a video index that may become part of a file name: one or more ASCII digits.
    static bool isVideoIndex(std::string_view text);

    // Replaces the lap's videoURLs with one address per distinct video index of its samples, in
    // order of first appearance: <session file's folder>/<video file name>, or, when the user
    // default "urlsData" is present, <documents>/<session file name up to its first ".">/<video
    // file name>. A sample whose index is not a plain number (or a session without the channel)
    // names no file. Without a usable "[avi]" section, or when no sample names a file, the list
    // is the one placeholder <session file's folder>/"nil.nil" (no video).
    void fetchVideosWithLap(MVLap& lap, std::span<const std::string_view> lines,
                            const std::filesystem::path& url) const;
    void fetchVideosWithLap(MVLap& lap, const std::vector<std::string>& lines,
                            const std::filesystem::path& url) const;
    // The same with the section already read (so that callers holding no lines can link laps).
    void fetchVideosWithLap(MVLap& lap, const std::optional<MVAviSection>& section,
                            const std::filesystem::path& url) const;
    // The same with the session's video index runs read once for all its laps (the load).
    void fetchVideosWithLap(MVLap& lap, const std::optional<MVAviSection>& section,
                            const MVVideoIndexRuns& runs, const std::filesystem::path& url) const;

    // Sets videoTimestampStart / videoTimestampEnd to the whole-number "avisynctime" values
    // (milliseconds) of the lap's first and last samples; 0 for a text without a leading number
    // ("N/A" when the session has no such channel).
    void fetchVideoTimestampForStartAndEnd(MVLap& lap) const;

    // The "avisynctime" number (milliseconds) of the sample at or before elapsed session time
    // `timestamp` in the lap (MVSampleValues::indexOfSamplesFromTimestamp);
    // MVSampleValues::kNotAvailable without the channel.
    double findVideoTimeInMilisecondsWithTimestamp(const MVLap& lap, double timestamp) const;

  private:
    const MVGLDFileManager& manager_;
    platform::UserDefaults& defaults_;
};
