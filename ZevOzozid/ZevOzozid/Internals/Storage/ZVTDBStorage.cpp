#include "Internals/Storage/ZVTDBStorage.h"

#include "Internals/Util/ZVTFileStore.h"
#include "Internals/Util/ZVTLogger.h"

namespace fs = std::filesystem;

namespace {

bool isCorruption(int rc) {
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

int64_t singleValue(const std::string& sql, sqlite3* db, int* result) {
    int rc = SQLITE_OK;
    auto rows = ZVTDBStorage::executeSelectionQuery(sql, db, nullptr, &rc);
    if (result) *result = rc;
    if (rows.empty() || rows[0].empty()) return 0;
    if (const auto* v = std::get_if<int64_t>(&rows[0][0])) return *v;
    return 0;
}

}  // namespace

ZVTDBStorage::ZVTDBStorage(ZVTDBSchema schema, uint64_t version, std::string filename)
    : schema_(std::move(schema)), version_(version), filename_(std::move(filename)) {}

ZVTDBStorage::~ZVTDBStorage() {
    closeConnection();
}

void ZVTDBStorage::initialize() {
    int rc = configure();
    if (isCorruption(rc)) {
        ZVTLogError(kZVTLogTag, "The database ", dbFileURL_.string(),
                    " is damaged; it is moved aside and a new one is made.");
        moveAside();
        rc = configure();
    }
    configurationResult_ = rc;
    if (rc != SQLITE_OK) ZVTLogError(kZVTLogTag, "Failed to initialize database.");
}

int ZVTDBStorage::openConnection() {
    if (db_) return SQLITE_OK;
    int rc =
        sqlite3_open_v2(dbFileURL_.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        ZVTLogError(kZVTLogTag, "Failed to open database with result: ", rc, ".");
        closeConnection();
        return rc;
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    return SQLITE_OK;
}

void ZVTDBStorage::closeConnection() {
    for (auto& [sql, statement] : cachedStatements_) sqlite3_finalize(statement);
    cachedStatements_.clear();
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

void ZVTDBStorage::moveAside() {
    closeConnection();
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        fs::path from = dbFileURL_;
        from += suffix;
        fs::path to = dbFileURL_;
        to += std::string(".corrupt") + suffix;
        if (fs::exists(from, ec)) fs::rename(from, to, ec);
    }
}

int ZVTDBStorage::configure() {
    const bool existed = ZVTUtility::fileExistsForPathComponent(filename_) &&
                         fs::file_size(*ZVTUtility::fullURLForPathComponent(filename_)) > 0;
    auto url = ZVTUtility::createFileAtPathComponent(filename_, std::nullopt, false, false);
    if (!url) return SQLITE_CANTOPEN;
    dbFileURL_ = *url;
    maxSizeInBytes_ = kDefaultMaxSizeInBytes;
    pageSize_ = 0;
    if (int rc = openConnection(); rc != SQLITE_OK) return rc;
    int rc = SQLITE_OK;
    // A damaged file shows here: the header read fails (26) or the check does not say "ok".
    auto check = executeSelectionQuery("PRAGMA quick_check;", db_, nullptr, &rc);
    if (rc == SQLITE_OK &&
        (check.empty() || check[0].empty() || std::get_if<std::string>(&check[0][0]) == nullptr ||
         std::get<std::string>(check[0][0]) != "ok")) {
        rc = SQLITE_CORRUPT;
    }
    if (rc != SQLITE_OK) return rc;
    if (!existed) executeNonSelectionQuery("PRAGMA auto_vacuum = FULL;", db_);
    executeSelectionQuery("PRAGMA journal_mode = WAL;", db_, nullptr, &rc);
    if (rc != SQLITE_OK) return rc;
    executeNonSelectionQuery("PRAGMA synchronous = NORMAL;", db_);
    pageSize_ = getPageSizeInOpenedDatabase(db_, &rc);
    if (rc != SQLITE_OK) return rc;
    if (pageSize_ == 0) {
        ZVTLogError(kZVTLogTag, "Failed to get storage page size.");
        return SQLITE_ERROR;
    }
    const uint64_t stored = versionInOpenedDatabase(db_, &rc);
    if (rc != SQLITE_OK) return rc;
    if (rc = createTablesWithSchema(schema_, db_); rc != SQLITE_OK) {
        ZVTLogError(kZVTLogTag, "Failed to create tables with schema with error \"", rc, "\".");
        return rc;
    }
    if (!existed) {
        ZVTLogInfo(kZVTLogTag, "Created \"", filename_, "\" database with ", version_, " version.");
        customizeDatabase(db_);
    } else if (stored < version_) {
        ZVTLogInfo(kZVTLogTag, "Migrating \"", filename_, "\" database from version ", stored,
                   " to ", version_, ".");
        migrateDatabase(db_, stored);
    }
    if (singleValue("PRAGMA auto_vacuum;", db_, nullptr) != 1) {
        ZVTLogDebug(kZVTLogTag, "Vacuuming database and enabling auto_vacuum");
        executeNonSelectionQuery("PRAGMA auto_vacuum = FULL;", db_);
        executeNonSelectionQuery("VACUUM;", db_);
    }
    setVersion(version_, db_);
    return setMaxPageCount(maxSizeInBytes_ / pageSize_, db_);
}

int ZVTDBStorage::executeQueryUsingBlock(const std::function<int(sqlite3*)>& block) {
    if (int rc = openConnection(); rc != SQLITE_OK) return rc;
    if (pageSize_ == 0) {
        ZVTLogError(kZVTLogTag,
                    "The database was not configured correctly. The page size is expected to be "
                    "non zero.");
        return SQLITE_ERROR;
    }
    return block(db_);
}

int ZVTDBStorage::executeCachedNonSelectionQuery(sqlite3* db, const std::string& sql,
                                                 const ZVTStorageBindableArray& values) {
    if (db != db_) return executeNonSelectionQuery(sql, db, &values);
    sqlite3_stmt*& statement = cachedStatements_[sql];
    if (!statement) {
        int rc = sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (rc != SQLITE_OK) {
            ZVTLogError(kZVTLogTag, "Failed to prepare SQLite statement, result=", rc, "\n\t",
                        sqlite3_errmsg(db));
            sqlite3_finalize(statement);
            cachedStatements_.erase(sql);
            return rc;
        }
    }
    int rc = values.bindAllValuesWithStatement(statement, db);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE || rc == SQLITE_ROW)
            rc = SQLITE_OK;
        else if (rc != SQLITE_FULL) {
            ZVTLogError(kZVTLogTag, "Could not execute the statement, result=", rc, "\n\t",
                        sqlite3_errmsg(db));
        }
    }
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return rc;
}

