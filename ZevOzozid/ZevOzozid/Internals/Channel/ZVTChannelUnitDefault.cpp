#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelUnitDefault.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceTracker.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpUtil.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <algorithm>
#include <chrono>

ZVTError ZVTConnectionPausedWithDeletionError() {
    return ZVTError{kZVTErrorDomain, ZVTConnectionPausedErrorCode,
                    "Canceled, connection paused with log deletion."};
}

std::shared_ptr<ZVTChannelUnitDefault> ZVTChannelUnitDefault::make(
    std::shared_ptr<ZVTIngestionProtocol> ingestion, std::shared_ptr<ZVTStorage> storage,
    const ZVTChannelUnitConfiguration& configuration,
    std::shared_ptr<platform::SerialQueue> logsDispatchQueue, ZVTZevOzozidUserDefaults& settings) {
    auto unit = std::make_shared<ZVTChannelUnitDefault>(Passkey(), std::move(ingestion),
                                                        std::move(storage), configuration,
                                                        std::move(logsDispatchQueue), settings);
    // The store belongs to the logs queue, so it is counted there, ahead of any later work.
    if (unit->queue_->isCurrent()) {
        unit->itemsCount_ = unit->countOnQueue();
    } else {
        unit->onQueue([](ZVTChannelUnitDefault& self) { self.itemsCount_ = self.countOnQueue(); });
    }
    return unit;
}

ZVTChannelUnitDefault::ZVTChannelUnitDefault(
    Passkey, std::shared_ptr<ZVTIngestionProtocol> ingestion, std::shared_ptr<ZVTStorage> storage,
    const ZVTChannelUnitConfiguration& configuration,
    std::shared_ptr<platform::SerialQueue> logsDispatchQueue, ZVTZevOzozidUserDefaults& settings)
    : configuration_(configuration),
      queue_(std::move(logsDispatchQueue)),
      ingestion_(std::move(ingestion)),
      storage_(std::move(storage)),
      settings_(settings) {}

ZVTChannelUnitDefault::~ZVTChannelUnitDefault() {
    timerSource_.cancel();
    heldLogTimer_.cancel();
}

uint64_t ZVTChannelUnitDefault::countOnQueue() {
    return storage_ ? storage_->countLogs() : 0;
}

bool ZVTChannelUnitDefault::checkOnQueue(const char* operation) const {
    if (queue_->isCurrent()) return true;
    ZVTLogAssert(kZVTLogTag, operation, " must run on the logs queue; queued there instead.");
    return false;
}

ZVTChannelUnitConfiguration ZVTChannelUnitDefault::configuration() const {
    std::lock_guard lock(configurationMutex_);
    return configuration_;
}

void ZVTChannelUnitDefault::setConfiguration(const ZVTChannelUnitConfiguration& configuration) {
    std::lock_guard lock(configurationMutex_);
    configuration_ = configuration;
}

std::string ZVTChannelUnitDefault::oldestPendingLogTimestampKey() const {
    return "ChannelStartTimer:" + groupId();
}

void ZVTChannelUnitDefault::addDelegate(const std::shared_ptr<ZVTChannelDelegate>& delegate) {
    onQueue([delegate](ZVTChannelUnitDefault& self) { self.delegates_.add(delegate); });
}

void ZVTChannelUnitDefault::addDelegateImmediately(
    const std::shared_ptr<ZVTChannelDelegate>& delegate) {
    delegates_.add(delegate);
}

void ZVTChannelUnitDefault::removeDelegate(const std::shared_ptr<ZVTChannelDelegate>& delegate) {
    onQueue([delegate](ZVTChannelUnitDefault& self) { self.delegates_.remove(delegate); });
}

void ZVTChannelUnitDefault::notifyFailureBeforeSendingForItem(const std::shared_ptr<ZVTLog>& log,
                                                              const ZVTError& error) {
    delegates_.enumerate([&](ZVTChannelDelegate& d) {
        d.channelWillSendLog(*this, *log);
        d.channelDidFailSendingLog(*this, *log, error);
    });
}

// ---- enqueue

