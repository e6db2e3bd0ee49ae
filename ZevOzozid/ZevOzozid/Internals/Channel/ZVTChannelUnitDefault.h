#pragma once

#include "platform/Dispatch.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelDelegateTable.h"
#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelProtocols.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTLogContainer.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTIngestionProtocol.h"
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The pipeline of one group id. A service hands it logs (enqueueItem, any thread); the unit
// stamps and validates each on the caller's thread, then on the group's serial logs queue lets
// the delegates filter it, stores it under its group id and decides when to flush: at once when
// a default-interval (6 s) unit has a full batch waiting, else after the flush interval. Longer
// intervals are measured from the first pending log and persist across restarts (setting
// "ChannelStartTimer:<group id>"). A flush sends batch after batch until the store runs dry or
// `pendingBatchesLimit` batches await their answer; a 2xx answer deletes the batch, every
// failure keeps its logs stored. A recoverable one (0, 408, 429, 5xx) or a redirect leaves the
// unit running; any other status (a 4xx) disables the unit without deletion for the rest of
// the run (it keeps storing, sends nothing), so the next run sends every log.
//
// Full disk: a log the store holds in memory because the disk has no room counts (for the
// flush decision, the delegates' completed enqueue and the caller's outcome) once it is stored;
// until then the unit tries the store's held logs every kHeldLogRetryInterval.
//
// Control: a unit disabled without deletion keeps storing but never flushes; disabled with
// deletion it drops its logs with failure notices (code 100) and discards new ones. Pausing is a
// lane of identifying objects compared by address (the unit stays paused while any is in it);
// callers resume with the same object. Target keys can be kept out of batches.
//
// Threads: public operations may be called from any thread and queue their work on the logs
// queue, where it runs in call order; the operations marked "logs queue only" must run there
// (the "Sync" ones and checkPendingLogs, called elsewhere, log an assert line and queue
// themselves instead). The unit's state needs no lock (only the logs queue touches it) except
// the delegate table and the configuration. Delegate callbacks run outside every lock: the prepare
// callbacks on the caller's thread, the rest on the logs queue.
class ZVTChannelUnitDefault final : public ZVTChannelUnitProtocol,
                                    public std::enable_shared_from_this<ZVTChannelUnitDefault> {
    struct Passkey {
        explicit Passkey() = default;
    };

  public:
    // The default interval: a unit with it flushes early on a full batch and persists nothing.
    static constexpr uint64_t kDefaultFlushInterval = 6;
    // How often the store's logs held while the disk was full are tried again.
    static constexpr std::chrono::seconds kHeldLogRetryInterval{10};

    // Makes a unit over the group's store and queue. Its trigger count starts at the store's
    // number of logs, read on the logs queue before any later work there.
    static std::shared_ptr<ZVTChannelUnitDefault> make(
        std::shared_ptr<ZVTIngestionProtocol> ingestion, std::shared_ptr<ZVTStorage> storage,
        const ZVTChannelUnitConfiguration& configuration,
        std::shared_ptr<platform::SerialQueue> logsDispatchQueue,
        ZVTZevOzozidUserDefaults& settings = ZVTZevOzozidUserDefaults::shared());
    ZVTChannelUnitDefault(Passkey, std::shared_ptr<ZVTIngestionProtocol> ingestion,
                          std::shared_ptr<ZVTStorage> storage,
                          const ZVTChannelUnitConfiguration& configuration,
                          std::shared_ptr<platform::SerialQueue> logsDispatchQueue,
                          ZVTZevOzozidUserDefaults& settings);
    ~ZVTChannelUnitDefault() override;

    // --- Any thread; the work is queued on the logs queue.
    void addDelegate(const std::shared_ptr<ZVTChannelDelegate>& delegate) override;
    void removeDelegate(const std::shared_ptr<ZVTChannelDelegate>& delegate) override;
    // Adds the delegate at once, on the caller's thread (the table has its own lock), so a log
    // enqueued right after this returns already reaches it. The group uses it for a unit it has
    // just made, before anyone else holds the unit.
    void addDelegateImmediately(const std::shared_ptr<ZVTChannelDelegate>& delegate);
    void enqueueItem(const std::shared_ptr<ZVTLog>& log, uint64_t flags) override;
    void enqueueItemWithOutcome(const std::shared_ptr<ZVTLog>& log, uint64_t flags,
                                OutcomeHandler outcome) override;
    void setEnabled(bool isEnabled, bool deleteDataOnDisabled) override;
    void pauseWithIdentifyingObject(const void* identifyingObject) override;
    void resumeWithIdentifyingObject(const void* identifyingObject) override;
    // The target key is the token's part before the first "-"; a token without one (empty
    // part) changes nothing.
    void pauseSendingLogsWithToken(const std::string& token) override;
    void resumeSendingLogsWithToken(const std::string& token) override;
    void deleteAllLogsWithError(const ZVTError& error);
    // Any thread (locked).
    ZVTChannelUnitConfiguration configuration() const override;
    void setConfiguration(const ZVTChannelUnitConfiguration& configuration) override;

    // --- Logs queue only.
    void checkPendingLogs();
    void flushQueue();
    void sendLogContainer(const std::shared_ptr<ZVTLogContainer>& container);
    void startTimer(uint64_t seconds);
    void resetTimer();
    uint64_t resolveFlushInterval();
    void pauseWithIdentifyingObjectSync(const void* identifyingObject);
    void resumeWithIdentifyingObjectSync(const void* identifyingObject);
    void deleteAllLogsWithErrorSync(const ZVTError& error);

    // --- Any thread.
    // "ChannelStartTimer:<group id>".
    std::string oldestPendingLogTimestampKey() const;
    // Each delegate hears channelWillSendLog, then channelDidFailSendingLog with `error`.
    void notifyFailureBeforeSendingForItem(const std::shared_ptr<ZVTLog>& log,
                                           const ZVTError& error);
    const std::shared_ptr<platform::SerialQueue>& logsDispatchQueue() const { return queue_; }
    const std::shared_ptr<ZVTIngestionProtocol>& ingestion() const { return ingestion_; }
    const std::shared_ptr<ZVTStorage>& storage() const { return storage_; }

    // --- State, logs queue only.
    bool enabled() const { return enabled_; }
    bool paused() const { return paused_; }
    bool discardLogs() const { return discardLogs_; }
    bool availableBatchFromStorage() const { return availableBatchFromStorage_; }
    bool pendingBatchQueueFull() const { return pendingBatchQueueFull_; }
    uint64_t itemsCount() const { return itemsCount_; }
    const std::vector<std::string>& pendingBatchIds() const { return pendingBatchIds_; }
    const std::set<const void*>& pausedIdentifyingObjects() const { return pausedObjects_; }
    const std::set<std::string>& pausedTargetKeys() const { return pausedTargetKeys_; }

  private:
    uint64_t countOnQueue();
    // False (after an assert line) when called off the logs queue.
    bool checkOnQueue(const char* operation) const;
    std::string groupId() const { return configuration().groupId; }
    // The outcome, or none when the store holds the log until the disk has room (`outcome`
    // hears it then).
    std::optional<ZVTEnqueueOutcome> enqueueOnQueue(const std::shared_ptr<ZVTLog>& log,
                                                    const std::string& internalId, uint64_t flags,
                                                    const OutcomeHandler& outcome);
    // Tries the store's held logs every kHeldLogRetryInterval until none is held.
    void retryHeldLogs();
    bool shouldFilter(ZVTLog& log);
    void tellDidCompleteEnqueueing(const std::shared_ptr<ZVTLog>& log,
                                   const std::string& internalId);
    void answerBatch(const std::shared_ptr<ZVTLogContainer>& container,
                     const std::optional<platform::URLResponse>& response,
                     const std::optional<ZVTError>& error);
    void setEnabledSync(bool isEnabled, bool deleteDataOnDisabled);
    void pauseTargetKeySync(const std::string& targetKey);
    void resumeTargetKeySync(const std::string& targetKey);
    // Runs `work` with the unit on the logs queue, unless the unit is gone by then.
    template <typename Work>
    void onQueue(Work&& work) {
        queue_->async([weak = weak_from_this(), work = std::forward<Work>(work)]() mutable {
            if (auto self = weak.lock()) work(*self);
        });
    }

    // Logs-queue state.
    bool availableBatchFromStorage_ = false;
    bool pendingBatchQueueFull_ = false;
    bool enabled_ = true;
    bool paused_ = false;
    bool discardLogs_ = false;
    uint64_t itemsCount_ = 0;
    std::vector<std::string> pendingBatchIds_;
    std::set<const void*> pausedObjects_;
    std::set<std::string> pausedTargetKeys_;
    platform::Timer timerSource_;
    platform::Timer heldLogTimer_;

    mutable std::mutex configurationMutex_;
    ZVTChannelUnitConfiguration configuration_;
    std::shared_ptr<platform::SerialQueue> queue_;
    ZVTChannelDelegateTable delegates_;
    std::shared_ptr<ZVTIngestionProtocol> ingestion_;
    std::shared_ptr<ZVTStorage> storage_;
    ZVTZevOzozidUserDefaults& settings_;
};

// The error of logs dropped unsent: code 100, "Canceled, connection paused with log deletion.".
ZVTError ZVTConnectionPausedWithDeletionError();
