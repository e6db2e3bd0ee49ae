#pragma once

#include "session/MV2DSegment.h"
#include "session/MVCircuitDatabase.h"
#include "session/MVDistances.h"
#include "session/MVFakeIndexes.h"
#include "session/MVGLDReader.h"
#include "session/MVLaps.h"
#include "session/MVLocation.h"
#include "session/MVPreviousNextLocation.h"
#include "session/MVSampleRow.h"
#include "session/MVStartFinish.h"
#include "session/MVTrackInfo.h"

#include "platform/Observable.h"
#include "platform/ObserverToken.h"
#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The fast summary of one session file, computed on an operation queue without loading the file
// into the session-file manager: the circuit's name, the session's length in seconds, its complete
// laps (callers take the number of laps and the best lap time from them) and its video files.
//
// The rows are read exactly as the full load reads them (same header and sample readers, decimal
// commas and runs of spaces included), so the summary's positions, speeds and circuit agree with
// a full load of the same file. It is lighter than the full load: gate crossings are tested every
// kCrossingStep rows only (about every half second in sparse logs), there is no whole-session lap,
// no unfinished lap and no per-lap work.
//
// Threads: main() runs on a thread of the queue the operation was added to. Every result is set
// there, its observers are called there, and "GLDParsingFastDidFinish" (object: this operation,
// no user info) is posted there once, when the run ends without having been cancelled, so that
// an observer can tell its own operation's end from another's. Observers move to the main thread
// themselves before touching views. The result getters may be called from any thread.
//
// Cancellation (cancel(), from any thread) is tested after every step of the run, so a run
// cancelled from a result observer sets nothing after that result and posts nothing; results set
// before stay. A cancelled queued operation never runs.
//
// What callers may rely on once the notification arrived:
//   no sample rows (unreadable, empty or non-ASCII file, a required channel missing, no
//   "[data]", no fix):   placeName "N/A", wholeDuration 0, laps none, arrayOfVideoURLs none;
//   rows, no circuit:    placeName "N/A", wholeDuration set, laps none, arrayOfVideoURLs set;
//   circuit found:       placeName its name ("N/A" if it has none), set before the laps are
//                        computed; laps the complete laps, none when no lap was completed.
class MVGLDFileManagerFastOperation : public platform::Operation {
  public:
    using ChannelNames = std::vector<std::string>;
    using Lines = std::vector<std::string_view>;
    using TrackList = std::vector<MVTrackInfoPtr>;
    using VideoURLs = std::optional<std::vector<std::filesystem::path>>;

    // Crossings are tested between row i and row i + kCrossingStep (or the last row) in logs of
    // 5 rows a second and more; sparser logs step by about kCrossingStepSeconds (at least one
    // row). Rows without a position (0, 0) are passed over. The test is the full load's
    // (MVStartFinish::detectCrossings) over those steps.
    static constexpr std::size_t kCrossingStep = 5;
    static constexpr double kCrossingStepSeconds = 0.5;
    // The rows a crossing step spans in a session with these elapsed times.
    static std::size_t crossingStepRows(const MVFakeIndexes& fakeIndexes);
    // The place name of a session without circuit.
    static constexpr const char* kNoPlaceName = "N/A";

    // Nothing is read until the operation runs. `defaults` is asked for "urlsData" (videos kept
    // in the documents folder); `circuitDatabase` is the database read unless a newer downloaded
    // copy exists (see MVCircuitDatabase::databaseInUse).
    explicit MVGLDFileManagerFastOperation(
        std::filesystem::path url,
        platform::UserDefaults& defaults = platform::UserDefaults::standard(),
        std::filesystem::path circuitDatabase = MVCircuitDatabase::shippedDatabasePath());

    // ---- Results: every setter notifies the property's observers, on the setting thread, also
    // when the value is unchanged. Observers get the old and the new value.

