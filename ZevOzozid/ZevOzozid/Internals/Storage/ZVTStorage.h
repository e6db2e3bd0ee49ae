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

// The persistent queue of logs waiting to be sent. Calls come on one serial queue.
class ZVTStorage {
  public:
    virtual ~ZVTStorage() = default;
    virtual bool saveLog(const std::shared_ptr<ZVTLog>& log, const std::string& groupId,
                         uint64_t flags) = 0;
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
