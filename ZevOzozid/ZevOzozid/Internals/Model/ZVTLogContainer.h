#pragma once

#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// One batch of logs on its way to an ingestion. Not locked.
class ZVTLogContainer {
  public:
    ZVTLogContainer() = default;
    ZVTLogContainer(std::string batchId, std::vector<std::shared_ptr<ZVTLog>> logs)
        : batchId_(std::move(batchId)), logs_(std::move(logs)) {}

    const std::string& batchId() const { return batchId_; }
    void setBatchId(std::string id) { batchId_ = std::move(id); }
    const std::vector<std::shared_ptr<ZVTLog>>& logs() const { return logs_; }
    void setLogs(std::vector<std::shared_ptr<ZVTLog>> logs) { logs_ = std::move(logs); }

    // {"logs": [...]} with each log's dictionary, compact.
    std::optional<std::string> serializeLog() const {
        return serializeLogWithPrettyPrinting(false);
    }
    std::optional<std::string> serializeLogWithPrettyPrinting(bool prettyPrint) const;
    // At least one log, and every log valid.
    bool isValid() const;

  private:
    std::string batchId_;
    std::vector<std::shared_ptr<ZVTLog>> logs_;
};
