#pragma once

#include "Internals/Channel/ZVTChannelProtocols.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace zvz_test {

// A channel unit that asks its delegates to prepare each log, as the real unit does on the
// enqueuing thread, runs the filter at once and keeps what passes.
class FakeChannelUnit : public ZVTChannelUnitProtocol {
  public:
    struct Item {
        std::shared_ptr<ZVTLog> log;
        uint64_t flags;
    };

    explicit FakeChannelUnit(std::string groupId = "Zerevuziz") {
        configuration_.groupId = std::move(groupId);
    }

    void addDelegate(const std::shared_ptr<ZVTChannelDelegate>& d) override {
        std::lock_guard lock(mutex_);
        delegates_.push_back(d);
    }
    void removeDelegate(const std::shared_ptr<ZVTChannelDelegate>& d) override {
        std::lock_guard lock(mutex_);
        std::erase_if(delegates_, [&](const auto& w) { return w.lock() == d; });
    }
    void pauseWithIdentifyingObject(const void* o) override { paused.insert(o); }
    void resumeWithIdentifyingObject(const void* o) override { paused.erase(o); }
    void setEnabled(bool isEnabled, bool deleteData) override {
        enabled = isEnabled;
        if (!isEnabled && deleteData) items.clear();
    }
    void enqueueItem(const std::shared_ptr<ZVTLog>& log, uint64_t flags) override {
        auto delegates = live();
        for (auto& d : delegates) d->channelPrepareLog(*this, *log);
        for (auto& d : delegates) {
            if (d->channelUnitShouldFilterLog(*this, *log)) {
                ++filtered;
                return;
            }
        }
        if (enabled) items.push_back({log, flags});
    }
    void pauseSendingLogsWithToken(const std::string& t) override { pausedTokens.insert(t); }
    void resumeSendingLogsWithToken(const std::string& t) override { pausedTokens.erase(t); }
    ZVTChannelUnitConfiguration configuration() const override { return configuration_; }
    void setConfiguration(const ZVTChannelUnitConfiguration& c) override { configuration_ = c; }

    std::vector<std::shared_ptr<ZVTChannelDelegate>> live() {
        std::lock_guard lock(mutex_);
        std::vector<std::shared_ptr<ZVTChannelDelegate>> out;
        for (auto& w : delegates_) {
            if (auto d = w.lock()) out.push_back(d);
        }
        return out;
    }

    std::vector<Item> items;
    std::set<const void*> paused;
    std::set<std::string> pausedTokens;
    bool enabled = true;
    int filtered = 0;

  private:
    std::mutex mutex_;
    std::vector<std::weak_ptr<ZVTChannelDelegate>> delegates_;
    ZVTChannelUnitConfiguration configuration_;
};

}  // namespace zvz_test
