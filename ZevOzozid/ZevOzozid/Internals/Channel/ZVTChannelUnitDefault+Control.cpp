// Turning a channel unit on and off, its pause lane, paused target keys and log deletion.
#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelUnitDefault.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <sstream>

namespace {

std::string describe(const void* object) {
    std::ostringstream out;
    out << object;
    return out.str();
}

}  // namespace

void ZVTChannelUnitDefault::setEnabled(bool isEnabled, bool deleteDataOnDisabled) {
    onQueue([isEnabled, deleteDataOnDisabled](ZVTChannelUnitDefault& self) {
        self.setEnabledSync(isEnabled, deleteDataOnDisabled);
    });
}

void ZVTChannelUnitDefault::setEnabledSync(bool isEnabled, bool deleteDataOnDisabled) {
    if (isEnabled != enabled_) {
        enabled_ = isEnabled;
        if (isEnabled) {
            resumeWithIdentifyingObjectSync(this);
        } else {
            pauseWithIdentifyingObjectSync(this);
        }
    }
    if (!enabled_ && deleteDataOnDisabled) {
        ZVTLogDebug(kZVTLogTag, "Delete all logs for group Id ", groupId());
        deleteAllLogsWithErrorSync(ZVTConnectionPausedWithDeletionError());
        itemsCount_ = 0;
        availableBatchFromStorage_ = false;
        pendingBatchQueueFull_ = false;
        settings_.removeObjectForKey(oldestPendingLogTimestampKey());
        discardLogs_ = true;
    } else {
        discardLogs_ = false;
    }
    delegates_.enumerate([&](ZVTChannelDelegate& d) {
        d.channelDidSetEnabled(*this, isEnabled, deleteDataOnDisabled);
    });
}

void ZVTChannelUnitDefault::pauseWithIdentifyingObject(const void* identifyingObject) {
    onQueue([identifyingObject](ZVTChannelUnitDefault& self) {
        self.pauseWithIdentifyingObjectSync(identifyingObject);
    });
}

void ZVTChannelUnitDefault::resumeWithIdentifyingObject(const void* identifyingObject) {
    onQueue([identifyingObject](ZVTChannelUnitDefault& self) {
        self.resumeWithIdentifyingObjectSync(identifyingObject);
    });
}

void ZVTChannelUnitDefault::pauseWithIdentifyingObjectSync(const void* identifyingObject) {
    if (!checkOnQueue("pauseWithIdentifyingObjectSync")) {
        pauseWithIdentifyingObject(identifyingObject);
        return;
    }
    pausedObjects_.insert(identifyingObject);
    ZVTLogVerbose(kZVTLogTag, "Identifying object ", describe(identifyingObject),
                  " added to pause lane for channel ", groupId(), ".");
    if (!paused_) {
        ZVTLogDebug(kZVTLogTag, "Pause channel ", groupId(), ".");
        paused_ = true;
        resetTimer();
    }
    delegates_.enumerate([&](ZVTChannelDelegate& d) {
        d.channelDidPauseWithIdentifyingObject(*this, identifyingObject);
    });
}

void ZVTChannelUnitDefault::resumeWithIdentifyingObjectSync(const void* identifyingObject) {
    if (!checkOnQueue("resumeWithIdentifyingObjectSync")) {
        resumeWithIdentifyingObject(identifyingObject);
        return;
    }
    pausedObjects_.erase(identifyingObject);
    ZVTLogVerbose(kZVTLogTag, "Identifying object ", describe(identifyingObject),
                  " removed from pause lane for channel ", groupId(), ".");
    if (pausedObjects_.empty()) {
        ZVTLogDebug(kZVTLogTag, "Resume channel ", groupId(), ".");
        paused_ = false;
        checkPendingLogs();
    }
    delegates_.enumerate([&](ZVTChannelDelegate& d) {
        d.channelDidResumeWithIdentifyingObject(*this, identifyingObject);
    });
}

void ZVTChannelUnitDefault::pauseSendingLogsWithToken(const std::string& token) {
    auto targetKey = ZVTUtility::targetKeyFromTargetToken(token);
    if (!targetKey) return;
    onQueue([key = *targetKey](ZVTChannelUnitDefault& self) { self.pauseTargetKeySync(key); });
}

void ZVTChannelUnitDefault::resumeSendingLogsWithToken(const std::string& token) {
    auto targetKey = ZVTUtility::targetKeyFromTargetToken(token);
    if (!targetKey) return;
    onQueue([key = *targetKey](ZVTChannelUnitDefault& self) { self.resumeTargetKeySync(key); });
}

void ZVTChannelUnitDefault::pauseTargetKeySync(const std::string& targetKey) {
    ZVTLogDebug(kZVTLogTag, "Pause channel for target key ", targetKey, ".");
    pausedTargetKeys_.insert(targetKey);
}

void ZVTChannelUnitDefault::resumeTargetKeySync(const std::string& targetKey) {
    ZVTLogDebug(kZVTLogTag, "Resume channel for target key ", targetKey, ".");
    pausedTargetKeys_.erase(targetKey);
    itemsCount_ = countOnQueue();
    checkPendingLogs();
}

void ZVTChannelUnitDefault::deleteAllLogsWithError(const ZVTError& error) {
    onQueue([error](ZVTChannelUnitDefault& self) { self.deleteAllLogsWithErrorSync(error); });
}

void ZVTChannelUnitDefault::deleteAllLogsWithErrorSync(const ZVTError& error) {
    if (!checkOnQueue("deleteAllLogsWithErrorSync")) {
        deleteAllLogsWithError(error);
        return;
    }
    const std::string group = groupId();
    for (const auto& batchId : pendingBatchIds_) storage_->deleteLogsWithBatchId(batchId, group);
    pendingBatchIds_.clear();
    for (const auto& log : storage_->deleteLogsWithGroupId(group)) {
        notifyFailureBeforeSendingForItem(log, error);
    }
}