    // The circuit's name, or "N/A". Empty until the run sets it.
    std::string placeName() const { return placeName_.get(); }
    void setPlaceName(std::string name) { placeName_.set(std::move(name)); }
    [[nodiscard]] platform::ObserverToken observePlaceName(
        platform::Observable<std::string>::Handler handler) {
        return placeName_.observe(std::move(handler));
    }

    // The session's video files (a single "nil.nil" placeholder in the session's folder when it
    // links none); none when the file has no sample rows.
    VideoURLs arrayOfVideoURLs() const { return arrayOfVideoURLs_.get(); }
    void setArrayOfVideoURLs(VideoURLs urls) { arrayOfVideoURLs_.set(std::move(urls)); }
    [[nodiscard]] platform::ObserverToken observeArrayOfVideoURLs(
        platform::Observable<VideoURLs>::Handler handler) {
        return arrayOfVideoURLs_.observe(std::move(handler));
    }

    // Elapsed time of the last sample row, seconds.
    double wholeDuration() const { return wholeDuration_.get(); }
    void setWholeDuration(double seconds) { wholeDuration_.set(seconds); }
    [[nodiscard]] platform::ObserverToken observeWholeDuration(
        platform::Observable<double>::Handler handler) {
        return wholeDuration_.observe(std::move(handler));
    }

    // The session's complete laps (number, row range, duration, distance only); none when no lap
    // was completed. Callers show the last lap's number and findFastestLap()'s duration.
    MVLapsPtr laps() const { return laps_.get(); }
    void setLaps(MVLapsPtr laps) { laps_.set(std::move(laps)); }
    [[nodiscard]] platform::ObserverToken observeLaps(
        platform::Observable<MVLapsPtr>::Handler handler) {
        return laps_.observe(std::move(handler));
    }

    // ---- Read-only state of the last run.

    const std::filesystem::path& url() const { return url_; }
    // Renames the summarised session file and its videos (the shared session rename: nothing is
    // overwritten, a failure puts back what moved); on success url() and arrayOfVideoURLs() name
    // the new files. An empty name or the current one does nothing. Main thread, after the run.
    void changeFileName(const std::string& newName);
    // The circuit chosen by the last run; null when none.
    MVTrackInfoPtr trackInfo() const;
    // The session's first fix, origin of the plane used for gate crossings; null before a run
    // found one.
    MVLocationPtr baseLocation() const;

    // ---- Circuit choice and laps. Called by the run on the operation's thread; they use the
    // base location of the run (a location at 0, 0 before it).

    // The circuit of the session, with a start gate, or null:
    //  - with the file's own "[laptiming]" gates: their typical lap distance names the record
    //    after the candidate nearest in length (the record keeps the file's gates). Split gates
    //    without any finish crossing give null; a single gate crossed at most once gives the
    //    first candidate as it stands (null without candidates);
    //  - without file gates: the candidate whose own gates give a typical lap distance (taken in
    //    single precision) nearest its length; a candidate never crossed counts as 0 m and
    //    competes with its whole length; ties keep the earlier.
    MVTrackInfoPtr fetchSFWithArrayOfLines(const Lines& lines, const ChannelNames& headers,
                                           const MVSampleRows& samples,
                                           const MVFakeIndexes& fakeIndexes,
                                           const MVDistances& distances,
                                           const TrackList& tracks) const;

    // The numbers of one split "[laptiming]" line: every field that reads whole as a decimal or
    // scientific number, a leading "+" dropped; other fields (the word itself) are skipped.
    static std::vector<double> arrayOfNumbersWithSample(const std::vector<std::string>& fields);

    // Coarse crossing search: for i = 0, 5, 10, ... the step from row i to row i + 5 (or the
    // last row) is tested when that later row is near the gate; a crossing is recorded at row i
    // with its interpolated time. With a finish gate, a finish is recorded only while a lap is
    // open (one start more than finishes).
    std::vector<MVStartFinish::Crossing> arrayOfSFTimeWithSFLocations(
        const MVPreviousNextLocation& sfLocations, const ChannelNames& headers,
        const MVSampleRows& samples, const MVFakeIndexes& fakeIndexes) const;
    MVStartFinish::Crossings arrayOfSFTimeWithSFLocations(
        const MVPreviousNextLocation& sfLocations, const MVPreviousNextLocation& sfLocations2,
        const ChannelNames& headers, const MVSampleRows& samples,
        const MVFakeIndexes& fakeIndexes) const;

