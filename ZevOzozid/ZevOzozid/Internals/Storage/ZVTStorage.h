#pragma once

#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using ZVTLoadDataCompletionHandler = std::function<void(
    const std::vector<std::shared_ptr<ZVTLog>>& logs, const std::optional<std::string>& batchId)>;

// What became of a log handed to saveLogOrHold.
enum class ZVTSaveResult {
    Stored,    // in the store
    Held,      // the disk had no room: kept in memory, stored later (see saveLogOrHold)
    NotSaved,  // refused for good
};

// The persistent queue of logs waiting to be sent. Calls come on one serial queue.
class ZVTStorage {
  public:
    // Runs, on the storage's queue, once a held log was stored (true) or given up (false).
    using HeldLogHandler = std::function<void(bool stored)>;

    virtual ~ZVTStorage() = default;
    // True when the log is in the store now.
    virtual bool saveLog(const std::shared_ptr<ZVTLog>& log, const std::string& groupId,
                         uint64_t flags) = 0;
    // Stores the log; a store that can hold logs in memory while the disk is full (not merely at
    // its cap) may hold it instead, and tells `later` what became of it.
    virtual ZVTSaveResult saveLogOrHold(const std::shared_ptr<ZVTLog>& log,
                                        const std::string& groupId, uint64_t flags,
                                        HeldLogHandler later) {
        (void)later;
        return saveLog(log, groupId, flags) ? ZVTSaveResult::Stored : ZVTSaveResult::NotSaved;
    }
    // Stores what is held, oldest first, as far as the disk takes it; the number still held.
    virtual size_t storeHeldLogs() { return 0; }
    virtual uint64_t countLogs() = 0;
    virtual std::vector<std::shared_ptr<ZVTLog>> deleteLogsWithGroupId(
        const std::string& groupId) = 0;
    virtual void deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId) = 0;
    // The more-logs flag: true when the group holds more loadable logs than `limit`.
    virtual bool loadLogsWithGroupId(
        const std::string& groupId, uint64_t limit,
        const std::optional<std::vector<std::string>>& excludedTargetKeys,
        const ZVTLoadDataCompletionHandler& completion) = 0;
    virtual void setMaxStorageSize(int64_t sizeInBytes,
                                   const std::function<void(bool)>& completion) = 0;
};
