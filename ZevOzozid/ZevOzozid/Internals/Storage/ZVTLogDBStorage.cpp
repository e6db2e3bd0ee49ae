#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"

#include "platform/Crypto.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <limits>

namespace {

const std::string kTable = "logs";
constexpr size_t kIdColumn = 0;
constexpr size_t kLogColumn = 2;
constexpr size_t kTargetTokenColumn = 3;
// Eviction candidates are read this many at a time.
constexpr int kEvictionChunk = 16;

std::string joinValues(const std::vector<ZVTDBValue>& values) {
    std::string out;
    for (const auto& v : values) {
        if (!out.empty()) out += "','";
        if (const auto* n = std::get_if<int64_t>(&v))
            out += std::to_string(*n);
        else if (const auto* s = std::get_if<std::string>(&v))
            out += *s;
    }
    return out;
}

}  // namespace

ZVTDBSchema ZVTLogDBStorage::logsSchema() {
    return {{kTable,
             {{"id", {"INTEGER", "PRIMARY KEY", "AUTOINCREMENT"}},
              {"groupId", {"TEXT", "NOT NULL"}},
              {"log", {"TEXT", "NOT NULL"}},
              {"targetToken", {"TEXT"}},
              {"targetKey", {"TEXT"}},
              {"priority", {"INTEGER"}}}}};
}

ZVTLogDBStorage::ZVTLogDBStorage() : ZVTLogDBStorage(std::make_unique<ZVTEncrypter>()) {}

ZVTLogDBStorage::ZVTLogDBStorage(OpenLater)
    : ZVTLogDBStorage(std::make_unique<ZVTEncrypter>(), false) {}

ZVTLogDBStorage::ZVTLogDBStorage(std::unique_ptr<ZVTEncrypter> encrypter, bool openNow)
    : ZVTDBStorage(logsSchema(), kSchemaVersion, "Logs.sqlite"), encrypter_(std::move(encrypter)) {
    if (openNow) {
        initialize();
    } else {
        pinFileURL();
    }
}

void ZVTLogDBStorage::customizeDatabase(sqlite3* db) {
    executeNonSelectionQuery("CREATE INDEX \"ix_logs_priority\" ON \"logs\" (\"priority\")", db);
}

void ZVTLogDBStorage::migrateDatabase(sqlite3* db, uint64_t /*fromVersion*/) {
    executeNonSelectionQuery("DROP TABLE IF EXISTS \"logs\";", db);
    createTablesWithSchema(schema(), db);
    customizeDatabase(db);
}

std::string ZVTLogDBStorage::buildKeyFormatWithCount(size_t count) {
    std::string out = "(";
    for (size_t i = 0; i < count; ++i) out += i == 0 ? "?" : ",?";
    return out + ")";
}

bool ZVTLogDBStorage::saveLog(const std::shared_ptr<ZVTLog>& log, const std::string& groupId,
                              uint64_t flags) {
    return saveLogOrHold(log, groupId, flags, {}) == ZVTSaveResult::Stored;
}

ZVTSaveResult ZVTLogDBStorage::saveLogOrHold(const std::shared_ptr<ZVTLog>& log,
                                             const std::string& groupId, uint64_t flags,
                                             HeldLogHandler later) {
    if (!log) return ZVTSaveResult::NotSaved;
    // Held logs go first, so the store keeps the order in which logs came.
    if (storeHeldLogs() > 0) {
        hold({log, groupId, flags, 0, std::move(later)});
        return ZVTSaveResult::Held;
    }
    size_t bytes = 0;
    switch (insertLog(log, groupId, flags, &bytes)) {
        case Insert::Stored:
            return ZVTSaveResult::Stored;
        case Insert::Failed:
            return ZVTSaveResult::NotSaved;
        case Insert::DiskFull:
            break;
    }
    ZVTLogError(kZVTLogTag, "Storing logs failed: disk full. Keeping the newest ", kMaxHeldLogs,
                " logs in memory until the disk has room again.");
    hold({log, groupId, flags, bytes, std::move(later)});
    return ZVTSaveResult::Held;
}

