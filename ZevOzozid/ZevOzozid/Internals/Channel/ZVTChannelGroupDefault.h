#pragma once

#include "platform/Dispatch.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelDelegateTable.h"
#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelProtocols.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClientProtocol.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTZevOzozidIngestion.h"
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The front of the SDK's log pipeline: owns what every channel unit shares (the log store, the
// log endpoint's ingestion, the serial logs queue "dev.gridlark.zevozozid.ChannelGroupQueue")
// and the units, one per group id, in order of creation; a unit is never removed. The group is
// the delegate of every unit it makes and passes each unit callback on to its own delegates,
// unchanged (the channel stays the unit). Enabling, pausing and resuming the group act on its
// ingestion, then on every unit.
//
// Threads: every member is safe from any thread. The unit list and the delegate table have
// locks of their own, held only to change them or take a snapshot; no callback and no unit
// operation runs under them. Relays run on the thread the unit calls them on (the enqueueing
// thread for the prepare callbacks, the logs queue for the rest); channelGroupDidAddChannelUnit
// and the group's own channelDidSetEnabled run on the caller's thread.
class ZVTChannelGroupDefault final : public ZVTChannelGroupProtocol,
                                     public ZVTChannelDelegate,
                                     public std::enable_shared_from_this<ZVTChannelGroupDefault> {
    struct Passkey {
        explicit Passkey() = default;
    };

  public:
    static const std::string& queueLabel();

    // A group over a new log endpoint ingestion (the client, the log URL, the install id).
    static std::shared_ptr<ZVTChannelGroupDefault> make(
        std::shared_ptr<ZVTHttpClientProtocol> httpClient, const ZVTUUID& installId,
        const std::string& logUrl);
    // A group over the given ingestion (none: units made without one get none). The store
    // defaults to a new "Logs.sqlite" store, opened on the logs queue (not the caller's thread).
    static std::shared_ptr<ZVTChannelGroupDefault> makeWithIngestion(
        std::shared_ptr<ZVTZevOzozidIngestion> ingestion,
        std::shared_ptr<ZVTStorage> storage = nullptr,
        ZVTZevOzozidUserDefaults& settings = ZVTZevOzozidUserDefaults::shared());
    ZVTChannelGroupDefault(Passkey, std::shared_ptr<ZVTZevOzozidIngestion> ingestion,
                           std::shared_ptr<ZVTStorage> storage, ZVTZevOzozidUserDefaults& settings);

    // --- The group's own operations.
    std::shared_ptr<ZVTChannelUnitProtocol> addChannelUnitWithConfiguration(
        const ZVTChannelUnitConfiguration& configuration) override;
    // Makes the unit, becomes its delegate, queues its first flush decision (logs of an
    // earlier run), lists it, then tells the group's delegates.
    std::shared_ptr<ZVTChannelUnitProtocol> addChannelUnitWithConfiguration(
        const ZVTChannelUnitConfiguration& configuration,
        const std::shared_ptr<ZVTIngestionProtocol>& ingestion) override;
    // The earliest unit of that group id.
    std::shared_ptr<ZVTChannelUnitProtocol> channelUnitForGroupId(
        const std::string& groupId) override;
    void addDelegate(const std::shared_ptr<ZVTChannelDelegate>& delegate) override;
    void removeDelegate(const std::shared_ptr<ZVTChannelDelegate>& delegate) override;
    void setEnabled(bool isEnabled, bool deleteDataOnDisabled) override;
    // The ingestion is switched at once; the units on the logs queue. A unit stays paused
    // until its own pause lane is empty; a unit added later starts paused with every object
    // the group is paused with.
    void pauseWithIdentifyingObject(const void* identifyingObject) override;
    void resumeWithIdentifyingObject(const void* identifyingObject) override;
    // The ingestion's base URL ("" without an ingestion).
    std::string logUrl() const override;
    void setLogUrl(const std::string& logUrl) override;
    std::optional<std::string> appSecret() const override;
    void setAppSecret(const std::optional<std::string>& appSecret) override;
    // Applied on the logs queue; the completion runs there.
    void setMaxStorageSize(int64_t sizeInBytes, std::function<void(bool)> completion) override;

    const std::shared_ptr<ZVTZevOzozidIngestion>& ingestion() const { return ingestion_; }
    const std::shared_ptr<ZVTStorage>& storage() const { return storage_; }
    const std::shared_ptr<platform::SerialQueue>& logsDispatchQueue() const { return queue_; }
    // A snapshot of the units, in order of creation.
    std::vector<std::shared_ptr<ZVTChannelUnitProtocol>> channels() const;

    // --- Relays of unit callbacks to the group's delegates.
    void channelPrepareLog(ZVTChannelProtocol& channel, ZVTLog& log) override;
    void channelDidPrepareLog(ZVTChannelProtocol& channel, const std::shared_ptr<ZVTLog>& log,
                              const std::string& internalId, uint64_t flags) override;
    // True as soon as one delegate says so; the later ones are not asked.
    bool channelUnitShouldFilterLog(ZVTChannelUnitProtocol& unit, ZVTLog& log) override;
    void channelDidCompleteEnqueueingLog(ZVTChannelProtocol& channel,
                                         const std::shared_ptr<ZVTLog>& log,
                                         const std::string& internalId) override;
    void channelWillSendLog(ZVTChannelProtocol& channel, ZVTLog& log) override;
    void channelDidSucceedSendingLog(ZVTChannelProtocol& channel, ZVTLog& log) override;
    void channelDidFailSendingLog(ZVTChannelProtocol& channel, ZVTLog& log,
                                  const ZVTError& error) override;
    void channelDidSetEnabled(ZVTChannelProtocol& channel, bool isEnabled,
                              bool deleteDataOnDisabled) override;
    void channelDidPauseWithIdentifyingObject(ZVTChannelProtocol& channel,
                                              const void* identifyingObject) override;
    void channelDidResumeWithIdentifyingObject(ZVTChannelProtocol& channel,
                                               const void* identifyingObject) override;

  private:
    std::shared_ptr<ZVTZevOzozidIngestion> ingestion_;
    std::shared_ptr<ZVTStorage> storage_;
    ZVTZevOzozidUserDefaults& settings_;
    std::shared_ptr<platform::SerialQueue> queue_;
    ZVTChannelDelegateTable delegates_;
    mutable std::mutex channelsMutex_;
    std::vector<std::shared_ptr<ZVTChannelUnitProtocol>> channels_;
    std::set<const void*> pausedObjects_;  // under channelsMutex_
};
