// The loading pipeline of the session-file manager: one session file becomes channel names,
// sample rows, derived series, a circuit record, a whole-file lap and the session's laps.
#include "session/MVCallWebservice.h"
#include "session/MVDerivedSeries.h"
#include "session/MVGLDFileManager.h"
#include "session/MVGLDReader.h"
#include "session/MVHelperKeys.h"
#include "session/MVLapCutter.h"
#include "session/MVLapMapData.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVStartFinish.h"
#include "session/MVStepTimer.h"
#include "session/MVVideoLinks.h"
#include "session/ZORFileLog.h"

#include "platform/Dispatch.h"
#include "platform/RecentDocuments.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <set>

namespace {

std::string formatted(const char* format, const std::string& value) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, value.c_str());
    return buffer;
}

// The smallest "name(n)" not in use, n from 1, or the plain name when it is free.
std::string uniqueDisplayName(const std::string& plain, const std::vector<std::string>& inUse) {
    const std::set<std::string> names(inUse.begin(), inUse.end());
    if (!names.count(plain)) return plain;
    for (int n = 1;; ++n) {
        std::string candidate = plain + "(" + std::to_string(n) + ")";
        if (!names.count(candidate)) return candidate;
    }
}

}  // namespace

bool MVGLDFileManager::loadGLDFileWithURL(const std::filesystem::path& url) {
    const MVStepTimer timer("MVGLDFileManager::loadGLDFileWithURL");
    const bool loaded = startGLDProcess(url, false);
    if (loaded) {
        files_.appendAddress(url);
        platform::RecentDocuments::shared().noteNewRecentDocumentURL(url);
    }
    return loaded;
}

bool MVGLDFileManager::startGLDProcess(const std::filesystem::path& url, bool sfLocationsProvided) {
    if (!checkOnLoadingQueue("startGLDProcess")) return false;
    lastFailureText_.clear();
    sendParsingStatus(MVParsingStatus::kStarted);
    ZORFileLog::writeToTextFile(formatted("main startGLDProcess url: %s", url.string()));
    return processGLDReading(MVGLDReader::readGLDSession(url), url, sfLocationsProvided);
}

bool MVGLDFileManager::startGLDProcessWithData(std::string bytes, const std::filesystem::path& url,
                                               bool sfLocationsProvided) {
    if (!checkOnLoadingQueue("startGLDProcessWithData")) return false;
    lastFailureText_.clear();
    sendParsingStatus(MVParsingStatus::kStarted);
    ZORFileLog::writeToTextFile(formatted("main startGLDProcess url: %s", url.string()));
    return processGLDText(MVGLDReader::textFromBytes(std::move(bytes)), url, sfLocationsProvided);
}

bool MVGLDFileManager::processGLDText(MVGLDText text, const std::filesystem::path& url,
                                      bool sfLocationsProvided) {
    return processGLDReading(MVGLDReader::readGLDSessionText(std::move(text)), url,
                             sfLocationsProvided);
}

// One session file's load in progress: what the steps of processGLDReading hand on. Holds views
// into its own lists, so it is never copied nor moved.
struct MVGLDFileManager::GLDLoad {
    GLDLoad(MVGLDReading r, const std::filesystem::path& u) : reading(std::move(r)), url(u) {}
    GLDLoad(const GLDLoad&) = delete;
    GLDLoad& operator=(const GLDLoad&) = delete;

    MVGLDReading reading;
    const std::filesystem::path& url;
    // The section lines of the file (its text is gone) and what is read of them.
    std::vector<std::string_view> lines;
    bool isQuarto = false;
    std::optional<MVAviSection> aviSection;
    std::vector<std::string> laptimingText;
    std::vector<std::string_view> laptiming;  // views of laptimingText
    // Whether a base location was set before this file.
    bool baseWasSet = false;
    // The file's entry of the series lists, filled step by step.
    MVLoadedFile::Series series;
    TrackList candidates;
    // The plane points of every sample, shared by the circuit choice, the lap cutting, the maps
    // and the alignment, and whether each sample has a position fix.
    std::vector<MV2DSegmentPtr> points;
    std::vector<bool> fixes;
    // The gate crossings detected on `points`: the circuit choice's, which the lap cutting reuses.
    mutable MVStartFinish::CrossingsMemo crossings;
};