void ZVTLogDBStorage::hold(HeldLog held) {
    if (held.bytes == 0) {
        if (auto archive = ZVTUtility::archiveKeyedData(held.log.get()))
            held.bytes = archive->size();
    }
    heldBytes_ += held.bytes;
    held_.push_back(std::move(held));
    while (held_.size() > kMaxHeldLogs || (held_.size() > 1 && heldBytes_ > kMaxHeldBytes)) {
        HeldLog oldest = std::move(held_.front());
        held_.pop_front();
        heldBytes_ -= oldest.bytes;
        ZVTLogError(kZVTLogTag, "Disk full: gave up the oldest log held in memory (type ",
                    oldest.log->type().value_or("(null)"), ").");
        if (oldest.later) oldest.later(false);
    }
}

size_t ZVTLogDBStorage::storeHeldLogs() {
    size_t stored = 0;
    while (!held_.empty()) {
        HeldLog& next = held_.front();
        const Insert result = insertLog(next.log, next.groupId, next.flags);
        if (result == Insert::DiskFull) break;
        HeldLog done = std::move(next);
        held_.pop_front();
        heldBytes_ -= done.bytes;
        if (result == Insert::Stored) ++stored;
        if (done.later) done.later(result == Insert::Stored);
    }
    if (stored > 0) {
        ZVTLogInfo(kZVTLogTag, "Stored ", stored,
                   " log(s) held in memory while the disk was full; ", held_.size(),
                   " still held.");
    }
    return held_.size();
}

ZVTLogDBStorage::Insert ZVTLogDBStorage::insertLog(const std::shared_ptr<ZVTLog>& log,
                                                   const std::string& groupId, uint64_t flags,
                                                   size_t* archiveBytes) {
    const int64_t priority = static_cast<int64_t>(flags & 0xFF);
    auto archive = ZVTUtility::archiveKeyedData(log.get());
    if (!archive) return Insert::Failed;
    if (archiveBytes) *archiveBytes = archive->size();
    const std::string base64 = platform::crypto::base64Encode(
        std::string_view(reinterpret_cast<const char*>(archive->data()), archive->size()));
    ZVTStorageBindableArray values;
    values.addString(groupId);
    values.addString(base64);
    std::string sql;
    if (auto token = log->storedTargetToken()) {
        auto encrypted = encrypter_->encryptString(*token);
        if (!encrypted) return Insert::Failed;
        values.addString(*encrypted);
        values.addString(ZVTUtility::targetKeyFromTargetToken(*token));
        sql =
            "INSERT INTO \"logs\" (\"groupId\", \"log\", \"targetToken\", \"targetKey\", "
            "\"priority\") VALUES (?, ?, ?, ?, ?)";
    } else {
        sql = "INSERT INTO \"logs\" (\"groupId\", \"log\", \"priority\") VALUES (?, ?, ?)";
    }
    values.addNumber(priority);
    bool diskFull = false, opened = false;
    int rc = executeQueryUsingBlock([&](sqlite3* db) {
        opened = true;
        // The page limit is set at open and at each accepted cap, so this is the file's cap.
        const int64_t capacity = maxSizeInBytes();
        if (static_cast<int64_t>(base64.size()) >= capacity) {
            ZVTLogError(kZVTLogTag, "Log is too large (", base64.size(),
                        " bytes) to store in database. Current maximum database size is ", capacity,
                        " bytes.");
            return SQLITE_ERROR;
        }
        int result = insertEvicting(db, sql, values, priority, base64.size(), diskFull);
        if (result == SQLITE_OK) {
            ZVTLogVerbose(kZVTLogTag, "Log is stored with id: '", sqlite3_last_insert_rowid(db),
                          "'");
        }
        return result;
    });
    // A full disk may also refuse the opening itself (the write-ahead log's index).
    if (!opened && (rc & 0xFF) == SQLITE_FULL) diskFull = true;
    if (rc == SQLITE_OK) return Insert::Stored;
    return diskFull ? Insert::DiskFull : Insert::Failed;
}

bool ZVTLogDBStorage::atCap(sqlite3* db, size_t rowBytes) {
    const int64_t page = pageSize();
    if (page <= 0) return true;
    int countResult = SQLITE_OK, maxResult = SQLITE_OK;
    const int64_t pages = getPageCountInOpenedDatabase(db, &countResult);
    const int64_t limit = getMaxPageCountInOpenedDatabase(db, &maxResult);
    if (countResult != SQLITE_OK || maxResult != SQLITE_OK) return true;
    // The row's own pages (overflow pages past the first), and a leaf and an index page more.
    const int64_t needed = static_cast<int64_t>(rowBytes) / page + 3;
    return pages + needed > limit;
}