void ZVTChannelUnitDefault::enqueueItem(const std::shared_ptr<ZVTLog>& log, uint64_t flags) {
    enqueueItemWithOutcome(log, flags, {});
}

void ZVTChannelUnitDefault::enqueueItemWithOutcome(const std::shared_ptr<ZVTLog>& log,
                                                   uint64_t flags, OutcomeHandler outcome) {
    if (log) {
        if (!log->timestamp()) log->setTimestamp(ZVTUtility::currentDate());
        if (!log->device()) log->setDevice(ZVTDeviceTracker::sharedInstance().device());
    }
    if (!log || !log->isValid()) {
        ZVTLogWarning(kZVTLogTag, "Log is not valid.");
        if (outcome) outcome(ZVTEnqueueOutcome::Dropped);
        return;
    }
    const std::string internalId = ZVTUUID::random().UUIDString();
    delegates_.enumerate([&](ZVTChannelDelegate& d) {
        d.channelPrepareLog(*this, *log);
        d.channelDidPrepareLog(*this, log, internalId, flags);
    });
    onQueue([log, internalId, flags, outcome = std::move(outcome)](ZVTChannelUnitDefault& self) {
        const auto result = self.enqueueOnQueue(log, internalId, flags, outcome);
        if (result && outcome) outcome(*result);
    });
}

bool ZVTChannelUnitDefault::shouldFilter(ZVTLog& log) {
    for (const auto& delegate : delegates_.snapshot()) {
        if (delegate->channelUnitShouldFilterLog(*this, log)) return true;
    }
    return false;
}

void ZVTChannelUnitDefault::tellDidCompleteEnqueueing(const std::shared_ptr<ZVTLog>& log,
                                                      const std::string& internalId) {
    delegates_.enumerate(
        [&](ZVTChannelDelegate& d) { d.channelDidCompleteEnqueueingLog(*this, log, internalId); });
}

std::optional<ZVTEnqueueOutcome> ZVTChannelUnitDefault::enqueueOnQueue(
    const std::shared_ptr<ZVTLog>& log, const std::string& internalId, uint64_t flags,
    const OutcomeHandler& outcome) {
    const std::string type = log->type().value_or("");
    if (shouldFilter(*log)) {
        ZVTLogDebug(kZVTLogTag, "Log of type '", type, "' was filtered out by delegate(s)");
        tellDidCompleteEnqueueing(log, internalId);
        return ZVTEnqueueOutcome::Dropped;
    }
    if (!ingestion_ || !ingestion_->isReadyToSend()) {
        ZVTLogDebug(kZVTLogTag, "Log of type '", type,
                    "' was not filtered out by delegate(s) but ingestion is not ready to send it.");
        tellDidCompleteEnqueueing(log, internalId);
        return ZVTEnqueueOutcome::Dropped;
    }
    if (discardLogs_) {
        ZVTLogWarning(kZVTLogTag, "Channel ", groupId(),
                      " disabled in log discarding mode, discard this log.");
        notifyFailureBeforeSendingForItem(log, ZVTConnectionPausedWithDeletionError());
        tellDidCompleteEnqueueing(log, internalId);
        return ZVTEnqueueOutcome::Dropped;
    }
    ZVTLogDebug(kZVTLogTag, "Saving log, type: ", type, ", flags: ", flags, ".");
    if (!storage_) {
        tellDidCompleteEnqueueing(log, internalId);
        return ZVTEnqueueOutcome::NotSaved;
    }
    // A log the full disk has no room for yet is done with (for the delegates and the caller)
    // once the store takes it or gives it up.
    auto later = [weak = weak_from_this(), log, internalId, outcome](bool stored) {
        auto self = weak.lock();
        if (!self) return;
        self->tellDidCompleteEnqueueing(log, internalId);
        if (stored) {
            ++self->itemsCount_;
            self->checkPendingLogs();
        }
        if (outcome) outcome(stored ? ZVTEnqueueOutcome::Stored : ZVTEnqueueOutcome::NotSaved);
    };
    const ZVTSaveResult saved = storage_->saveLogOrHold(log, groupId(), flags, later);
    if (saved == ZVTSaveResult::Held) {
        retryHeldLogs();
        return std::nullopt;
    }
    tellDidCompleteEnqueueing(log, internalId);
    if (saved == ZVTSaveResult::NotSaved) return ZVTEnqueueOutcome::NotSaved;
    ++itemsCount_;
    checkPendingLogs();
    return ZVTEnqueueOutcome::Stored;
}

