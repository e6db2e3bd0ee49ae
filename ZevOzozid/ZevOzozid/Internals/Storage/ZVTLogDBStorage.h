#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTEncrypter.h"

#include <deque>
#include <map>
#include <memory>
#include <utility>

// The log store: table "logs" of "Logs.sqlite" (version 5), each row a log's archive in Base64
// with its group, priority and, for logs addressed to one target, the encrypted token and its
// target key. Batches handed out by a load are remembered in memory by (group id, batch id)
// until deleted. At the cap a new log evicts logs of equal or lower priority, oldest first.
// A full disk is not the cap: SQLITE_FULL while the file is below its page limit evicts nothing;
// saveLogOrHold then keeps the log in memory (the newest kMaxHeldLogs, fewer only when they pass
// kMaxHeldBytes of archive together; older ones are given up with an error line) and logs
// "disk full" once; storeHeldLogs, the next save and the channel unit's retry timer store them,
// oldest first, once the disk has room again.
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

    static constexpr size_t kMaxHeldLogs = 100;
    static constexpr size_t kMaxHeldBytes = 16 * 1024 * 1024;

    bool saveLog(const std::shared_ptr<ZVTLog>& log, const std::string& groupId,
                 uint64_t flags) override;
    ZVTSaveResult saveLogOrHold(const std::shared_ptr<ZVTLog>& log, const std::string& groupId,
                                uint64_t flags, HeldLogHandler later) override;
    size_t storeHeldLogs() override;
    size_t heldLogCount() const { return held_.size(); }
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
    struct HeldLog {
        std::shared_ptr<ZVTLog> log;
        std::string groupId;
        uint64_t flags;
        size_t bytes;
        HeldLogHandler later;
    };
    enum class Insert { Stored, DiskFull, Failed };
    Insert insertLog(const std::shared_ptr<ZVTLog>& log, const std::string& groupId, uint64_t flags,
                     size_t* archiveBytes = nullptr);
    int insertEvicting(sqlite3* db, const std::string& sql, const ZVTStorageBindableArray& values,
                       int64_t priority, size_t rowBytes, bool& diskFull);
    // Whether the file has no page left for a row of `rowBytes` under its page limit.
    bool atCap(sqlite3* db, size_t rowBytes);
    void hold(HeldLog held);
    std::vector<int64_t> inFlightIds(const std::string& groupId) const;

    std::unique_ptr<ZVTEncrypter> encrypter_;
    std::map<std::pair<std::string, std::string>, std::vector<int64_t>> batches_;
    std::deque<HeldLog> held_;
    size_t heldBytes_ = 0;
};