bool MVGLDFileManager::processGLDReading(MVGLDReading reading, const std::filesystem::path& url,
                                         bool sfLocationsProvided) {
    // Anything that makes the file unusable ends the load; nothing of the file is added and the
    // files already loaded stay as they were.
    GLDLoad load(std::move(reading), url);
    if (!readSections(load)) return false;
    deriveSeries(load);
    if (!settleCircuit(load, sfLocationsProvided)) return false;
    // The series and the plane points hold what the later steps read of the positions, speeds
    // and times: the rows' number columns have served.
    load.reading.samples.rows.dropNumberColumns();
    const MVLapPtr whole = makeWholeFileLap(load);

    load.series.headers = load.reading.header.names;
    load.series.samples = std::move(load.reading.samples.rows);
    files_.appendSeries(std::move(load.series));
    sendParsingStatus(MVParsingStatus::kCircuitSettled);

    const MVLapCutInput input = lapCutInput(load);
    MVLoadedFile::Laps laps = cutLaps(input, *whole);
    laps.wholeFile = MVLaps::instance();
    laps.wholeFile->addLap(whole);
    files_.appendLaps(std::move(laps));
    MVLapCutter::runWholeFileFollowUp(*whole, input, *this);

    settleDisplayMode();
    sendParsingStatus(MVParsingStatus::kFinished);
    if (recordsUsage_) {
        MVCallWebservice::storeUserUsageWithTrack(
            trackInfo_ ? std::optional<std::string>(trackInfo_->trackName()) : std::nullopt);
    }
    return true;
}

bool MVGLDFileManager::refuseLoad(std::string reason) {
    lastFailureText_ = std::move(reason);
    ZORFileLog::writeToTextFile(lastFailureText_);
    sendParsingStatus(MVParsingStatus::kNoUsableSample);
    if (files_.names().empty()) baseLocation_.reset();
    return false;
}

bool MVGLDFileManager::readSections(GLDLoad& load) {
    const MVGLDReading& reading = load.reading;
    if (reading.error != MVGLDReadError::None) return refuseLoad(reading.message);
    sendParsingStatus(MVParsingStatus::kFileRead);
    ZORFileLog::writeToTextFile("main arrayOfLines Count: " + std::to_string(reading.lineCount));
    sendParsingStatus(MVParsingStatus::kLinesSplit);

    // The file's text is gone: the section lines are all the readers of the other sections need.
    load.lines.assign(reading.sectionLines.begin(), reading.sectionLines.end());
    load.isQuarto = MVGLDReader::checkIfFileIsQuarto(load.lines);
    sendParsingStatus(MVParsingStatus::kHeadersRead);

    const MVGLDSamples& samples = reading.samples;
    if (samples.error != MVGLDReadError::None || samples.rows.empty()) {
        return refuseLoad(samples.message.empty() ? "The session file holds no usable sample."
                                                  : samples.message);
    }
    load.aviSection = MVVideoLinks::aviSectionWithArrayOfLines(load.lines);
    load.laptimingText = MVStartFinish::laptimingLines(load.lines);
    load.laptiming.assign(load.laptimingText.begin(), load.laptimingText.end());
    return true;
}

void MVGLDFileManager::deriveSeries(GLDLoad& load) {
    const MVGLDHeader& header = load.reading.header;
    const MVSampleRows& rows = load.reading.samples.rows;
    ZORFileLog::writeToTextFile("main samples Count: " + std::to_string(rows.size()));
    if (header.speedUnitScale != 0) speedUnitScale_ = header.speedUnitScale;
    load.baseWasSet = static_cast<bool>(baseLocation_);
    if (files_.names().empty() && !baseLocation_) {
        baseLocation_ = MVLocation::location(header.names, rows.front());
    }
    sendParsingStatus(MVParsingStatus::kSamplesRead);

    MVLoadedFile::Series& series = load.series;
    series.speeds =
        MVDerivedSeries::fetchSpeedsWithArrayOfHeader(header.names, rows, header.speedUnitScale);
    sendParsingStatus(MVParsingStatus::kSpeedsDerived);
    series.fakeIndexes = MVDerivedSeries::fetchIndexesWithArrayOfHeader(header.names, rows);
    sendParsingStatus(MVParsingStatus::kElapsedTimesDerived);
    series.distances =
        MVDerivedSeries::fetchDistancesWithSamples(rows, *series.speeds, *series.fakeIndexes);
    sendParsingStatus(MVParsingStatus::kDistancesDerived);
}

