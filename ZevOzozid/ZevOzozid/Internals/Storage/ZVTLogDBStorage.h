#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTEncrypter.h"

#include <map>
#include <memory>
#include <utility>

// The log store: table "logs" of "Logs.sqlite" (version 5), each row a log's archive in Base64
// with its group, priority and, for logs addressed to one target, the encrypted token and its
// target key. Batches handed out by a load are remembered in memory by (group id, batch id)
// until deleted. At the cap a new log evicts logs of equal or lower priority, oldest first.
// Not locked: every call comes on the channel group's serial queue.
class ZVTLogDBStorage : public ZVTDBStorage, public ZVTStorage {
  public:
    static constexpr uint64_t kSchemaVersion = 5;

    // Asks for a store whose file is opened by its first operation (or ensureInitialized), so
    // that the opening and any salvage run on the queue that runs its calls.
    struct OpenLater {};

    ZVTLogDBStorage();
    explicit ZVTLogDBStorage(OpenLater);
    explicit ZVTLogDBStorage(std::unique_ptr<ZVTEncrypter> encrypter, bool openNow = true);

    bool saveLog(const std::shared_ptr<ZVTLog>& log, const std::string& groupId,
                 uint64_t flags) override;
    uint64_t countLogs() override;
    std::vector<std::shared_ptr<ZVTLog>> deleteLogsWithGroupId(const std::string& groupId) override;
    void deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId) override;
    bool loadLogsWithGroupId(const std::string& groupId, uint64_t limit,
                             const std::optional<std::vector<std::string>>& excludedTargetKeys,
                             const ZVTLoadDataCompletionHandler& completion) override;
    void setMaxStorageSize(int64_t sizeInBytes,
                           const std::function<void(bool)>& completion) override {
        ZVTDBStorage::setMaxStorageSize(sizeInBytes, completion);
    }

    static ZVTDBSchema logsSchema();
    // "(?,?,?)" for three values.
    static std::string buildKeyFormatWithCount(size_t count);
    static int deleteLogsFromDBWithColumnValues(const std::vector<ZVTDBValue>& values,
                                                const std::string& columnName, sqlite3* db);

  protected:
    void customizeDatabase(sqlite3* db) override;
    void migrateDatabase(sqlite3* db, uint64_t fromVersion) override;

  private:
    struct StoredLog {
        int64_t id;
        std::shared_ptr<ZVTLog> log;
    };
    std::vector<StoredLog> logsWithCondition(const std::string& condition,
                                             const ZVTStorageBindableArray& values);
    std::vector<std::shared_ptr<ZVTLog>> logsFromDBWithGroupId(const std::string& groupId);
    int insertEvicting(sqlite3* db, const std::string& sql, const ZVTStorageBindableArray& values,
                       int64_t priority);
    std::vector<int64_t> inFlightIds(const std::string& groupId) const;

    std::unique_ptr<ZVTEncrypter> encrypter_;
    std::map<std::pair<std::string, std::string>, std::vector<int64_t>> batches_;
};