int ZVTDBStorage::executeNonSelectionQuery(const std::string& sql,
                                           const ZVTStorageBindableArray* values) {
    return executeQueryUsingBlock(
        [&](sqlite3* db) { return executeNonSelectionQuery(sql, db, values); });
}

std::vector<ZVTDBRow> ZVTDBStorage::executeSelectionQuery(const std::string& sql,
                                                          const ZVTStorageBindableArray* values) {
    std::vector<ZVTDBRow> rows;
    executeQueryUsingBlock([&](sqlite3* db) {
        int rc = SQLITE_OK;
        rows = executeSelectionQuery(sql, db, values, &rc);
        return rc;
    });
    return rows;
}

uint64_t ZVTDBStorage::countEntriesForTable(const std::string& table, const std::string& condition,
                                            const ZVTStorageBindableArray* values) {
    std::string sql = "SELECT COUNT(*) FROM \"" + table + "\" ";
    if (!condition.empty()) sql += "WHERE " + condition;
    auto rows = executeSelectionQuery(sql, values);
    if (rows.empty() || rows[0].empty()) return 0;
    const auto* n = std::get_if<int64_t>(&rows[0][0]);
    return n ? static_cast<uint64_t>(*n) : 0;
}

bool ZVTDBStorage::createTable(const std::string& table, const std::vector<ZVTDBColumn>& columns) {
    int rc = executeQueryUsingBlock([&](sqlite3* db) {
        int exists = SQLITE_OK;
        if (tableExists(table, db, &exists) || exists != SQLITE_OK) return exists;
        int created = executeNonSelectionQuery(
            "CREATE TABLE \"" + table + "\" (" + columnsQueryFromColumnsSchema(columns) + ");", db);
        if (created == SQLITE_OK)
            ZVTLogVerbose(kZVTLogTag, "Table ", table, " has been created");
        else
            ZVTLogError(kZVTLogTag, "Failed to create table ", table);
        return created;
    });
    return rc == SQLITE_OK;
}

