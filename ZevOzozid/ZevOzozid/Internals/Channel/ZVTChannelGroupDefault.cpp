#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelGroupDefault.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelUnitDefault.h"
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"

const std::string& ZVTChannelGroupDefault::queueLabel() {
    static const std::string label = ZVTUtility::kZVTSdkDirectoryName + ".ChannelGroupQueue";
    return label;
}

std::shared_ptr<ZVTChannelGroupDefault> ZVTChannelGroupDefault::make(
    std::shared_ptr<ZVTHttpClientProtocol> httpClient, const ZVTUUID& installId,
    const std::string& logUrl) {
    auto ingestion = std::make_shared<ZVTZevOzozidIngestion>(std::move(httpClient), logUrl,
                                                             installId.UUIDString());
    return makeWithIngestion(std::move(ingestion));
}

std::shared_ptr<ZVTChannelGroupDefault> ZVTChannelGroupDefault::makeWithIngestion(
    std::shared_ptr<ZVTZevOzozidIngestion> ingestion, std::shared_ptr<ZVTStorage> storage,
    ZVTZevOzozidUserDefaults& settings) {
    std::shared_ptr<ZVTLogDBStorage> own;
    if (!storage) {
        own = std::make_shared<ZVTLogDBStorage>(ZVTLogDBStorage::OpenLater{});
        storage = own;
    }
    auto group = std::make_shared<ZVTChannelGroupDefault>(Passkey(), std::move(ingestion),
                                                          std::move(storage), settings);
    // The store's file is opened (and salvaged when damaged) on the logs queue, ahead of every
    // unit's work there, so that the program's start does not wait for it.
    if (own) group->queue_->async([own] { own->ensureInitialized(); });
    return group;
}

ZVTChannelGroupDefault::ZVTChannelGroupDefault(Passkey,
                                               std::shared_ptr<ZVTZevOzozidIngestion> ingestion,
                                               std::shared_ptr<ZVTStorage> storage,
                                               ZVTZevOzozidUserDefaults& settings)
    : ingestion_(std::move(ingestion)),
      storage_(std::move(storage)),
      settings_(settings),
      queue_(std::make_shared<platform::SerialQueue>(queueLabel())) {}

std::vector<std::shared_ptr<ZVTChannelUnitProtocol>> ZVTChannelGroupDefault::channels() const {
    std::lock_guard lock(channelsMutex_);
    return channels_;
}

std::shared_ptr<ZVTChannelUnitProtocol> ZVTChannelGroupDefault::addChannelUnitWithConfiguration(
    const ZVTChannelUnitConfiguration& configuration) {
    return addChannelUnitWithConfiguration(configuration, ingestion_);
}

std::shared_ptr<ZVTChannelUnitProtocol> ZVTChannelGroupDefault::addChannelUnitWithConfiguration(
    const ZVTChannelUnitConfiguration& configuration,
    const std::shared_ptr<ZVTIngestionProtocol>& ingestion) {
    std::shared_ptr<ZVTIngestionProtocol> used = ingestion;
    if (!used) used = ingestion_;
    auto unit =
        ZVTChannelUnitDefault::make(std::move(used), storage_, configuration, queue_, settings_);
    // At once, not queued: a service enqueueing its first log right after getting the unit
    // (a start-up event, a log for a target) must already pass through the group's delegates.
    unit->addDelegateImmediately(shared_from_this());
    // A unit added while the group is paused starts paused, ahead of its first flush decision,
    // and stays so until the group is resumed with each object it was paused with.
    std::set<const void*> paused;
    {
        std::lock_guard lock(channelsMutex_);
        paused = pausedObjects_;
    }
    for (const void* object : paused) unit->pauseWithIdentifyingObject(object);
    queue_->async([weak = std::weak_ptr<ZVTChannelUnitDefault>(unit)] {
        if (auto u = weak.lock()) u->checkPendingLogs();
    });
    {
        std::lock_guard lock(channelsMutex_);
        channels_.push_back(unit);
    }
    delegates_.enumerate(
        [&](ZVTChannelDelegate& d) { d.channelGroupDidAddChannelUnit(*this, *unit); });
    return unit;
}

std::shared_ptr<ZVTChannelUnitProtocol> ZVTChannelGroupDefault::channelUnitForGroupId(
    const std::string& groupId) {
    for (const auto& unit : channels()) {
        if (unit->configuration().groupId == groupId) return unit;
    }
    return nullptr;
}

void ZVTChannelGroupDefault::addDelegate(const std::shared_ptr<ZVTChannelDelegate>& delegate) {
    delegates_.add(delegate);
}

void ZVTChannelGroupDefault::removeDelegate(const std::shared_ptr<ZVTChannelDelegate>& delegate) {
    delegates_.remove(delegate);
}

void ZVTChannelGroupDefault::setEnabled(bool isEnabled, bool deleteDataOnDisabled) {
    if (ingestion_) ingestion_->setEnabled(isEnabled, deleteDataOnDisabled);
    for (const auto& unit : channels()) unit->setEnabled(isEnabled, deleteDataOnDisabled);
    delegates_.enumerate([&](ZVTChannelDelegate& d) {
        d.channelDidSetEnabled(*this, isEnabled, deleteDataOnDisabled);
    });
}

