#pragma once

#include "session/MVCircuitDatabase.h"
#include "session/MVDistances.h"
#include "session/MVFakeIndexes.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"
#include "session/MVLoadedFiles.h"
#include "session/MVLocation.h"
#include "session/MVOptionValues.h"
#include "session/MVSampleRow.h"
#include "session/MVSpeeds.h"
#include "session/MVTrackInfo.h"

#include "platform/Dispatch.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct MVGLDText;
struct MVGLDReading;
struct MVLapCutInput;

// Loading progress codes sent to MVParsingProcessDelegate::parsingStatus, in this order for a
// successful load: 0 ... 10 (12 may come between 8 and 9).
namespace MVParsingStatus {
inline constexpr std::int32_t kStarted = 0;      // before the file is read
inline constexpr std::int32_t kFileRead = 1;     // the file was read as text
inline constexpr std::int32_t kLinesSplit = 2;   // the text was split into lines
inline constexpr std::int32_t kHeadersRead = 3;  // channel names read
inline constexpr std::int32_t kSamplesRead = 4;  // at least one sample row kept
inline constexpr std::int32_t kSpeedsDerived = 5;
inline constexpr std::int32_t kElapsedTimesDerived = 6;
inline constexpr std::int32_t kDistancesDerived = 7;
inline constexpr std::int32_t kTracksRead = 8;        // candidate circuits read
inline constexpr std::int32_t kCircuitSettled = 9;    // circuit and whole-file lap ready
inline constexpr std::int32_t kFinished = 10;         // all lists hold the file; last status
inline constexpr std::int32_t kCircuitMismatch = 11;  // a further file does not fit: not added
inline constexpr std::int32_t kNoCircuit = 12;        // no circuit / lap length differs: goes on
inline constexpr std::int32_t kNoUsableSample = 13;   // no usable sample row: not added
inline constexpr std::int32_t kNoLaps = 14;           // reserved, never sent
}  // namespace MVParsingStatus

// Receives the loading progress of the session-file manager.
class MVParsingProcessDelegate {
  public:
    virtual ~MVParsingProcessDelegate() = default;
    // Called on the loading thread (never the main thread); the loading waits for it to return.
    virtual void parsingStatus(std::int32_t code) = 0;
};

// The process-wide owner of every loaded session file. The results of all files are kept in
// parallel per-file lists, one entry per file in loading order, at the same position in each:
//   gldFileNames, arrayOfHeaders, arrayOfSamples, arrayOfSpeeds, arrayOfFakeIndexes,
//   arrayOfDistances, arrayOfMVLaps, arrayOfAllLaps, arrayOfPreciseLaps, arrayOfWholeFileMVLaps,
//   arrayOfGLDURLs.
// The lists are those of one MVLoadedFiles (loadedFiles()): a load appends an MVLoadedFile
// record (its series, then its laps once they are cut), a removal and a clearing take every list
// at once.
// A file without laps has an empty MVLaps in arrayOfMVLaps, arrayOfAllLaps and
// arrayOfPreciseLaps. A display name in gldFileNames (unique among the loaded files) identifies
// a file in lookups by name. The manager also holds the circuit record in use, the reference lap
// (fastest lap of the first file) and the base location (first fix of the first file) that all
// files share.
//
// Threads, no locks: the per-file lists are written on loadingQueue() only. In the program every
// load, re-parse, removal and clearing runs there (the main window, the lap list and the menu
// queue them there), so two never overlap; the views read the lists on the main thread after
// status 10 or a removal notice. The shared manager checks it: a writer of its lists called off
// the loading queue (a load, a re-parse, a removal, a clearing, an address change) writes
// nothing, says so in a line on stderr and answers false where it answers. A manager a test or
// tool builds is unchecked until bindListsToLoadingQueue(), and writes them on its one thread.
class MVGLDFileManager {
  public:
    using ChannelNames = std::vector<std::string>;
    using TrackList = std::vector<MVTrackInfoPtr>;
    // Re-parses the loaded files after the one holding the reference lap was removed; see
    // setReparseHandler().
    using ReparseHandler = std::function<void(MVGLDFileManager&)>;

    // Every per-file list empty, no circuit record, no base location, no reference lap.
    MVGLDFileManager();
    MVGLDFileManager(const MVGLDFileManager&) = delete;
    MVGLDFileManager& operator=(const MVGLDFileManager&) = delete;

    // The one instance of the program, created on first use and never freed; its lists are
    // bound to the loading queue.
    static MVGLDFileManager& sharedManager();

    // From now on the per-file lists are written on loadingQueue() only (see above); before the
    // manager is shared.
    void bindListsToLoadingQueue() { listsBoundToLoadingQueue_ = true; }
    bool listsBoundToLoadingQueue() const { return listsBoundToLoadingQueue_; }