bool ZVTDBStorage::dropTable(const std::string& table) {
    int rc = executeQueryUsingBlock([&](sqlite3* db) {
        int exists = SQLITE_OK;
        if (!tableExists(table, db, &exists)) return exists;
        int dropped = executeNonSelectionQuery("DROP TABLE \"" + table + "\";", db);
        if (dropped == SQLITE_OK)
            ZVTLogVerbose(kZVTLogTag, "Table ", table, " has been deleted");
        else
            ZVTLogError(kZVTLogTag, "Failed to delete table ", table);
        return dropped;
    });
    return rc == SQLITE_OK;
}

void ZVTDBStorage::dropDatabase() {
    closeConnection();
    std::error_code ec;
    for (const char* suffix : {"-wal", "-shm"}) {
        fs::path side = dbFileURL_;
        side += suffix;
        fs::remove(side, ec);
    }
    if (ZVTUtility::deleteFileAtURL(dbFileURL_)) {
        ZVTLogVerbose(kZVTLogTag, "Database ", dbFileURL_.string(), " has been deleted.");
    } else {
        ZVTLogError(kZVTLogTag, "Failed to delete database.");
    }
}

void ZVTDBStorage::setMaxStorageSize(int64_t sizeInBytes,
                                     const std::function<void(bool)>& completion) {
    bool ok = false;
    executeQueryUsingBlock([&](sqlite3* db) {
        const int64_t inUse = getPageCountInOpenedDatabase(db);
        ZVTLogDebug(kZVTLogTag, "Found ", inUse, " pages in the database.");
        const int64_t pages = (sizeInBytes + pageSize_ - 1) / pageSize_;
        if (pages < inUse) {
            ZVTLogWarning(kZVTLogTag, "Cannot change database size to ", sizeInBytes,
                          " bytes as it would cause a loss of data. Maximum database size will "
                          "not be changed.");
            return SQLITE_OK;
        }
        if (int rc = setMaxPageCount(pages, db); rc != SQLITE_OK) {
            ZVTLogError(kZVTLogTag, "Could not change maximum database size to ", sizeInBytes,
                        " bytes. SQLite error code: ", rc);
            return rc;
        }
        const int64_t actual = getMaxPageCountInOpenedDatabase(db) * pageSize_;
        if (actual / pageSize_ != pages) {
            ZVTLogError(kZVTLogTag, "Could not change maximum database size to ", sizeInBytes,
                        " bytes, current maximum size is ", actual, " bytes.");
            return SQLITE_OK;
        }
        if (actual == sizeInBytes) {
            ZVTLogInfo(kZVTLogTag, "Changed maximum database size to ", actual, " bytes.");
        } else {
            ZVTLogInfo(kZVTLogTag, "Changed maximum database size to ", actual,
                       " bytes (next multiple of 4KiB).");
        }
        maxSizeInBytes_ = actual;
        ok = true;
        return SQLITE_OK;
    });
    if (completion) completion(ok);
}