int ZVTLogDBStorage::insertEvicting(sqlite3* db, const std::string& sql,
                                    const ZVTStorageBindableArray& values, int64_t priority,
                                    size_t rowBytes, bool& diskFull) {
    int rc = executeCachedNonSelectionQuery(db, sql, values);
    long deleted = 0;
    while (rc == SQLITE_FULL) {
        // Below its page limit the file is not at its cap: the disk is full, and deleting
        // stored logs would lose them for nothing.
        if (!atCap(db, rowBytes)) {
            diskFull = true;
            break;
        }
        ZVTStorageBindableArray bound;
        bound.addNumber(priority);
        auto candidates = executeSelectionQuery(
            "SELECT \"id\" FROM \"logs\" WHERE \"priority\" <= ? ORDER BY \"priority\" ASC, "
            "\"id\" ASC LIMIT " +
                std::to_string(kEvictionChunk),
            db, &bound);
        if (candidates.empty()) break;
        for (const auto& row : candidates) {
            int drc = deleteLogsFromDBWithColumnValues({row[0]}, "id", db);
            if (drc == SQLITE_FULL) diskFull = true;  // no room even for the deletion's journal
            if (drc != SQLITE_OK) return drc;
            ZVTLogDebug(kZVTLogTag, "Deleted a log with id ", joinValues({row[0]}),
                        " to store a new log.");
            ++deleted;
            rc = executeCachedNonSelectionQuery(db, sql, values);
            if (rc != SQLITE_FULL) break;
        }
    }
    if (deleted > 0) {
        ZVTLogDebug(kZVTLogTag, "Log storage was over capacity, ", deleted,
                    " oldest log(s) with equal or lower priority deleted.");
    }
    if (rc == SQLITE_FULL && !diskFull) {
        ZVTLogError(kZVTLogTag,
                    "Storage is full and no logs with equal or lower priority exist; discarding "
                    "the log.");
    }
    return rc;
}

uint64_t ZVTLogDBStorage::countLogs() {
    return countEntriesForTable(kTable);
}

std::vector<int64_t> ZVTLogDBStorage::inFlightIds(const std::string& groupId) const {
    std::vector<int64_t> ids;
    for (auto it = batches_.lower_bound({groupId, ""});
         it != batches_.end() && it->first.first == groupId; ++it) {
        ids.insert(ids.end(), it->second.begin(), it->second.end());
    }
    return ids;
}

bool ZVTLogDBStorage::loadLogsWithGroupId(
    const std::string& groupId, uint64_t limit,
    const std::optional<std::vector<std::string>>& excludedTargetKeys,
    const ZVTLoadDataCompletionHandler& completion) {
    ZVTStorageBindableArray values;
    values.addString(groupId);
    std::string condition = "\"groupId\" = ?";
    if (excludedTargetKeys && !excludedTargetKeys->empty()) {
        condition += " AND (\"targetKey\" IS NULL OR \"targetKey\" NOT IN " +
                     buildKeyFormatWithCount(excludedTargetKeys->size()) + ")";
        for (const auto& key : *excludedTargetKeys) values.addString(key);
    }
    const auto inFlight = inFlightIds(groupId);
    if (!inFlight.empty()) {
        condition += " AND \"id\" NOT IN " + buildKeyFormatWithCount(inFlight.size());
        for (int64_t id : inFlight) values.addNumber(id);
    }
    const bool unlimited = limit >= static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    condition += " ORDER BY \"priority\" DESC, \"id\" ASC LIMIT " +
                 (unlimited ? std::string("-1") : std::to_string(limit + 1));
    auto rows = logsWithCondition(condition, values);
    bool moreLogs = false;
    if (!unlimited && rows.size() > limit) {
        rows.resize(limit);
        moreLogs = true;
    }
    std::vector<std::shared_ptr<ZVTLog>> logs;
    std::optional<std::string> batchId;
    if (!rows.empty()) {
        batchId = ZVTUUID::random().UUIDString();
        std::vector<int64_t> ids;
        std::vector<ZVTDBValue> idValues;
        for (auto& row : rows) {
            ids.push_back(row.id);
            idValues.emplace_back(row.id);
            logs.push_back(row.log);
        }
        batches_[{groupId, *batchId}] = ids;
        ZVTLogVerbose(kZVTLogTag, "Load log(s) with id(s) '", joinValues(idValues),
                      "' as batch Id:", *batchId);
    }
    if (completion) completion(logs, batchId);
    return moreLogs;
}