    // ---- Per-file lists -------------------------------------------------------------------

    const std::vector<std::string>& gldFileNames() const { return files_.names(); }
    const std::vector<ChannelNames>& arrayOfHeaders() const { return files_.headers(); }
    const std::vector<MVSampleRows>& arrayOfSamples() const { return files_.samples(); }
    const std::vector<MVSpeedsPtr>& arrayOfSpeeds() const { return files_.speeds(); }
    const std::vector<MVFakeIndexesPtr>& arrayOfFakeIndexes() const { return files_.fakeIndexes(); }
    const std::vector<MVDistancesPtr>& arrayOfDistances() const { return files_.distances(); }
    // Complete laps of each file (all laps but the unfinished last one).
    const std::vector<MVLapsPtr>& arrayOfMVLaps() const { return files_.completeLaps(); }
    // All laps of each file, the unfinished last lap included.
    const std::vector<MVLapsPtr>& arrayOfAllLaps() const { return files_.allLaps(); }
    // Complete laps within 0.85 to 1.15 times the reference lap's distance.
    const std::vector<MVLapsPtr>& arrayOfPreciseLaps() const { return files_.preciseLaps(); }
    // For each file an MVLaps holding only its whole-file lap.
    const std::vector<MVLapsPtr>& arrayOfWholeFileMVLaps() const { return files_.wholeFileLaps(); }
    // Address of each successfully loaded file, used to re-parse it.
    const std::vector<std::filesystem::path>& arrayOfGLDURLs() const { return files_.addresses(); }
    // Replaces the addresses as they are, whatever the other lists hold (the rename's new file).
    void setArrayOfGLDURLs(std::vector<std::filesystem::path> v);
    // Every per-file list at once.
    const MVLoadedFiles& loadedFiles() const { return files_; }
    // Replaces every per-file list at once with `files`, as they are: for tests and tools that
    // lay out sessions of their own (the loading pipeline never uses it). Written under the
    // loading-queue rule above: false, and nothing written, where that refuses it.
    bool replaceLoadedFiles(MVLoadedFiles files);

    // Position of the file with that display name; nullopt when none is loaded.
    std::optional<std::size_t> indexOfGLDFileName(const std::string& name) const;

    // Removes the file at `index` from every per-file list. Out of range: nothing happens and
    // false is returned. When no file is left, the base location, the reference lap and both
    // circuit records are cleared. When the removed file held the reference lap and files remain,
    // the reference lap is cleared and, if a re-parse handler is set, the handler is called in
    // place of the removal notice (the re-parse posts it); otherwise
    // "MVNotificationGLDFileDidRemoved" (no object, no user info) is posted on the default centre.
    bool removeFileAtIndex(std::int64_t index);
    // Clears the reference lap and the base location and empties every per-file list except
    // arrayOfGLDURLs; with `includingURLs` also empties arrayOfGLDURLs and clears both circuit
    // records. Posts "MVNotificationGLDFileDidRemoved". The name counter, the whole-file lap and
    // the candidate circuits are left as they are.
    void removeAllData(bool includingURLs);

    // Installs the re-parse of the remaining files that follows the removal of the file holding
    // the reference lap. The loading pipeline installs one that re-parses arrayOfGLDURLs() with
    // trackInfo() the way setTrackInfo() does (so the first remaining file gives the new
    // reference lap and removeAllData(false) posts the removal notice). Called on the thread of
    // removeFileAtIndex(), after the file has left every list. None is set at first.
    void setReparseHandler(ReparseHandler handler) { reparseHandler_ = std::move(handler); }
    bool hasReparseHandler() const { return static_cast<bool>(reparseHandler_); }

    // ---- Shared state ---------------------------------------------------------------------

    // Display name of the file being parsed.
    const std::string& currentGLDFileName() const { return currentGLDFileName_; }
    // Factor from the file's velocity unit to km/h; 0 until a velocity channel was read.
    double speedUnitScale() const { return speedUnitScale_; }
    // Counter for the numbered suffix of repeated display names; never reset.
    std::int32_t sameFileNameCount() const { return sameFileNameCount_; }
    void setSameFileNameCount(std::int32_t count) { sameFileNameCount_ = count; }
    // Fastest lap of the first loaded file; null when there is none.
    const MVLapPtr& referenceLap() const { return referenceLap_; }
    void setReferenceLap(MVLapPtr lap) { referenceLap_ = std::move(lap); }
    // Whole-file lap of the file being parsed.
    const MVLapPtr& wholeFileLap() const { return wholeFileLap_; }
    void setWholeFileLap(MVLapPtr lap) { wholeFileLap_ = std::move(lap); }
    // First fix of the first loaded file, origin of every plane coordinate; null when none.
    const MVLocationPtr& baseLocation() const { return baseLocation_; }
    // The base location, or the origin when there is none (every plane conversion's origin).
    MVLocation baseLocationOrOrigin() const {
        return baseLocation_ ? *baseLocation_ : MVLocation();
    }
    void setBaseLocation(MVLocationPtr location) { baseLocation_ = std::move(location); }

