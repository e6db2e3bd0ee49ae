#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelUnitConfiguration.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTError.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class ZVTChannelDelegate;
class ZVTChannelGroupProtocol;
class ZVTChannelUnitProtocol;
class ZVTIngestionProtocol;

// Log flags given to enqueueItem: normal and critical; the low byte is the storage priority.
inline constexpr uint64_t ZVTFlagsNormal = 1;
inline constexpr uint64_t ZVTFlagsCritical = 2;

// Something that can be switched on and off, optionally deleting what it holds.
class ZVTEnable {
  public:
    virtual ~ZVTEnable() = default;
    virtual void setEnabled(bool isEnabled, bool deleteDataOnDisabled) = 0;
};

// A channel (a unit or the group). Delegates are held weakly. Pausing is per identifying
// object, compared by identity.
class ZVTChannelProtocol : public ZVTEnable {
  public:
    virtual void addDelegate(const std::shared_ptr<ZVTChannelDelegate>& delegate) = 0;
    virtual void removeDelegate(const std::shared_ptr<ZVTChannelDelegate>& delegate) = 0;
    virtual void pauseWithIdentifyingObject(const void* identifyingObject) = 0;
    virtual void resumeWithIdentifyingObject(const void* identifyingObject) = 0;
};

// What became of an enqueued log: the store holds it; the unit's rules dropped it (invalid,
// filtered out, ingestion not ready, discarding); or the store could not write it.
enum class ZVTEnqueueOutcome { Stored, Dropped, NotSaved };

class ZVTChannelUnitProtocol : public ZVTChannelProtocol {
  public:
    using OutcomeHandler = std::function<void(ZVTEnqueueOutcome)>;

    // Stamps, validates and queues the log; returns at once. Any thread.
    virtual void enqueueItem(const std::shared_ptr<ZVTLog>& log, uint64_t flags) = 0;
    // As enqueueItem, then tells `outcome` once the unit is done with the log: on the logs queue
    // (on the caller's thread for an invalid log); never if the unit is gone first. The default,
    // for units without a store of their own, enqueues and answers Stored at once.
    virtual void enqueueItemWithOutcome(const std::shared_ptr<ZVTLog>& log, uint64_t flags,
                                        OutcomeHandler outcome) {
        enqueueItem(log, flags);
        if (outcome) outcome(ZVTEnqueueOutcome::Stored);
    }
    virtual void pauseSendingLogsWithToken(const std::string& token) = 0;
    virtual void resumeSendingLogsWithToken(const std::string& token) = 0;
    virtual ZVTChannelUnitConfiguration configuration() const = 0;
    virtual void setConfiguration(const ZVTChannelUnitConfiguration& configuration) = 0;
};

class ZVTChannelGroupProtocol : public ZVTChannelProtocol {
  public:
    virtual std::shared_ptr<ZVTChannelUnitProtocol> addChannelUnitWithConfiguration(
        const ZVTChannelUnitConfiguration& configuration) = 0;
    // With no ingestion, the group's own.
    virtual std::shared_ptr<ZVTChannelUnitProtocol> addChannelUnitWithConfiguration(
        const ZVTChannelUnitConfiguration& configuration,
        const std::shared_ptr<ZVTIngestionProtocol>& ingestion) = 0;
    virtual void setMaxStorageSize(int64_t sizeInBytes, std::function<void(bool)> completion) = 0;
    virtual std::shared_ptr<ZVTChannelUnitProtocol> channelUnitForGroupId(
        const std::string& groupId) = 0;
    virtual std::string logUrl() const = 0;
    virtual void setLogUrl(const std::string& logUrl) = 0;
    virtual std::optional<std::string> appSecret() const = 0;
    virtual void setAppSecret(const std::optional<std::string>& appSecret) = 0;
};

// Callbacks of channels; each does nothing unless a delegate overrides it. The thread of each
// is stated; they are always called outside the channel's locks.
class ZVTChannelDelegate {
  public:
    virtual ~ZVTChannelDelegate() = default;

    // By the group after it made and listed a unit.
    virtual void channelGroupDidAddChannelUnit(ZVTChannelGroupProtocol& /*group*/,
                                               ZVTChannelUnitProtocol& /*unit*/) {}
    // First step of an accepted enqueue, on the caller's thread; the log may still change.
    virtual void channelPrepareLog(ZVTChannelProtocol& /*channel*/, ZVTLog& /*log*/) {}
    // Right after channelPrepareLog, on the caller's thread.
    virtual void channelDidPrepareLog(ZVTChannelProtocol& /*channel*/,
                                      const std::shared_ptr<ZVTLog>& /*log*/,
                                      const std::string& /*internalId*/, uint64_t /*flags*/) {}
    // On the logs queue, before the log is stored; true from any delegate drops it.
    virtual bool channelUnitShouldFilterLog(ZVTChannelUnitProtocol& /*unit*/, ZVTLog& /*log*/) {
        return false;
    }
    // On the logs queue, once per accepted enqueue, whatever its fate.
    virtual void channelDidCompleteEnqueueingLog(ZVTChannelProtocol& /*channel*/,
                                                 const std::shared_ptr<ZVTLog>& /*log*/,
                                                 const std::string& /*internalId*/) {}
    // Before a log of a batch goes to the ingestion, and for each log dropped unsent.
    virtual void channelWillSendLog(ZVTChannelProtocol& /*channel*/, ZVTLog& /*log*/) {}
    // For each log of a batch answered with success.
    virtual void channelDidSucceedSendingLog(ZVTChannelProtocol& /*channel*/, ZVTLog& /*log*/) {}
    // For each log of a failed batch, and for each log dropped unsent.
    virtual void channelDidFailSendingLog(ZVTChannelProtocol& /*channel*/, ZVTLog& /*log*/,
                                          const ZVTError& /*error*/) {}
    // After a unit or the group applied a new enabled state.
    virtual void channelDidSetEnabled(ZVTChannelProtocol& /*channel*/, bool /*isEnabled*/,
                                      bool /*deleteDataOnDisabled*/) {}
    virtual void channelDidPauseWithIdentifyingObject(ZVTChannelProtocol& /*channel*/,
                                                      const void* /*identifyingObject*/) {}
    virtual void channelDidResumeWithIdentifyingObject(ZVTChannelProtocol& /*channel*/,
                                                       const void* /*identifyingObject*/) {}
};
