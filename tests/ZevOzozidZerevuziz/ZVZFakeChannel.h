#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelProtocols.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace zvz_test {

class FakeChannelGroup;

// A channel unit that asks its own and its group's delegates to prepare each log, as the real
// unit does on the enqueuing thread, runs the filter at once and keeps what passes.
class FakeChannelUnit : public ZVTChannelUnitProtocol {
  public:
    struct Item {
        std::shared_ptr<ZVTLog> log;
        uint64_t flags;
    };

    explicit FakeChannelUnit(std::string groupId = "Zerevuziz", FakeChannelGroup* group = nullptr)
        : group_(group) {
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
    void enqueueItem(const std::shared_ptr<ZVTLog>& log, uint64_t flags) override;
    void pauseSendingLogsWithToken(const std::string& t) override { pausedTokens.insert(t); }
    void resumeSendingLogsWithToken(const std::string& t) override { pausedTokens.erase(t); }
    ZVTChannelUnitConfiguration configuration() const override { return configuration_; }
    void setConfiguration(const ZVTChannelUnitConfiguration& c) override { configuration_ = c; }

    std::vector<std::shared_ptr<ZVTChannelDelegate>> live();

    std::vector<Item> items;
    std::set<const void*> paused;
    std::set<std::string> pausedTokens;
    bool enabled = true;
    int filtered = 0;

  private:
    FakeChannelGroup* group_;
    std::mutex mutex_;
    std::vector<std::weak_ptr<ZVTChannelDelegate>> delegates_;
    ZVTChannelUnitConfiguration configuration_;
};

// A channel group of fake units. Like the common-schema collector delegate, it gives each unit a
// "/one" twin and enqueues there the common-schema copies of logs that carry target tokens.
class FakeChannelGroup : public ZVTChannelGroupProtocol {
  public:
    void addDelegate(const std::shared_ptr<ZVTChannelDelegate>& d) override {
        std::lock_guard lock(mutex_);
        delegates_.push_back(d);
    }
    void removeDelegate(const std::shared_ptr<ZVTChannelDelegate>& d) override {
        std::lock_guard lock(mutex_);
        std::erase_if(delegates_, [&](const auto& w) { return w.lock() == d; });
    }
    void pauseWithIdentifyingObject(const void*) override {}
    void resumeWithIdentifyingObject(const void*) override {}
    void setEnabled(bool, bool) override {}
    std::shared_ptr<ZVTChannelUnitProtocol> addChannelUnitWithConfiguration(
        const ZVTChannelUnitConfiguration& configuration) override {
        auto unit = std::make_shared<FakeChannelUnit>(configuration.groupId, this);
        unit->setConfiguration(configuration);
        units[configuration.groupId] = unit;
        if (!configuration.groupId.ends_with("/one")) {
            auto twin = ZVTChannelUnitConfiguration::defaultConfiguration(
                configuration.groupId + "/one", configuration.flushInterval);
            units[twin.groupId] = std::make_shared<FakeChannelUnit>(twin.groupId, this);
            units[twin.groupId]->setConfiguration(twin);
        }
        return unit;
    }
    std::shared_ptr<ZVTChannelUnitProtocol> addChannelUnitWithConfiguration(
        const ZVTChannelUnitConfiguration& configuration,
        const std::shared_ptr<ZVTIngestionProtocol>&) override {
        return addChannelUnitWithConfiguration(configuration);
    }
    void setMaxStorageSize(int64_t, std::function<void(bool)> completion) override {
        if (completion) completion(true);
    }
    std::shared_ptr<ZVTChannelUnitProtocol> channelUnitForGroupId(const std::string& id) override {
        auto it = units.find(id);
        return it == units.end() ? nullptr : it->second;
    }
    std::string logUrl() const override { return "http://127.0.0.1:1"; }
    void setLogUrl(const std::string&) override {}
    std::optional<std::string> appSecret() const override { return std::nullopt; }
    void setAppSecret(const std::optional<std::string>&) override {}

    std::vector<std::shared_ptr<ZVTChannelDelegate>> live() {
        std::lock_guard lock(mutex_);
        std::vector<std::shared_ptr<ZVTChannelDelegate>> out;
        for (auto& w : delegates_) {
            if (auto d = w.lock()) out.push_back(d);
        }
        return out;
    }
    FakeChannelUnit& unit(const std::string& id) { return *units.at(id); }

    std::map<std::string, std::shared_ptr<FakeChannelUnit>> units;

  private:
    std::mutex mutex_;
    std::vector<std::weak_ptr<ZVTChannelDelegate>> delegates_;
};

inline std::vector<std::shared_ptr<ZVTChannelDelegate>> FakeChannelUnit::live() {
    std::vector<std::shared_ptr<ZVTChannelDelegate>> out;
    if (group_) out = group_->live();
    std::lock_guard lock(mutex_);
    for (auto& w : delegates_) {
        if (auto d = w.lock()) out.push_back(d);
    }
    return out;
}

inline void FakeChannelUnit::enqueueItem(const std::shared_ptr<ZVTLog>& log, uint64_t flags) {
    auto delegates = live();
    for (auto& d : delegates) d->channelPrepareLog(*this, *log);
    const auto tokens = log->transmissionTargetTokens();
    if (group_ && tokens && !tokens->empty() && !configuration_.groupId.ends_with("/one")) {
        if (auto copies = log->toCommonSchemaLogsWithFlags(flags)) {
            auto& twin = group_->unit(configuration_.groupId + "/one");
            for (auto& copy : *copies) twin.enqueueItem(copy, flags);
        }
    }
    for (auto& d : delegates) {
        if (d->channelUnitShouldFilterLog(*this, *log)) {
            ++filtered;
            return;
        }
    }
    if (enabled) items.push_back({log, flags});
}

}  // namespace zvz_test