    // Display units of the value lookups, copied from the options object by the main window,
    // as the numbers of MVSpeedUnit, MVDistanceUnit and MVHeightUnit.
    std::int32_t speedUnit() const { return speedUnit_; }
    void setSpeedUnit(std::int32_t unit) { speedUnit_ = unit; }
    std::int32_t distanceUnit() const { return distanceUnit_; }
    void setDistanceUnit(std::int32_t unit) { distanceUnit_ = unit; }
    std::int32_t heightUnit() const { return heightUnit_; }
    void setHeightUnit(std::int32_t unit) { heightUnit_ = unit; }
    bool uses(MVSpeedUnit unit) const { return speedUnit_ == storedOptionValue(unit); }
    bool uses(MVDistanceUnit unit) const { return distanceUnit_ == storedOptionValue(unit); }
    bool uses(MVHeightUnit unit) const { return heightUnit_ == storedOptionValue(unit); }

    // Circuit record in use (set by the loading pipeline and by setTrackInfo()).
    const MVTrackInfoPtr& trackInfo() const { return trackInfo_; }
    // Stores the record in use and nothing else: no list is cleared, no file re-parsed.
    void setTrackInfoWithoutReparse(MVTrackInfoPtr record) { trackInfo_ = std::move(record); }
    // Copy of the record found for the first file: the track wizard's default.
    const MVTrackInfoPtr& defaultTrackInfo() const { return defaultTrackInfo_; }
    void setDefaultTrackInfo(MVTrackInfoPtr record) { defaultTrackInfo_ = std::move(record); }
    // Candidate circuits near the last parsed file.
    const TrackList& arrayOfAvailableTracks() const { return arrayOfAvailableTracks_; }
    void setArrayOfAvailableTracks(TrackList tracks) {
        arrayOfAvailableTracks_ = std::move(tracks);
    }

    // ---- Delegate -------------------------------------------------------------------------