void ZVTChannelUnitDefault::retryHeldLogs() {
    if (heldLogTimer_.isActive()) return;
    heldLogTimer_.start(kHeldLogRetryInterval, true, *queue_, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->storage_->storeHeldLogs() == 0) self->heldLogTimer_.cancel();
    });
}

// ---- flush decision and timer

void ZVTChannelUnitDefault::checkPendingLogs() {
    if (!checkOnQueue("checkPendingLogs")) {
        onQueue([](ZVTChannelUnitDefault& self) { self.checkPendingLogs(); });
        return;
    }
    const auto config = configuration();
    if (!paused_ && config.flushInterval == kDefaultFlushInterval &&
        itemsCount_ >= config.batchSizeLimit) {
        flushQueue();
        return;
    }
    if (itemsCount_ == 0) return;
    const uint64_t interval = resolveFlushInterval();
    if (paused_) return;
    if (interval > 0) {
        startTimer(interval);
    } else {
        flushQueue();
    }
}

uint64_t ZVTChannelUnitDefault::resolveFlushInterval() {
    using namespace std::chrono;
    const uint64_t interval = configuration().flushInterval;
    if (interval <= kDefaultFlushInterval) return interval;
    const std::string key = kZVTUserDefaultsPrefix + oldestPendingLogTimestampKey();
    const ZVTDate now = ZVTUtility::currentDate();
    // Dates are stored as floating seconds: back to whole milliseconds, as they were written.
    auto start = settings_.store().dateForKey(key);
    if (start) start = round<milliseconds>(*start);
    if (start && now >= *start) {
        if (now > *start + seconds(interval)) {
            settings_.store().removeObjectForKey(key);
            return 0;
        }
        const auto elapsed = static_cast<uint64_t>(duration_cast<seconds>(now - *start).count());
        return interval - std::min(elapsed, interval);
    }
    settings_.store().setDate(key, now);
    return interval;
}

void ZVTChannelUnitDefault::startTimer(uint64_t seconds) {
    if (!enabled_) return;
    resetTimer();
    // Fires once: the handler cancels its timer after the flush.
    timerSource_.start(std::chrono::seconds(seconds), false, *queue_, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self) return;
        if (self->itemsCount_ != 0) self->flushQueue();
        self->resetTimer();
        self->settings_.removeObjectForKey(self->oldestPendingLogTimestampKey());
    });
}

void ZVTChannelUnitDefault::resetTimer() {
    timerSource_.cancel();
}

// ---- flush, send, answer

void ZVTChannelUnitDefault::flushQueue() {
    const auto config = configuration();
    if (!ingestion_ || !ingestion_->isEnabled()) {
        ZVTLogDebug(kZVTLogTag, "ZevOzozid SDK is offline, groupId:", config.groupId, ".");
        return;
    }
    if (!enabled_ || !ingestion_->isReadyToSend()) return;
    resetTimer();
    if (paused_ || pendingBatchQueueFull_) {
        if (itemsCount_ >= config.batchSizeLimit) {
            availableBatchFromStorage_ = true;
            itemsCount_ = 0;
        }
        return;
    }
    itemsCount_ = 0;
    std::optional<std::vector<std::string>> excluded;
    if (!pausedTargetKeys_.empty()) {
        excluded.emplace(pausedTargetKeys_.begin(), pausedTargetKeys_.end());
    }
    availableBatchFromStorage_ = storage_->loadLogsWithGroupId(
        config.groupId, config.batchSizeLimit, excluded,
        [&](const std::vector<std::shared_ptr<ZVTLog>>& logs,
            const std::optional<std::string>& batchId) {
            if (logs.empty()) return;
            sendLogContainer(std::make_shared<ZVTLogContainer>(batchId.value_or(""), logs));
        });
    if (availableBatchFromStorage_ && !pendingBatchQueueFull_) flushQueue();
}