std::vector<ZVTLogDBStorage::StoredLog> ZVTLogDBStorage::logsWithCondition(
    const std::string& condition, const ZVTStorageBindableArray& values) {
    std::string sql = "SELECT * FROM \"logs\"";
    if (!condition.empty()) sql += " WHERE " + condition;
    auto rows = executeSelectionQuery(sql, &values);
    std::vector<StoredLog> out;
    for (const auto& row : rows) {
        if (row.size() <= kTargetTokenColumn) continue;
        const auto* id = std::get_if<int64_t>(&row[kIdColumn]);
        if (!id) continue;
        const auto* text = std::get_if<std::string>(&row[kLogColumn]);
        std::string raw;
        std::shared_ptr<ZVTLog> log;
        if (text && platform::crypto::base64Decode(*text, raw)) {
            const ZVTBytes bytes(raw.begin(), raw.end());
            log = ZVTUtility::unarchiveKeyedDataAs<ZVTLog>(&bytes);
        }
        if (!log) {
            ZVTLogError(kZVTLogTag, "Deserialization failed for log with Id ", *id);
            executeQueryUsingBlock(
                [&](sqlite3* db) { return deleteLogsFromDBWithColumnValues({*id}, "id", db); });
            continue;
        }
        if (const auto* token = std::get_if<std::string>(&row[kTargetTokenColumn])) {
            if (token->empty()) {
                ZVTLogError(kZVTLogTag, "Unexpected empty target token for log with Id ", *id, ".");
            } else if (auto clear = encrypter_->decryptString(*token)) {
                log->addTransmissionTargetToken(*clear);
            } else {
                ZVTLogError(kZVTLogTag, "Failed to decrypt the target token for log with Id ", *id,
                            ".");
            }
        }
        out.push_back({*id, std::move(log)});
    }
    return out;
}

std::vector<std::shared_ptr<ZVTLog>> ZVTLogDBStorage::logsFromDBWithGroupId(
    const std::string& groupId) {
    ZVTStorageBindableArray values;
    values.addString(groupId);
    std::vector<std::shared_ptr<ZVTLog>> logs;
    for (auto& row : logsWithCondition("\"groupId\" = ?", values)) logs.push_back(row.log);
    return logs;
}

int ZVTLogDBStorage::deleteLogsFromDBWithColumnValues(const std::vector<ZVTDBValue>& values,
                                                      const std::string& columnName, sqlite3* db) {
    const std::string trace =
        "Deletion of log(s) by " + columnName + " with value(s) '" + joinValues(values) + "'";
    ZVTStorageBindableArray bound;
    for (const auto& v : values) {
        if (const auto* n = std::get_if<int64_t>(&v))
            bound.addNumber(*n);
        else if (const auto* s = std::get_if<std::string>(&v))
            bound.addString(*s);
        else
            bound.addString(std::nullopt);
    }
    const std::string sql = "DELETE FROM \"logs\" WHERE \"" + columnName + "\" IN " +
                            buildKeyFormatWithCount(values.size());
    int rc = executeNonSelectionQuery(sql, db, &bound);
    if (rc == SQLITE_OK)
        ZVTLogVerbose(kZVTLogTag, trace, " succeeded.");
    else
        ZVTLogError(kZVTLogTag, trace, " failed.");
    return rc;
}

void ZVTLogDBStorage::deleteLogsWithBatchId(const std::string& batchId,
                                            const std::string& groupId) {
    auto it = batches_.find({groupId, batchId});
    if (it == batches_.end()) return;
    std::vector<ZVTDBValue> ids(it->second.begin(), it->second.end());
    if (!ids.empty()) {
        executeQueryUsingBlock(
            [&](sqlite3* db) { return deleteLogsFromDBWithColumnValues(ids, "id", db); });
    }
    batches_.erase(it);
}

std::vector<std::shared_ptr<ZVTLog>> ZVTLogDBStorage::deleteLogsWithGroupId(
    const std::string& groupId) {
    auto logs = logsFromDBWithGroupId(groupId);
    executeQueryUsingBlock(
        [&](sqlite3* db) { return deleteLogsFromDBWithColumnValues({groupId}, "groupId", db); });
    for (auto it = batches_.lower_bound({groupId, ""});
         it != batches_.end() && it->first.first == groupId;) {
        it = batches_.erase(it);
    }
    return logs;
}
