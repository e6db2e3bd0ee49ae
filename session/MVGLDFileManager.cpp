#include "session/MVGLDFileManager.h"
#include "session/MVStepTimer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/NotificationCenter.h"
#include "session/MVNotifications.h"
#include "session/MVXMLParser.h"

namespace {

// Erases position `index` of a list that reaches it; a shorter list is left as it is.
template <typename T>
void eraseAt(std::vector<T>& list, std::size_t index) {
    if (index < list.size()) list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
}

bool holds(const std::vector<MVLapsPtr>& perFile, std::size_t index, const MVLapPtr& lap) {
    if (index >= perFile.size() || !perFile[index]) return false;
    const auto& laps = perFile[index]->data();
    return std::find(laps.begin(), laps.end(), lap) != laps.end();
}

void postFileRemoved() {
    platform::NotificationCenter::defaultCenter().post(MVNotificationGLDFileDidRemoved);
}

}  // namespace

MVGLDFileManager::MVGLDFileManager() = default;

MVGLDFileManager& MVGLDFileManager::sharedManager() {
    static MVGLDFileManager* const manager = [] {
        auto* m = new MVGLDFileManager();
        // Removing the file that holds the reference lap re-parses the rest, so that the first
        // remaining file gives the new reference lap.
        m->setReparseHandler([](MVGLDFileManager& self) { self.setTrackInfo(self.trackInfo()); });
        return m;
    }();
    return *manager;
}

std::optional<std::size_t> MVGLDFileManager::indexOfGLDFileName(const std::string& name) const {
    const auto it = std::find(gldFileNames_.begin(), gldFileNames_.end(), name);
    if (it == gldFileNames_.end()) return std::nullopt;
    return static_cast<std::size_t>(it - gldFileNames_.begin());
}

bool MVGLDFileManager::removeFileAtIndex(std::int64_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= longestListSize()) return false;
    const auto at = static_cast<std::size_t>(index);

    const bool referenceLost = referenceLap_ && (holds(arrayOfAllLaps_, at, referenceLap_) ||
                                                 holds(arrayOfMVLaps_, at, referenceLap_) ||
                                                 holds(arrayOfPreciseLaps_, at, referenceLap_) ||
                                                 holds(arrayOfWholeFileMVLaps_, at, referenceLap_));

    eraseAt(arrayOfMVLaps_, at);
    eraseAt(arrayOfHeaders_, at);
    eraseAt(gldFileNames_, at);
    eraseAt(arrayOfSamples_, at);
    eraseAt(arrayOfSpeeds_, at);
    eraseAt(arrayOfDistances_, at);
    eraseAt(arrayOfFakeIndexes_, at);
    eraseAt(arrayOfWholeFileMVLaps_, at);
    eraseAt(arrayOfGLDURLs_, at);
    eraseAt(arrayOfAllLaps_, at);
    eraseAt(arrayOfPreciseLaps_, at);

    if (longestListSize() == 0) {
        baseLocation_.reset();
        referenceLap_.reset();
        trackInfo_.reset();
        defaultTrackInfo_.reset();
    } else if (referenceLost) {
        // The reference lap belonged to the removed session: nothing may point into it any
        // more. The remaining files are measured again against a reference of their own.
        referenceLap_.reset();
        if (reparseHandler_) {
            reparseHandler_(*this);
            return true;
        }
    }
    postFileRemoved();
    return true;
}

std::size_t MVGLDFileManager::longestListSize() const {
    return std::max({gldFileNames_.size(), arrayOfHeaders_.size(), arrayOfSamples_.size(),
                     arrayOfSpeeds_.size(), arrayOfFakeIndexes_.size(), arrayOfDistances_.size(),
                     arrayOfMVLaps_.size(), arrayOfAllLaps_.size(), arrayOfPreciseLaps_.size(),
                     arrayOfWholeFileMVLaps_.size(), arrayOfGLDURLs_.size()});
}

void MVGLDFileManager::removeAllData(bool includingURLs) {
    referenceLap_.reset();
    baseLocation_.reset();
    arrayOfMVLaps_.clear();
    arrayOfHeaders_.clear();
    gldFileNames_.clear();
    arrayOfSamples_.clear();
    arrayOfSpeeds_.clear();
    arrayOfDistances_.clear();
    arrayOfFakeIndexes_.clear();
    arrayOfWholeFileMVLaps_.clear();
    arrayOfAllLaps_.clear();
    arrayOfPreciseLaps_.clear();
    if (includingURLs) {
        arrayOfGLDURLs_.clear();
        trackInfo_.reset();
        defaultTrackInfo_.reset();
    }
    postFileRemoved();
}

void MVGLDFileManager::sendParsingStatus(std::int32_t code) const {
    if (auto delegate = delegate_.lock()) delegate->parsingStatus(code);
}

std::optional<MVGLDFileManager::TrackList> MVGLDFileManager::fetchAvailableTracksWithArrayOfHeader(
    const ChannelNames& headers, const MVSampleRows& samples,
    const MVFakeIndexes& fakeIndexes) const {
    const auto start = std::chrono::steady_clock::now();
    if (samples.empty()) return TrackList{};
    const auto middle = static_cast<std::int64_t>(samples.size() / 2);
    const auto location = MVLocation::location(middle, headers, samples, fakeIndexes);
    MVXMLParser parser(shippedCircuitDatabase_);
    if (circuitDatabaseText_) {
        parser.parseXMLTrackWithData(*location, *circuitDatabaseText_);
    } else {
        parser.parseXMLTrack(*location);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (MVStepTimer::linesEnabled()) {
        std::fprintf(stderr, "%s executed %fs\n",
                     "MVGLDFileManager::fetchAvailableTracksWithArrayOfHeader", elapsed.count());
    }
    return parser.getAllTracks();
}