bool MVGLDFileManager::settleCircuit(GLDLoad& load, bool sfLocationsProvided) {
    const MVGLDHeader& header = load.reading.header;
    const MVSampleRows& rows = load.reading.samples.rows;
    load.candidates =
        fetchAvailableTracksWithArrayOfHeader(header.names, rows, *load.series.fakeIndexes)
            .value_or(TrackList{});
    sendParsingStatus(MVParsingStatus::kTracksRead);

    load.points = MVStartFinish::samplePoints(header.names, rows, *load.series.fakeIndexes,
                                              baseLocationOrOrigin(), &load.fixes);
    auto settled = MVStartFinish::fetchSFWithArrayOfLines(load.laptiming, load.points, &load.fixes,
                                                          *load.series.distances, load.candidates,
                                                          *this, &load.crossings);
    if (settled && !sfLocationsProvided) {
        if (files_.names().empty()) {
            trackInfo_ = settled;
            defaultTrackInfo_ = settled->copy();
        }
        if (settled != trackInfo_) {
            lastFailureText_ = "The session was logged on another circuit layout.";
            sendParsingStatus(MVParsingStatus::kCircuitMismatch);
            if (!load.baseWasSet) baseLocation_.reset();
            return false;
        }
    } else if (!settled) {
        sendParsingStatus(MVParsingStatus::kNoCircuit);
    }
    arrayOfAvailableTracks_ = load.candidates;
    return true;
}

MVLapPtr MVGLDFileManager::makeWholeFileLap(GLDLoad& load) {
    const std::size_t rowCount = load.reading.samples.rows.size();
    const MVFakeIndexes& times = *load.series.fakeIndexes;
    auto whole = MVLap::instance();
    whole->setIsWholeFileLap(true);
    load.series.name = uniqueDisplayName(load.url.stem().string(), files_.names());
    currentGLDFileName_ = load.series.name;
    whole->setGldFile(load.series.name);
    whole->setIsQuarto(load.isQuarto);
    ZORFileLog::writeToTextFile("is Quarto file: " + std::to_string(load.isQuarto ? 1 : 0));
    whole->setIndexStart(0);
    whole->setIndexEnd(rowCount - 1);
    whole->setTimestampStart(times.valueAtIndex(0));
    whole->setTimestampEnd(times.valueAtIndex(static_cast<std::int64_t>(rowCount) - 1));
    whole->setDuration(whole->timestampEnd() - whole->timestampStart());
    wholeFileLap_ = whole;
    return whole;
}

MVLapCutInput MVGLDFileManager::lapCutInput(const GLDLoad& load) const {
    MVLapCutInput input;
    input.lines = &load.laptiming;
    input.headers = &files_.headers().back();
    input.samples = &files_.samples().back();
    input.fakeIndexes = files_.fakeIndexes().back().get();
    input.distances = files_.distances().back().get();
    input.points = &load.points;
    input.fixes = &load.fixes;
    input.crossings = &load.crossings;
    input.url = load.url;
    input.aviSection = load.aviSection;
    if (load.aviSection) {
        // Only a session that names its videos needs their indexes.
        const std::ptrdiff_t column =
            MVHelper::ColumnOfKey(*input.headers, MVHelper::Key_VideoIndex());
        input.videoIndexRuns = MVVideoIndexRuns::ofRows(
            *input.samples, column < 0
                                ? std::nullopt
                                : std::optional<std::size_t>(static_cast<std::size_t>(column)));
    }
    input.isQuarto = load.isQuarto;
    return input;
}

