// The loading pipeline of the session-file manager: one session file becomes channel names,
// sample rows, derived series, a circuit record, a whole-file lap and the session's laps.
#include "session/MVGLDFileManager.h"

#include "session/MVCallWebservice.h"
#include "session/MVDerivedSeries.h"
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
        arrayOfGLDURLs_.push_back(url);
        platform::RecentDocuments::shared().noteNewRecentDocumentURL(url);
    }
    return loaded;
}

bool MVGLDFileManager::startGLDProcess(const std::filesystem::path& url, bool sfLocationsProvided) {
    lastFailureText_.clear();
    sendParsingStatus(MVParsingStatus::kStarted);
    ZORFileLog::writeToTextFile(formatted("main startGLDProcess url: %s", url.string()));
    return processGLDReading(MVGLDReader::readGLDSession(url), url, sfLocationsProvided);
}

bool MVGLDFileManager::startGLDProcessWithData(std::string bytes, const std::filesystem::path& url,
                                               bool sfLocationsProvided) {
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

bool MVGLDFileManager::processGLDReading(MVGLDReading reading, const std::filesystem::path& url,
                                         bool sfLocationsProvided) {
    // Anything that makes the file unusable ends the load with status 13 and a text; nothing of
    // the file is added and the files already loaded stay as they were.
    auto refuse = [&](std::string reason) {
        lastFailureText_ = std::move(reason);
        ZORFileLog::writeToTextFile(lastFailureText_);
        sendParsingStatus(MVParsingStatus::kNoUsableSample);
        if (gldFileNames_.empty()) baseLocation_.reset();
        return false;
    };

    if (reading.error != MVGLDReadError::None) return refuse(reading.message);
    sendParsingStatus(MVParsingStatus::kFileRead);
    ZORFileLog::writeToTextFile("main arrayOfLines Count: " + std::to_string(reading.lineCount));
    sendParsingStatus(MVParsingStatus::kLinesSplit);

    // The file's text is gone: the section lines are all the readers of the other sections need.
    MVGLDHeader& header = reading.header;
    const std::vector<std::string_view> lines(reading.sectionLines.begin(),
                                              reading.sectionLines.end());
    const bool isQuarto = MVGLDReader::checkIfFileIsQuarto(lines);
    sendParsingStatus(MVParsingStatus::kHeadersRead);

    MVGLDSamples& samples = reading.samples;
    if (samples.error != MVGLDReadError::None || samples.rows.empty()) {
        return refuse(samples.message.empty() ? "The session file holds no usable sample."
                                              : samples.message);
    }
    const auto aviSection = MVVideoLinks::aviSectionWithArrayOfLines(lines);
    const std::vector<std::string> laptimingText = MVStartFinish::laptimingLines(lines);
    const std::vector<std::string_view> laptiming(laptimingText.begin(), laptimingText.end());

    ZORFileLog::writeToTextFile("main samples Count: " + std::to_string(samples.rows.size()));
    if (header.speedUnitScale != 0) speedUnitScale_ = header.speedUnitScale;
    const bool baseWasSet = static_cast<bool>(baseLocation_);
    if (gldFileNames_.empty() && !baseLocation_) {
        baseLocation_ = MVLocation::location(header.names, samples.rows.front());
    }
    sendParsingStatus(MVParsingStatus::kSamplesRead);

    auto speeds = MVDerivedSeries::fetchSpeedsWithArrayOfHeader(header.names, samples.rows,
                                                                header.speedUnitScale);
    sendParsingStatus(MVParsingStatus::kSpeedsDerived);
    auto fakeIndexes = MVDerivedSeries::fetchIndexesWithArrayOfHeader(header.names, samples.rows);
    sendParsingStatus(MVParsingStatus::kElapsedTimesDerived);
    auto distances =
        MVDerivedSeries::fetchDistancesWithSamples(samples.rows, *speeds, *fakeIndexes);
    sendParsingStatus(MVParsingStatus::kDistancesDerived);

    auto candidates =
        fetchAvailableTracksWithArrayOfHeader(header.names, samples.rows, *fakeIndexes)
            .value_or(TrackList{});
    sendParsingStatus(MVParsingStatus::kTracksRead);

    // The plane points of every sample, shared by the circuit choice, the lap cutting, the maps
    // and the alignment.
    std::vector<bool> fixes;
    const auto points = MVStartFinish::samplePoints(header.names, samples.rows, *fakeIndexes,
                                                    baseLocationOrOrigin(), &fixes);
    auto settled =
        MVStartFinish::fetchSFWithArrayOfLines(laptiming, points, *distances, candidates, *this);
    if (settled && !sfLocationsProvided) {
        if (gldFileNames_.empty()) {
            trackInfo_ = settled;
            defaultTrackInfo_ = settled->copy();
        }
        if (settled != trackInfo_) {
            lastFailureText_ = "The session was logged on another circuit layout.";
            sendParsingStatus(MVParsingStatus::kCircuitMismatch);
            if (!baseWasSet) baseLocation_.reset();
            return false;
        }
    } else if (!settled) {
        sendParsingStatus(MVParsingStatus::kNoCircuit);
    }
    arrayOfAvailableTracks_ = candidates;

    // The whole-file lap, under a display name unique among the loaded files.
    auto whole = MVLap::instance();
    whole->setIsWholeFileLap(true);
    const std::string displayName = uniqueDisplayName(url.stem().string(), gldFileNames_);
    currentGLDFileName_ = displayName;
    whole->setGldFile(displayName);
    whole->setIsQuarto(isQuarto);
    ZORFileLog::writeToTextFile("is Quarto file: " + std::to_string(isQuarto ? 1 : 0));
    whole->setIndexStart(0);
    whole->setIndexEnd(samples.rows.size() - 1);
    whole->setTimestampStart(fakeIndexes->valueAtIndex(0));
    whole->setTimestampEnd(
        fakeIndexes->valueAtIndex(static_cast<std::int64_t>(samples.rows.size()) - 1));
    whole->setDuration(whole->timestampEnd() - whole->timestampStart());
    wholeFileLap_ = whole;

    gldFileNames_.push_back(displayName);
    arrayOfHeaders_.push_back(header.names);
    arrayOfSamples_.push_back(std::move(samples.rows));
    arrayOfSpeeds_.push_back(speeds);
    arrayOfFakeIndexes_.push_back(fakeIndexes);
    arrayOfDistances_.push_back(distances);
    sendParsingStatus(MVParsingStatus::kCircuitSettled);

    MVLapCutInput input;
    input.lines = &laptiming;
    input.headers = &arrayOfHeaders_.back();
    input.samples = &arrayOfSamples_.back();
    input.fakeIndexes = fakeIndexes.get();
    input.distances = distances.get();
    input.points = &points;
    input.fixes = &fixes;
    input.url = url;
    input.aviSection = aviSection;
    input.isQuarto = isQuarto;
    auto laps = MVLapCutter::fetchLaps(input, *whole, *this);

    auto completeLaps = MVLaps::instance();
    if (laps) {
        for (std::size_t i = 0; i + 1 < laps->count(); ++i)
            completeLaps->addLap(laps->lapAtIndex(i));
        arrayOfMVLaps_.push_back(completeLaps);
        arrayOfAllLaps_.push_back(laps);
    } else {
        arrayOfMVLaps_.push_back(completeLaps);
        arrayOfAllLaps_.push_back(MVLaps::instance());
        auto& options = MVOptionsAndSettings::sharedManager();
        options.safelyChangeMVDisplayModeWithoutKVO(1);
        options.safelyChangeMVModeWithoutKVO(0);
    }

    auto precise = MVLaps::instance();
    if (referenceLap_) {
        const double r = referenceLap_->distance();
        for (std::size_t i = 0; i < completeLaps->count(); ++i) {
            const auto lap = completeLaps->lapAtIndex(i);
            if (lap->distance() >= 0.85 * r && lap->distance() <= 1.15 * r) precise->addLap(lap);
        }
    }
    arrayOfPreciseLaps_.push_back(precise);

    MVLapCutter::runWholeFileFollowUp(*whole, input, *this);
    auto wholeList = MVLaps::instance();
    wholeList->addLap(whole);
    arrayOfWholeFileMVLaps_.push_back(wholeList);

    sendParsingStatus(MVParsingStatus::kFinished);
    if (recordsUsage_) {
        MVCallWebservice::storeUserUsageWithTrack(
            trackInfo_ ? std::optional<std::string>(trackInfo_->trackName()) : std::nullopt);
    }
    return true;
}

platform::SerialQueue& MVGLDFileManager::loadingQueue() {
    static auto* queue = new platform::SerialQueue("org.gridlark.loading");
    return *queue;
}

void MVGLDFileManager::setTrackInfo(MVTrackInfoPtr trackInfo) {
    trackInfo_ = std::move(trackInfo);
    removeAllData(false);
    loadingQueue().async([this] { reparseLoadedFiles(); });
}

void MVGLDFileManager::reparseLoadedFiles() {
    const auto urls = arrayOfGLDURLs_;
    std::vector<std::filesystem::path> kept;
    for (const auto& url : urls) {
        // A file that has vanished since it was loaded leaves every list.
        if (startGLDProcess(url, true)) kept.push_back(url);
    }
    arrayOfGLDURLs_ = kept;
}
