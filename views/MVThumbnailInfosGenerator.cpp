#include "views/MVThumbnailInfosGenerator.h"

#include "views/MVThumbnailSampleTimes.h"

#include "platform/Dispatch.h"

#include <mutex>

// What a run shares with its generator: the tag of the newest run, and whether the generator
// still exists (cleared on the main thread by the destructor, read there by the hand-over).
struct MVThumbnailInfosGenerator::Shared {
    std::uint64_t latest = 0;
    MVThumbnailInfosGenerator* owner = nullptr;
};

MVThumbnailInfosGenerator::MVThumbnailInfosGenerator(const MVGLDFileManager& manager)
    : manager_(manager), shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
}

MVThumbnailInfosGenerator::~MVThumbnailInfosGenerator() {
    shared_->owner = nullptr;
}

void MVThumbnailInfosGenerator::infosGenerator(const MVLapPtr& lap, double count) {
    const std::uint64_t tag = ++shared_->latest;
    auto snapshot = std::make_shared<MVThumbnailLapSnapshot>(
        lap ? MVThumbnailLapSnapshot::of(*lap, manager_) : MVThumbnailLapSnapshot{});
    std::shared_ptr<Shared> shared = shared_;
    platform::globalQueue().async([shared, snapshot, count, tag] {
        auto infos =
            std::make_shared<std::vector<MVThumbnailInfo>>(computeThumbnailInfos(*snapshot, count));
        platform::mainQueue().async([shared, infos, tag] {
            if (!shared->owner || shared->latest != tag) return;
            shared->owner->list_.set(std::move(*infos));
        });
    });
}