void ZVTChannelUnitDefault::sendLogContainer(const std::shared_ptr<ZVTLogContainer>& container) {
    const auto config = configuration();
    pendingBatchIds_.push_back(container->batchId());
    if (pendingBatchIds_.size() >= config.pendingBatchesLimit) pendingBatchQueueFull_ = true;
    const auto& logs = container->logs();
    if (ZVTLogger::currentLogLevel() <= ZVTLogLevelDebug) {
        for (size_t i = 0; i < logs.size(); ++i) {
            ZVTLogDebug(kZVTLogTag, "Sending ", i + 1, "/", logs.size(),
                        " log, group Id: ", config.groupId, ", batch Id: ", container->batchId(),
                        ", session Id: ", logs[i]->sid().value_or(""), ", payload:\n",
                        logs[i]->serializeLogWithPrettyPrinting(true).value_or(""));
        }
    }
    delegates_.enumerate([&](ZVTChannelDelegate& d) {
        for (const auto& log : logs) d.channelWillSendLog(*this, *log);
    });
    ingestion_->sendAsync(
        container, [weak = weak_from_this(), queue = queue_, container](
                       const std::string&, const std::optional<platform::URLResponse>& response,
                       const std::string&, const std::optional<ZVTError>& error) {
            queue->async([weak, container, response, error] {
                if (auto self = weak.lock()) self->answerBatch(container, response, error);
            });
        });
}

void ZVTChannelUnitDefault::answerBatch(const std::shared_ptr<ZVTLogContainer>& container,
                                        const std::optional<platform::URLResponse>& response,
                                        const std::optional<ZVTError>& error) {
    const std::string& batchId = container->batchId();
    if (std::find(pendingBatchIds_.begin(), pendingBatchIds_.end(), batchId) ==
        pendingBatchIds_.end()) {
        ZVTLogWarning(kZVTLogTag, "Batch Id ", batchId, " not expected, ignore.");
        return;
    }
    const long status = response ? response->status : 0;
    const bool succeeded = ZVTHttpUtil::isSuccessStatusCode(status);
    const std::string group = groupId();
    if (succeeded) {
        ZVTLogDebug(kZVTLogTag, "Log(s) sent with success, batch Id:", batchId, ".");
        delegates_.enumerate([&](ZVTChannelDelegate& d) {
            for (const auto& log : container->logs()) d.channelDidSucceedSendingLog(*this, *log);
        });
        storage_->deleteLogsWithBatchId(batchId, group);
    } else {
        ZVTLogError(kZVTLogTag, "Log(s) sent with failure, batch Id:", batchId,
                    ", status code:", status);
        const ZVTError failure = error.value_or(ZVTError{kZVTErrorDomain, 0, ""});
        delegates_.enumerate([&](ZVTChannelDelegate& d) {
            for (const auto& log : container->logs()) {
                d.channelDidFailSendingLog(*this, *log, failure);
            }
        });
        // Every failure keeps the batch stored. A refusal that a retry in this run cannot change
        // (400, 403, 404, 413...: a proxy, a captive portal, a size limit) stops the unit
        // sending until the next run, which sends everything again.
        if (!ZVTHttpUtil::isRecoverableError(status) &&
            !ZVTHttpUtil::isRedirectStatusCode(status)) {
            ZVTLogError(kZVTLogTag, "Status code ", status, " refused a batch of group ", group,
                        "; its logs stay stored for the next run, which sends them, and the "
                        "group sends nothing more in this one.");
            setEnabledSync(false, false);
        }
    }
    pendingBatchIds_.erase(std::find(pendingBatchIds_.begin(), pendingBatchIds_.end(), batchId));
    if (pendingBatchQueueFull_ && pendingBatchIds_.size() < configuration().pendingBatchesLimit) {
        pendingBatchQueueFull_ = false;
        if (succeeded && availableBatchFromStorage_) {
            flushQueue();
        } else if (succeeded && itemsCount_ != 0) {
            // Logs stored while the batch was out found the queue full, and a flush timer that
            // fired meanwhile was spent on it: they get their flush decision now.
            checkPendingLogs();
        }
    }
}
