#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTStorage.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace zvt_test {

// A service log that names its event, as the analytics event log does, so its common-schema
// logs pass the collector's name check.
class NamedEventLog : public ZVTAbstractLog {
  public:
    explicit NamedEventLog(std::string name = "lap.saved") : name_(std::move(name)) {
        setType("event");
    }
    std::shared_ptr<ZVTCommonSchemaLog> toCommonSchemaLogForTargetToken(
        const std::string& token, uint64_t flags) const override {
        auto log = ZVTAbstractLog::toCommonSchemaLogForTargetToken(token, flags);
        log->setName(name_);
        return log;
    }

  private:
    std::string name_;
};

// A store that remembers every saved log with its group id, then hands it to the real store.
class RecordingStorage : public ZVTStorage {
  public:
    explicit RecordingStorage(std::shared_ptr<ZVTStorage> inner) : inner_(std::move(inner)) {}

    bool saveLog(const std::shared_ptr<ZVTLog>& log, const std::string& groupId,
                 uint64_t flags) override {
        {
            std::lock_guard lock(mutex_);
            saved_.emplace_back(groupId, log);
        }
        return inner_->saveLog(log, groupId, flags);
    }
    uint64_t countLogs() override { return inner_->countLogs(); }
    std::vector<std::shared_ptr<ZVTLog>> deleteLogsWithGroupId(const std::string& g) override {
        return inner_->deleteLogsWithGroupId(g);
    }
    void deleteLogsWithBatchId(const std::string& b, const std::string& g) override {
        inner_->deleteLogsWithBatchId(b, g);
    }
    bool loadLogsWithGroupId(const std::string& g, uint64_t limit,
                             const std::optional<std::vector<std::string>>& excluded,
                             const ZVTLoadDataCompletionHandler& completion) override {
        return inner_->loadLogsWithGroupId(g, limit, excluded, completion);
    }
    void setMaxStorageSize(int64_t size, const std::function<void(bool)>& completion) override {
        inner_->setMaxStorageSize(size, completion);
    }

    // The logs saved under `groupId`, in order.
    std::vector<std::shared_ptr<ZVTLog>> savedIn(const std::string& groupId) const {
        std::lock_guard lock(mutex_);
        std::vector<std::shared_ptr<ZVTLog>> out;
        for (const auto& [group, log] : saved_) {
            if (group == groupId) out.push_back(log);
        }
        return out;
    }

  private:
    std::shared_ptr<ZVTStorage> inner_;
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::shared_ptr<ZVTLog>>> saved_;
};

}  // namespace zvt_test
