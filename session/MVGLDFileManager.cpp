#include "session/MVGLDFileManager.h"

#include "session/MVNotifications.h"
#include "session/MVStepTimer.h"
#include "session/MVXMLParser.h"

#include "platform/NotificationCenter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

void postFileRemoved() {
    platform::NotificationCenter::defaultCenter().post(MVNotificationGLDFileDidRemoved);
}

}  // namespace

MVGLDFileManager::MVGLDFileManager() = default;

MVGLDFileManager& MVGLDFileManager::sharedManager() {
    static MVGLDFileManager* const manager = [] {
        auto* m = new MVGLDFileManager();
        m->bindListsToLoadingQueue();
        // Removing the file that holds the reference lap re-parses the rest, so that the first
        // remaining file gives the new reference lap.
        m->setReparseHandler([](MVGLDFileManager& self) { self.setTrackInfo(self.trackInfo()); });
        return m;
    }();
    return *manager;
}

std::optional<std::size_t> MVGLDFileManager::indexOfGLDFileName(const std::string& name) const {
    const auto& names = files_.names();
    const auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end()) return std::nullopt;
    return static_cast<std::size_t>(it - names.begin());
}

bool MVGLDFileManager::checkOnLoadingQueue(const char* operation) const {
    if (!listsBoundToLoadingQueue_ || loadingQueue().isCurrent()) return true;
    std::fprintf(stderr,
                 "gridlark: MVGLDFileManager::%s must run on the loading queue; nothing written\n",
                 operation);
    return false;
}

void MVGLDFileManager::setArrayOfGLDURLs(std::vector<std::filesystem::path> v) {
    if (!checkOnLoadingQueue("setArrayOfGLDURLs")) return;
    files_.setAddresses(std::move(v));
}

bool MVGLDFileManager::replaceLoadedFiles(MVLoadedFiles files) {
    if (!checkOnLoadingQueue("replaceLoadedFiles")) return false;
    files_ = std::move(files);
    return true;
}

bool MVGLDFileManager::removeFileAtIndex(std::int64_t index) {
    if (!checkOnLoadingQueue("removeFileAtIndex")) return false;
    if (index < 0 || static_cast<std::size_t>(index) >= files_.size()) return false;
    const auto at = static_cast<std::size_t>(index);

    const bool referenceLost = referenceLap_ && files_.holdsLap(at, referenceLap_);
    files_.erase(at);

    if (files_.size() == 0) {
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
    settleDisplayMode();
    postFileRemoved();
    return true;
}

void MVGLDFileManager::removeAllData(bool includingURLs) {
    if (!checkOnLoadingQueue("removeAllData")) return;
    referenceLap_.reset();
    baseLocation_.reset();
    files_.clear();
    if (includingURLs) {
        files_.clearAddresses();
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