MVLoadedFile::Laps MVGLDFileManager::cutLaps(const MVLapCutInput& input, MVLap& wholeFileLap) {
    MVLoadedFile::Laps result;
    auto laps = MVLapCutter::fetchLaps(input, wholeFileLap, *this);
    result.complete = MVLaps::instance();
    if (laps) {
        // The unfinished lap is told by its flag: the cutter may have made none.
        for (const MVLapPtr& lap : laps->data()) {
            if (!lap->isUnfinishedLap()) result.complete->addLap(lap);
        }
        result.all = laps;
    } else {
        // No lap (settleDisplayMode shows the session whole when no file has any).
        result.all = MVLaps::instance();
    }
    result.precise = preciseLaps(*result.complete);
    return result;
}

MVLapsPtr MVGLDFileManager::preciseLaps(const MVLaps& completeLaps) const {
    auto precise = MVLaps::instance();
    if (referenceLap_) {
        const double r = referenceLap_->distance();
        for (std::size_t i = 0; i < completeLaps.count(); ++i) {
            const auto lap = completeLaps.lapAtIndex(i);
            if (lap->distance() >= 0.85 * r && lap->distance() <= 1.15 * r) precise->addLap(lap);
        }
    }
    return precise;
}

// What the display rule keeps between the loading thread and the main thread.
struct MVGLDFileManager::DisplayRule {
    std::atomic<bool> anyLaps{false};    // as the last settled list said
    std::atomic<bool> queued{false};     // a main-queue task is waiting to apply it
    bool switchedForWantOfLaps = false;  // main thread only

    void apply() {
        auto& options = MVOptionsAndSettings::sharedManager();
        if (!anyLaps) {
            if (options.is(MVDisplayMode::WholeSession)) return;  // as the user chose
            options.safelyChangeMVDisplayModeWithoutKVO(MVDisplayMode::WholeSession);
            options.safelyChangeMVModeWithoutKVO(MVXAxisMode::Time);
            switchedForWantOfLaps = true;
            return;
        }
        if (switchedForWantOfLaps && options.is(MVDisplayMode::WholeSession)) {
            options.safelyChangeMVDisplayModeWithoutKVO(MVDisplayMode::Laps);
            options.safelyChangeMVModeWithoutKVO(MVXAxisMode::Position);
        }
        switchedForWantOfLaps = false;
    }
};

void MVGLDFileManager::settleDisplayMode() {
    if (files_.size() == 0) return;
    if (!displayRule_) displayRule_ = std::make_shared<DisplayRule>();
    const auto& complete = files_.completeLaps();
    displayRule_->anyLaps =
        std::any_of(complete.begin(), complete.end(),
                    [](const MVLapsPtr& laps) { return laps && !laps->data().empty(); });
    if (platform::mainQueue().isCurrent()) {
        displayRule_->apply();
        return;
    }
    // One task at a time applies the latest lists' answer: a process whose main queue is never
    // drained (a tool, a fuzzer) holds one task, not one per load.
    if (displayRule_->queued.exchange(true)) return;
    platform::mainQueue().async([rule = displayRule_] {
        rule->queued = false;
        rule->apply();
    });
}

platform::SerialQueue& MVGLDFileManager::loadingQueue() {
    static auto* queue = new platform::SerialQueue("org.gridlark.loading");
    return *queue;
}

void MVGLDFileManager::setTrackInfo(MVTrackInfoPtr trackInfo) {
    if (!checkOnLoadingQueue("setTrackInfo")) return;
    trackInfo_ = std::move(trackInfo);
    removeAllData(false);
    loadingQueue().async([this] { reparseLoadedFiles(); });
}

void MVGLDFileManager::reparseLoadedFiles() {
    const auto urls = files_.addresses();
    std::vector<std::filesystem::path> kept;
    for (const auto& url : urls) {
        // A file that has vanished since it was loaded leaves every list.
        if (startGLDProcess(url, true)) kept.push_back(url);
    }
    files_.setAddresses(kept);
}