    // Held weakly: a delegate that is gone receives nothing.
    void setDelegate(std::weak_ptr<MVParsingProcessDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    std::shared_ptr<MVParsingProcessDelegate> delegate() const { return delegate_.lock(); }
    // Sends `code` to the delegate, if there is one, on the calling thread.
    void sendParsingStatus(std::int32_t code) const;

    // ---- Circuit database -----------------------------------------------------------------

    // The database shipped with the program (the downloaded copy is preferred when present);
    // tests point it at a file of their own.
    const std::filesystem::path& shippedCircuitDatabase() const { return shippedCircuitDatabase_; }
    void setShippedCircuitDatabase(std::filesystem::path path) {
        shippedCircuitDatabase_ = std::move(path);
    }
    // The database's text held in memory, read in place of the files above; null (the default)
    // reads the files on every load. For callers that load many sessions against one unchanging
    // database (fuzzing, tools): the text is shared and never changed.
    void setCircuitDatabaseText(std::shared_ptr<const std::string> xml) {
        circuitDatabaseText_ = std::move(xml);
    }
    // Candidate circuits for a session: the database records whose area centre lies within
    // 5000 m of the session's middle sample (row count / 2). nullopt when the database cannot be
    // read; an empty list for a session without rows. Any thread.
    std::optional<TrackList> fetchAvailableTracksWithArrayOfHeader(
        const ChannelNames& headers, const MVSampleRows& samples,
        const MVFakeIndexes& fakeIndexes) const;

    // ---- Loading pipeline -----------------------------------------------------------------
    // Defined with the loading pipeline in MVGLDFileManagerLoading.cpp, not here.

    // Loads one session file on the calling thread (never the main thread), sending the
    // progress codes above; on success appends its address to arrayOfGLDURLs.
    bool loadGLDFileWithURL(const std::filesystem::path& url);
    // The pipeline itself; `sfLocationsProvided` is true when the circuit record was set from
    // outside and is only applied. False when the file was not added.
    bool startGLDProcess(const std::filesystem::path& url, bool sfLocationsProvided);
    // The same pipeline on a session's bytes held in memory: `url` names the session (display
    // name, folder of its videos) but nothing is read from it. The bytes are checked as a file's
    // would be (empty or not plain ASCII: status 13) and every later step is shared with the
    // file load. Neither notes a recent document nor appends to arrayOfGLDURLs.
    bool startGLDProcessWithData(std::string bytes, const std::filesystem::path& url,
                                 bool sfLocationsProvided);
    // Whether a successful load appends a usage record to the user's store (the program: yes,
    // the default). Tools and fuzzing that must leave the user's stores alone switch it off.
    void setRecordsUsage(bool records) { recordsUsage_ = records; }
    // Makes `trackInfo` the record in use, removeAllData(false), then re-parses every address
    // of arrayOfGLDURLs in order on loadingQueue().
    void setTrackInfo(MVTrackInfoPtr trackInfo);
    // The display's switch for want of laps, one rule for the end of every load and re-parse
    // and of a removal that re-parses nothing: with files loaded and none of them holding a
    // complete lap, the display becomes the whole session (x axis: time); once laps exist again
    // after the display was switched so, it returns to the laps (x axis: position). A
    // whole-session display the user chose stays. The lists are read on the calling thread; the
    // options are switched on the main thread (at once when called there, else queued there
    // before the status 10 or removal notice that follows, so the completion step computes every
    // pane with it), without notifying their observers.
    void settleDisplayMode();
    // Why the last load was refused (status 11 or 13), in words; empty after a success.
    const std::string& lastFailureText() const { return lastFailureText_; }
    // The one serial queue on which session files are loaded and re-parsed, so that two loads
    // never run at once. setTrackInfo() re-parses on it.
    static platform::SerialQueue& loadingQueue();

  private:
    // Whether the lists may be written here: unbound, or on loadingQueue(). Otherwise false,
    // after a line on stderr naming `operation`.
    bool checkOnLoadingQueue(const char* operation) const;
    // Re-parses every address of arrayOfGLDURLs with the record in use; a file that can no
    // longer be loaded leaves every list. Runs on loadingQueue().
    void reparseLoadedFiles();
    // Every step after the read (status 1 on), on the checked text of the session.
    bool processGLDText(MVGLDText text, const std::filesystem::path& url, bool sfLocationsProvided);
    bool processGLDReading(MVGLDReading reading, const std::filesystem::path& url,
                           bool sfLocationsProvided);

    // The steps of processGLDReading, in order, on one file's load in progress (defined with
    // the loading pipeline). A step that answers false has ended the load without adding the
    // file.
    struct GLDLoad;
    // Ends the load with status 13 and `reason` as the failure text.
    bool refuseLoad(std::string reason);
    // Statuses 1 to 3: the file was read and has usable samples; its section lines read.
    bool readSections(GLDLoad& load);
    // Statuses 4 to 7: the base location (first file) and the derived series.
    void deriveSeries(GLDLoad& load);
    // Status 8 and the circuit record: a further file that does not fit the record in use is
    // refused with status 11; none found: status 12 and the load goes on.
    bool settleCircuit(GLDLoad& load, bool sfLocationsProvided);
    // The whole-file lap, under a display name unique among the loaded files.
    MVLapPtr makeWholeFileLap(GLDLoad& load);
    // What lap cutting reads of the file, whose series were just appended.
    MVLapCutInput lapCutInput(const GLDLoad& load) const;
    // The file's complete, all and precise laps (the whole-file list is left to the caller).
    MVLoadedFile::Laps cutLaps(const MVLapCutInput& input, MVLap& wholeFileLap);
    // The complete laps within 0.85 to 1.15 times the reference lap's distance.
    MVLapsPtr preciseLaps(const MVLaps& completeLaps) const;

    std::string lastFailureText_;
    std::string currentGLDFileName_;
    double speedUnitScale_ = 0.0;
    std::int32_t sameFileNameCount_ = 0;
    MVLapPtr referenceLap_;
    MVLapPtr wholeFileLap_;
    MVLocationPtr baseLocation_;
    std::int32_t speedUnit_ = 0;
    std::int32_t distanceUnit_ = 0;
    std::int32_t heightUnit_ = 0;
    MVTrackInfoPtr trackInfo_;
    MVTrackInfoPtr defaultTrackInfo_;
    TrackList arrayOfAvailableTracks_;
    std::weak_ptr<MVParsingProcessDelegate> delegate_;
    MVLoadedFiles files_;

    std::filesystem::path shippedCircuitDatabase_ = MVCircuitDatabase::shippedDatabasePath();
    std::shared_ptr<const std::string> circuitDatabaseText_;
    ReparseHandler reparseHandler_;
    bool recordsUsage_ = true;
    bool listsBoundToLoadingQueue_ = false;
    // settleDisplayMode's state: whether the display shows the whole session for want of laps.
    // Shared with the task queued on the main queue, which may outlive the manager.
    struct DisplayRule;
    std::shared_ptr<DisplayRule> displayRule_;
};
