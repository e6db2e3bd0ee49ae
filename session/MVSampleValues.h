#pragma once

#include "session/MV2DSegment.h"
#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"
#include "session/MVLocation.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace MVSampleValuesDetail {
struct Session;
}

// Per-sample values of the loaded sessions: one channel at one sample of one lap, as a number in
// the display units of the manager (speedUnit, distanceUnit, heightUnit) or as display text, and
// the small index lookups they rest on. A lap finds its session through its `gldFile`; with no lap
// (nullptr) the last loaded session is read.
//
// Channel keys with a meaning of their own: "satellites", "time", "utc", "velocity", "heading",
// "height", "distance", "delta t", "lat acc", "long acc", "combined g" (MVHelper::Key_...); any
// other key is a raw channel of the session file.
//
// Lookups never fail: a channel the session lacks, a sample the session does not hold or a lap
// whose session is not loaded reads as "N/A" (text) and kNotAvailable (number). A negative sample
// index reads sample 0.
//
// Accelerations are those of the step from the sample before to the sample asked for, at the
// session's own sample interval there (its elapsed times, in hundredths of a second); the first
// sample of a session has no step before it and reads 0 g, as does a step in which no time
// passes.
//
// The object only reads the manager it is given; it is cheap to make for each use. It takes no
// locks: use it where the manager's lists are not being written (the main thread after loading,
// or the loading thread for the session it loads).
class MVSampleValues {
  public:
    // "Not available": the largest double.
    static constexpr double kNotAvailable = std::numeric_limits<double>::max();
    static constexpr std::string_view kNotAvailableText = "N/A";

    static constexpr double kKilometresPerMile = 1.609344;
    static constexpr double kFeetPerMetre = 3.2808399;
    static constexpr double kMilesPerMetre = 0.000621371192;
    static constexpr std::int64_t kSatelliteMask = 0x1F;