void ZVTChannelGroupDefault::pauseWithIdentifyingObject(const void* identifyingObject) {
    if (ingestion_) ingestion_->setEnabled(false, false);
    {
        std::lock_guard lock(channelsMutex_);
        pausedObjects_.insert(identifyingObject);
    }
    for (const auto& unit : channels()) unit->pauseWithIdentifyingObject(identifyingObject);
}

void ZVTChannelGroupDefault::resumeWithIdentifyingObject(const void* identifyingObject) {
    if (ingestion_) ingestion_->setEnabled(true, false);
    {
        std::lock_guard lock(channelsMutex_);
        pausedObjects_.erase(identifyingObject);
    }
    for (const auto& unit : channels()) unit->resumeWithIdentifyingObject(identifyingObject);
}

std::string ZVTChannelGroupDefault::logUrl() const {
    return ingestion_ ? ingestion_->baseURL() : std::string();
}

void ZVTChannelGroupDefault::setLogUrl(const std::string& logUrl) {
    if (ingestion_) ingestion_->setBaseURL(logUrl);
}

std::optional<std::string> ZVTChannelGroupDefault::appSecret() const {
    return ingestion_ ? ingestion_->appSecret() : std::nullopt;
}

void ZVTChannelGroupDefault::setAppSecret(const std::optional<std::string>& appSecret) {
    if (ingestion_) ingestion_->setAppSecret(appSecret);
}

void ZVTChannelGroupDefault::setMaxStorageSize(int64_t sizeInBytes,
                                               std::function<void(bool)> completion) {
    queue_->async([storage = storage_, sizeInBytes, completion = std::move(completion)] {
        storage->setMaxStorageSize(sizeInBytes, completion);
    });
}

// ---- relays

void ZVTChannelGroupDefault::channelPrepareLog(ZVTChannelProtocol& channel, ZVTLog& log) {
    delegates_.enumerate([&](ZVTChannelDelegate& d) { d.channelPrepareLog(channel, log); });
}

void ZVTChannelGroupDefault::channelDidPrepareLog(ZVTChannelProtocol& channel,
                                                  const std::shared_ptr<ZVTLog>& log,
                                                  const std::string& internalId, uint64_t flags) {
    delegates_.enumerate(
        [&](ZVTChannelDelegate& d) { d.channelDidPrepareLog(channel, log, internalId, flags); });
}

bool ZVTChannelGroupDefault::channelUnitShouldFilterLog(ZVTChannelUnitProtocol& unit, ZVTLog& log) {
    for (const auto& delegate : delegates_.snapshot()) {
        if (delegate->channelUnitShouldFilterLog(unit, log)) return true;
    }
    return false;
}

void ZVTChannelGroupDefault::channelDidCompleteEnqueueingLog(ZVTChannelProtocol& channel,
                                                             const std::shared_ptr<ZVTLog>& log,
                                                             const std::string& internalId) {
    delegates_.enumerate([&](ZVTChannelDelegate& d) {
        d.channelDidCompleteEnqueueingLog(channel, log, internalId);
    });
}

void ZVTChannelGroupDefault::channelWillSendLog(ZVTChannelProtocol& channel, ZVTLog& log) {
    delegates_.enumerate([&](ZVTChannelDelegate& d) { d.channelWillSendLog(channel, log); });
}

void ZVTChannelGroupDefault::channelDidSucceedSendingLog(ZVTChannelProtocol& channel, ZVTLog& log) {
    delegates_.enumerate(
        [&](ZVTChannelDelegate& d) { d.channelDidSucceedSendingLog(channel, log); });
}

void ZVTChannelGroupDefault::channelDidFailSendingLog(ZVTChannelProtocol& channel, ZVTLog& log,
                                                      const ZVTError& error) {
    delegates_.enumerate(
        [&](ZVTChannelDelegate& d) { d.channelDidFailSendingLog(channel, log, error); });
}

void ZVTChannelGroupDefault::channelDidSetEnabled(ZVTChannelProtocol& channel, bool isEnabled,
                                                  bool deleteDataOnDisabled) {
    delegates_.enumerate([&](ZVTChannelDelegate& d) {
        d.channelDidSetEnabled(channel, isEnabled, deleteDataOnDisabled);
    });
}

void ZVTChannelGroupDefault::channelDidPauseWithIdentifyingObject(ZVTChannelProtocol& channel,
                                                                  const void* identifyingObject) {
    delegates_.enumerate([&](ZVTChannelDelegate& d) {
        d.channelDidPauseWithIdentifyingObject(channel, identifyingObject);
    });
}

void ZVTChannelGroupDefault::channelDidResumeWithIdentifyingObject(ZVTChannelProtocol& channel,
                                                                   const void* identifyingObject) {
    delegates_.enumerate([&](ZVTChannelDelegate& d) {
        d.channelDidResumeWithIdentifyingObject(channel, identifyingObject);
    });
}
