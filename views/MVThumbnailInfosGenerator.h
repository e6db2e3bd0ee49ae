#pragma once

#include "views/MVThumbnailInfo.h"

#include "session/MVLap.h"

#include "platform/Observable.h"
#include "platform/ObserverToken.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class MVGLDFileManager;

// Works out the thumbnail slots of a lap (see computeThumbnailInfos) on a background queue and
// publishes them, on the main queue, as `listOfThumbnailInfos` (observers are told of every run's
// list, also an empty one). The lap's samples are copied on the calling (main) thread first, so
// the worker never reads the manager. Each run is tagged: a run that finishes after a newer one
// was asked for is dropped, so an old list never replaces a newer one.
//
// infosGenerator and the observers: main thread only. The object may be destroyed while a run is
// under way; the run's result is then dropped.
class MVThumbnailInfosGenerator {
  public:
    explicit MVThumbnailInfosGenerator(const MVGLDFileManager& manager);
    ~MVThumbnailInfosGenerator();
    MVThumbnailInfosGenerator(const MVThumbnailInfosGenerator&) = delete;
    MVThumbnailInfosGenerator& operator=(const MVThumbnailInfosGenerator&) = delete;

    // `count`: strip width / 160, fractional. A null lap publishes an empty list.
    void infosGenerator(const MVLapPtr& lap, double count);

    std::vector<MVThumbnailInfo> listOfThumbnailInfos() const { return list_.get(); }
    [[nodiscard]] platform::ObserverToken observeListOfThumbnailInfos(
        platform::Observable<std::vector<MVThumbnailInfo>>::Handler handler) {
        return list_.observe(std::move(handler));
    }

  private:
    struct Shared;
    const MVGLDFileManager& manager_;
    std::shared_ptr<Shared> shared_;
    platform::Observable<std::vector<MVThumbnailInfo>> list_;
};