    // A lap's sample index as a signed number, so that "i - 10" never wraps around; clamped far
    // beyond any session (a quarter of the range), so that walks can add to it without overflow.
    static constexpr std::int64_t signedIndex(std::uint64_t index) {
        constexpr auto kLimit =
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 4);
        return static_cast<std::int64_t>(index < kLimit ? index : kLimit);
    }

    explicit MVSampleValues(const MVGLDFileManager& manager = MVGLDFileManager::sharedManager())
        : manager_(manager) {}

    // The number of channel `key` at sample `index` of the lap's session:
    //   "satellites"  the field's integer value & 0x1F
    //   "time", "utc" elapsed seconds since the session's first sample (0 when the lap's session
    //                 is not loaded)
    //   "velocity"    km/h, or mph when speedUnit is not 0
    //   "distance"    metres from the lap's first sample (from the session's first sample without
    //                 a lap), in feet or miles for distanceUnit 1 or 2
    //   "height"      the field in single precision, in feet for heightUnit 1
    //   "delta t"     0 (the position alignment computes delta times)
    //   "lat acc"     lateral g from the headings and the (single-precision) km/h speed
    //   "long acc"    longitudinal g from the (single-precision) km/h speeds
    //   "combined g"  sqrt(lat^2 + long^2); not available when either is not
    //   other         the text below read in single precision
    double floatValueWithSamplesIndex(std::int64_t index, const std::string& key,
                                      const MVLap* lap) const;
    // Display text of the same: "%d" satellites, "%3.1f km/h" / "%3.1f mph", "%3.2f m" /
    // "%3.2f feet" / "%3.2f miles", "%3.2f m" / "%3.2f feet" for height, "%3.2f s" for time,
    // "HH:MM:SS.SS" cut from the raw time field for "utc", "+%3.2f g" / "%3.2f g" for lat acc and
    // long acc (the plus sign for 0 and above), "%3.2f g" for combined g. Any other key gives the
    // raw field as written, except that a field in exponent form ("1.5E-3") is rewritten with
    // "%f" from its single-precision value ("0.001500").
    std::string stringValueWithSamplesIndex(std::int64_t index, const std::string& key,
                                            const MVLap* lap) const;

    // Highest "velocity" number over the lap's samples, in the chosen speed unit; never below 0.
    // Uses the lap's own top speed when the loading thread stored one.
    double vmaxWithLap(const MVLap& lap) const;
    // The same in km/h, always read from the samples.
    double topSpeedKilometresPerHour(const MVLap& lap) const;
    // "time" number at indexEnd minus that at indexStart.
    double durationFromIndexStart(std::int64_t indexStart, std::int64_t indexEnd,
                                  const MVLap& lap) const;
    // The last sample of the lap at or before elapsed time `timestamp` (found by a coarse walk in
    // steps of 100 samples, then sample by sample). A time before the lap's first sample gives
    // indexStart - 1 (which may be -1); a time beyond the sample after the lap gives the last
    // coarse probe.
    std::int64_t indexOfSamplesFromTimestamp(const MVLap& lap, double timestamp) const;

    // The geographic location of a sample of the lap's session (all zero when the session is not
    // loaded; see MVLocation::location for rows it does not hold).
    MVLocationPtr locationWithSamplesIndex(std::int64_t index, const MVLap& lap) const;
    // The field of raw channel `key` in each sample from `first` to `last` of the lap's session,
    // as written in the store (nothing for a channel or field the session lacks): the walk of
    // stringValueWithSamplesIndex without a lookup per sample.
    void forEachRawField(const MVLap& lap, const std::string& key, std::int64_t first,
                         std::int64_t last,
                         const std::function<void(std::optional<std::string_view>)>& each) const;
    // The map point of a sample, the index first clamped into the lap's range, about the
    // manager's base location (the origin when there is none).
    MV2DSegmentPtr segmentWithSampleIndex(std::int64_t index, const MVLap& lap) const;

    // Position of the channel in the rows of the lap's session (the last session without a lap).
    // Kept with the other lookups of this class; nothing in the program calls it yet.
    std::optional<std::size_t> indexOfKey(const std::string& key, const MVLap* lap) const;
    // Position of the session with that display name.
    std::optional<std::size_t> indexOfFile(const std::string& gldFileName) const;

    // The numbers of a list of text fields: empty fields are skipped, one leading "+" is dropped,
    // a field that is not wholly a decimal or exponent number is skipped.
    static std::vector<double> arrayOfNumbersWithSample(const std::vector<std::string>& fields);

    // Laps by session. The session of an address is its file name without the extension; the
    // session of a name is the one with that display name. nullptr when it is not loaded (or
    // holds no such lap). The two lookups by address are kept with the one by name; nothing in
    // the program calls them yet.
    MVLapPtr fastestLapWithGLDURL(const std::filesystem::path& url) const;
    // The session's entry of arrayOfWholeFileMVLaps (an MVLaps holding its whole-file lap).
    MVLapsPtr wholeLapWithGLDURL(const std::filesystem::path& url) const;
    // Lap `index` (from 0) of the named session's complete laps.
    MVLapPtr lapWithGLDFileName(const std::string& gldFileName, std::int64_t index) const;

    // Lateral and longitudinal g of the step into sample `index` of the lap's session, like
    // "lat acc" and "long acc" but with the stored km/h speeds in double precision (the per-lap
    // g-force series). kNotAvailable when the session lacks headings (lateral) or speeds.
    double lateralAccelerationWithSamplesIndex(std::int64_t index, const MVLap& lap) const;
    double longitudinalAccelerationWithSamplesIndex(std::int64_t index, const MVLap& lap) const;

  private:
    using Session = MVSampleValuesDetail::Session;

    Session sessionOf(const MVLap* lap) const;
    double number(const Session& session, std::int64_t index, const std::string& key,
                  const MVLap* lap) const;

    const MVGLDFileManager& manager_;
};