    // Typical lap distance, metres (the group method of the full load).
    static double averageDistanceUsingGroupMethod(
        const std::vector<MVStartFinish::Crossing>& crossings, const MVDistances& distances);
    static double averageDistanceUsingGroupMethod(
        const std::vector<MVStartFinish::Crossing>& starts,
        const std::vector<MVStartFinish::Crossing>& finishes, const MVDistances& distances);

    // The complete laps over trackInfo()'s gates: one gate, crossing k to crossing k + 1; split
    // gates, start k to finish k. Row indexes are those of the crossing steps' first rows, the
    // durations come from the interpolated crossing times. Null without circuit or lap.
    MVLapsPtr fetchLapsWithArrayOfLines(const Lines& lines, const ChannelNames& headers,
                                        const MVSampleRows& samples,
                                        const MVFakeIndexes& fakeIndexes,
                                        const MVDistances& distances,
                                        const std::filesystem::path& url) const;

  protected:
    void main() override;

  private:
    // The rows whose plane points the coarse search needs, and those points.
    struct StepPoints {
        std::vector<std::size_t> rows;
        std::vector<MV2DSegmentPtr> points;
    };

    // The session's text, kept for the run; `lines` point into it.
    struct Text {
        std::string text;
        Lines lines;
    };

    Text fetchArrayOfLinesWithURL(const std::filesystem::path& url) const;
    MVGLDHeader fetchHeadersWithArrayOfLines(const Lines& lines);
    MVGLDSamples fetchDataWithArrayOfLines(const Lines& lines, const MVGLDHeader& header);
    VideoURLs fetchVideoURLsWithArrayOfLines(const Lines& lines, const ChannelNames& headers,
                                             const MVSampleRows& samples) const;
    TrackList fetchAvailableTracksWithArrayOfHeader(const ChannelNames& headers,
                                                    const MVSampleRows& samples,
                                                    const MVFakeIndexes& fakeIndexes) const;

    // Plane points of rows 0, 5, 10, ... (see kCrossingStep) and of the last row.
    StepPoints stepPoints(const ChannelNames& headers, const MVSampleRows& samples,
                          const MVFakeIndexes& fakeIndexes) const;
    MVStartFinish::Crossings crossings(const StepPoints& points,
                                       const MVPreviousNextLocation& start,
                                       const MVPreviousNextLocation* finish) const;
    // Typical lap distance of a record's own gates (0 when they give no lap).
    double measuredLapDistance(const MVTrackInfo& record, const StepPoints& points,
                               const MVDistances& distances) const;
    MVTrackInfoPtr chooseCircuit(const Lines& lines, const StepPoints& points,
                                 const MVDistances& distances, const TrackList& tracks) const;
    MVLapsPtr cutLaps(const MVTrackInfo& track, const StepPoints& points,
                      const MVDistances& distances) const;
    MVLocation base() const;

    // Sets the no-sample results.
    void setNoDataResults();

    std::filesystem::path url_;
    double speedUnitScale_ = 0.0;
    MVLocationPtr baseLocation_;
    MVFakeIndexesPtr fakeIndexes_;
    platform::Observable<VideoURLs> arrayOfVideoURLs_;
    MVTrackInfoPtr trackInfo_;
    platform::Observable<MVLapsPtr> laps_;
    platform::Observable<std::string> placeName_;
    platform::Observable<double> wholeDuration_;

    platform::UserDefaults& defaults_;
    std::filesystem::path circuitDatabase_;
    // Guards trackInfo_ and baseLocation_, read by other threads through the getters.
    mutable std::mutex stateMutex_;
};
