#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTDBStorage.h"

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTDBDamagedCopies.h"
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTDBSalvage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool isCorruption(int rc) {
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

// Another connection holds the file longer than the busy time-out: the file is sound and in use,
// never moved aside.
bool isBusy(int rc) {
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
}

// Makes the file (0600) and its folder when missing.
bool createEmptyFile(const fs::path& file) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// A file is switched into WAL mode once, by the first connection that opens it; the mode stays
// with the file. The switch takes the file to itself and SQLite answers "busy" at once, without
// waiting through the busy time-out, while another connection opening the same new file holds it:
// the switch is tried again until that time-out.
int switchToWriteAheadLog(sqlite3* db) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(ZVTDBStorage::kBusyTimeoutMs);
    for (;;) {
        // Stepped here rather than through the query helpers, which log every failure: a busy
        // answer that a later try gets past is no error.
        int rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL;", nullptr, nullptr, nullptr);
        if (!isBusy(rc) || std::chrono::steady_clock::now() >= deadline) {
            if (rc != SQLITE_OK) {
                ZVTLogError(kZVTLogTag, "Switching the database to WAL mode failed: ", rc, "\n\t",
                            sqlite3_errmsg(db));
            }
            return rc;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
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

void ZVTDBStorage::pinFileURL() {
    pinnedURL_ = ZVTUtility::fullURLForPathComponent(filename_);
}

void ZVTDBStorage::initialize() {
    initialized_ = true;
    int rc = configure();
    if (isCorruption(rc)) {
        ZVTLogError(kZVTLogTag, "The database ", dbFileURL_.string(),
                    " is damaged; its readable rows are copied into a new one.");
        const auto aside = moveAside();
        rc = aside ? configure() : SQLITE_CANTOPEN;
        if (rc == SQLITE_OK) {
            // The block's result is the query's result code; the count is taken beside it.
            uint64_t copied = 0;
            executeQueryUsingBlock([&](sqlite3* db) {
                copied = ZVTDBSalvage::copyReadableRows(*aside, schema_, db);
                return SQLITE_OK;
            });
            ZVTLogInfo(kZVTLogTag, copied, " row(s) copied from the damaged database, kept as ",
                       aside->string(), ".");
        }
    } else if (rc != SQLITE_OK && !memoryOnly_ && !isBusy(rc)) {
        ZVTLogError(kZVTLogTag, "The database ", dbFileURL_.string(), " cannot be opened (result ",
                    rc, "); it is moved aside and a new one is made.");
        rc = moveAside() ? configure() : SQLITE_CANTOPEN;
    }
    if (rc == SQLITE_OK && !memoryOnly_) {
        // After the salvage, so that readable rows come before the damaged copies.
        executeQueryUsingBlock([&](sqlite3* db) { return applyPageLimit(maxSizeInBytes_, db); });
    }
    if (rc != SQLITE_OK && !memoryOnly_) {
        ZVTLogError(kZVTLogTag,
                    "No database can be kept in the SDK folder; logs are kept in "
                    "memory for this run only.");
        closeConnection();
        memoryOnly_ = true;
        rc = configure();
    }
    configurationResult_ = rc;
    if (rc != SQLITE_OK) ZVTLogError(kZVTLogTag, "Failed to initialize database.");
}

int ZVTDBStorage::openConnection() {
    if (db_) return SQLITE_OK;
    const char* name = memoryOnly_ ? ":memory:" : dbFileURL_.c_str();
    int rc = sqlite3_open_v2(
        name, &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        ZVTLogError(kZVTLogTag, "Failed to open database with result: ", rc, ".");
        closeConnection();
        return rc;
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    if (!memoryOnly_) restrictFileModes();
    return SQLITE_OK;
}

void ZVTDBStorage::restrictFileModes() const {
    // The store holds user ids and event properties: only its owner may read it, also when an
    // earlier version made it readable to others. SQLite gives its side files the same mode.
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        fs::path file = dbFileURL_;
        file += suffix;
        std::error_code ec;
        if (fs::is_regular_file(fs::symlink_status(file, ec))) {
            fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write,
                            fs::perm_options::replace, ec);
        }
    }
}

void ZVTDBStorage::closeConnection() {
    for (auto& [sql, statement] : cachedStatements_) sqlite3_finalize(statement);
    cachedStatements_.clear();
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

std::optional<fs::path> ZVTDBStorage::moveAside() {
    closeConnection();
    const auto next = ZVTDBDamagedCopies::nextName(dbFileURL_);
    if (!next) return std::nullopt;
    const fs::path to = *next;
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        fs::path from = dbFileURL_;
        from += suffix;
        fs::path side = to;
        side += suffix;
        if (fs::symlink_status(from, ec).type() == fs::file_type::not_found) continue;
        fs::rename(from, side, ec);
        if (ec && *suffix == '\0') {
            ZVTLogError(kZVTLogTag, "Couldn't move ", from.string(), " aside: ", ec.message());
            return std::nullopt;
        }
    }
    return to;
}

int ZVTDBStorage::configure() {
    maxSizeInBytes_ = kDefaultMaxSizeInBytes;
    pageSize_ = 0;
    bool existed = false;
    if (!memoryOnly_) {
        auto url = pinnedURL_ ? pinnedURL_ : ZVTUtility::fullURLForPathComponent(filename_);
        if (!url) return SQLITE_CANTOPEN;
        dbFileURL_ = *url;
        // Only a plain file is ever opened: a folder, a link or anything else in its place is
        // moved aside by the caller.
        std::error_code ec;
        const auto status = fs::symlink_status(dbFileURL_, ec);
        if (status.type() != fs::file_type::not_found && !fs::is_regular_file(status)) {
            return SQLITE_CANTOPEN;
        }
        const auto size = fs::file_size(dbFileURL_, ec);
        existed = !ec && size > 0;
        if (pinnedURL_
                ? !createEmptyFile(dbFileURL_)
                : !ZVTUtility::createFileAtPathComponent(filename_, std::nullopt, false, false)) {
            return SQLITE_CANTOPEN;
        }
    }
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
    if (!memoryOnly_) {
        if (rc = switchToWriteAheadLog(db_); rc != SQLITE_OK) return rc;
    }
    executeNonSelectionQuery("PRAGMA synchronous = NORMAL;", db_);
    pageSize_ = getPageSizeInOpenedDatabase(db_, &rc);
    if (rc != SQLITE_OK) return rc;
    if (pageSize_ == 0) {
        ZVTLogError(kZVTLogTag, "Failed to get storage page size.");
        return SQLITE_ERROR;
    }
    // The tables, the hooks and the version are one transaction: another connection opening the
    // same new file at once (a second storage, a second program sharing the folder) waits for it
    // and then finds the tables made, never a file half made.
    if (rc = executeNonSelectionQuery("BEGIN IMMEDIATE;", db_); rc != SQLITE_OK) return rc;
    const uint64_t stored = versionInOpenedDatabase(db_, &rc);
    size_t created = 0;
    if (rc == SQLITE_OK) rc = createTablesWithSchema(schema_, db_, &created);
    if (rc != SQLITE_OK) {
        ZVTLogError(kZVTLogTag, "Failed to create tables with schema with error \"", rc, "\".");
        executeNonSelectionQuery("ROLLBACK;", db_);
        return rc;
    }
    if (created == schema_.size()) {
        ZVTLogInfo(kZVTLogTag, "Created \"", filename_, "\" database with ", version_, " version.");
        customizeDatabase(db_);
    } else if (stored < version_) {
        ZVTLogInfo(kZVTLogTag, "Migrating \"", filename_, "\" database from version ", stored,
                   " to ", version_, ".");
        migrateDatabase(db_, stored);
    }
    setVersion(version_, db_);
    if (rc = executeNonSelectionQuery("COMMIT;", db_); rc != SQLITE_OK) {
        executeNonSelectionQuery("ROLLBACK;", db_);
        return rc;
    }
    if (singleValue("PRAGMA auto_vacuum;", db_, nullptr) != 1) {
        ZVTLogDebug(kZVTLogTag, "Vacuuming database and enabling auto_vacuum");
        executeNonSelectionQuery("PRAGMA auto_vacuum = FULL;", db_);
        executeNonSelectionQuery("VACUUM;", db_);
    }
    if (int capped = setMaxPageCount(filePageLimit(maxSizeInBytes_), db_); capped != SQLITE_OK) {
        return capped;
    }
    limitJournal(maxSizeInBytes_);
    return SQLITE_OK;
}

int64_t ZVTDBStorage::journalPages(int64_t capBytes) const {
    return std::clamp<int64_t>(capBytes / pageSize_ / 8, 1, 1000);
}

int64_t ZVTDBStorage::filePageLimit(int64_t capBytes) const {
    const int64_t damagedPages = (damagedBytes_ + pageSize_ - 1) / pageSize_;
    return std::max<int64_t>(1, capBytes / pageSize_ - journalPages(capBytes) - damagedPages);
}

void ZVTDBStorage::limitJournal(int64_t capBytes) {
    // The write-ahead log is part of the store's disk use: it is folded back into the file once
    // it holds an eighth of the cap, and cut back to that size after each fold.
    const int64_t pages = journalPages(capBytes);
    executeNonSelectionQuery("PRAGMA wal_autocheckpoint = " + std::to_string(pages) + ";", db_);
    executeSelectionQuery("PRAGMA journal_size_limit = " + std::to_string(pages * pageSize_) + ";",
                          db_, nullptr);
}

int ZVTDBStorage::applyPageLimit(int64_t capBytes, sqlite3* db) {
    // The damaged copies may take what the rows leave free, up to a quarter of the cap.
    const int64_t inUse = getPageCountInOpenedDatabase(db) * pageSize_;
    const int64_t free = capBytes - journalPages(capBytes) * pageSize_ - inUse;
    damagedBytes_ =
        ZVTDBDamagedCopies::keepNewest(dbFileURL_, std::clamp<int64_t>(free, 0, capBytes / 4));
    return setMaxPageCount(filePageLimit(capBytes), db);
}

int ZVTDBStorage::executeQueryUsingBlock(const std::function<int(sqlite3*)>& block) {
    ensureInitialized();
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
    ensureInitialized();
    closeConnection();
    if (memoryOnly_) {
        configure();  // a fresh, empty store in memory
        return;
    }
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
        // The file takes the cap less the write-ahead log's share and the kept damaged copies
        // (never fewer pages than it uses).
        if (int rc =
                memoryOnly_ ? setMaxPageCount(pages, db) : applyPageLimit(pages * pageSize_, db);
            rc != SQLITE_OK) {
            ZVTLogError(kZVTLogTag, "Could not change maximum database size to ", sizeInBytes,
                        " bytes. SQLite error code: ", rc);
            return rc;
        }
        const int64_t limit = getMaxPageCountInOpenedDatabase(db);
        const int64_t expected =
            memoryOnly_ ? pages : std::max(filePageLimit(pages * pageSize_), inUse);
        const int64_t actual = pages * pageSize_;
        if (limit != expected) {
            ZVTLogError(kZVTLogTag, "Could not change maximum database size to ", sizeInBytes,
                        " bytes, current maximum size is ", limit * pageSize_, " bytes.");
            return SQLITE_OK;
        }
        // Rounded up to whole pages: the usual 4 KiB page is named as such; a file made with
        // another page size names its own.
        if (actual == sizeInBytes) {
            ZVTLogInfo(kZVTLogTag, "Changed maximum database size to ", actual, " bytes.");
        } else if (pageSize_ == 4096) {
            ZVTLogInfo(kZVTLogTag, "Changed maximum database size to ", actual,
                       " bytes (next multiple of 4KiB).");
        } else {
            ZVTLogInfo(kZVTLogTag, "Changed maximum database size to ", actual,
                       " bytes (next multiple of the ", pageSize_, "-byte page).");
        }
        maxSizeInBytes_ = actual;
        limitJournal(actual);
        ok = true;
        return SQLITE_OK;
    });
    if (completion) completion(ok);
}
