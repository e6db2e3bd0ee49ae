#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTStorageBindable.h"

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ZVTDBColumn {
    std::string name;
    std::vector<std::string> constraints;  // "INTEGER", "PRIMARY KEY", "NOT NULL", ...
};
// Table name, then its columns in order.
using ZVTDBSchema = std::vector<std::pair<std::string, std::vector<ZVTDBColumn>>>;

// A thin layer over one SQLite file below the SDK folder: tables from a schema, a version in
// the file's user_version, a size cap as a page limit, auto-vacuum. One connection is kept for
// the storage's life, in WAL mode with synchronous=NORMAL (a committed write survives a killed
// process) and a busy time-out, so a second process waits instead of failing. The cap bounds
// the whole folder: the write-ahead log is checkpointed at an eighth of the cap and cut back to
// that size, the kept damaged copies (below) count too, and the file's page limit is what they
// leave (never below the pages it uses), so the files together stay within the cap plus the WAL
// index and one write. The file and its side files are readable by their owner only.
// A file that is not a database or is corrupt is moved aside as "<name>.corrupt" (or
// "<name>.corrupt-2", "-3", ..., never overwriting an earlier copy; with its WAL files), a fresh
// one is made and every row that can still be read is copied into it. Then only the newest two
// copies are kept, within what the rows leave free of the cap and at most a quarter of it. Anything
// else in the file's place that cannot be opened (a folder, a link, an unreadable file) is moved
// aside the same way; when no file can be kept, the storage lives in memory for the run (an ERROR
// line). Nothing throws. Not locked: callers run every call on one serial queue.
class ZVTDBStorage {
  public:
    static constexpr int64_t kDefaultMaxSizeInBytes = 10 * 1024 * 1024;
    static constexpr int kBusyTimeoutMs = 5000;

    ZVTDBStorage(ZVTDBSchema schema, uint64_t version, std::string filename);
    virtual ~ZVTDBStorage();
    ZVTDBStorage(const ZVTDBStorage&) = delete;
    ZVTDBStorage& operator=(const ZVTDBStorage&) = delete;

    // Runs block with the open database; its code, or the open error, or 1 when unconfigured.
    int executeQueryUsingBlock(const std::function<int(sqlite3*)>& block);
    int executeNonSelectionQuery(const std::string& sql,
                                 const ZVTStorageBindableArray* values = nullptr);
    std::vector<ZVTDBRow> executeSelectionQuery(const std::string& sql,
                                                const ZVTStorageBindableArray* values = nullptr);
    uint64_t countEntriesForTable(const std::string& table, const std::string& condition = "",
                                  const ZVTStorageBindableArray* values = nullptr);
    // Table and file upkeep, kept with the storage's other helpers; nothing in the program calls
    // these three yet (tables are made from the schema at open).
    bool createTable(const std::string& table, const std::vector<ZVTDBColumn>& columns);
    bool dropTable(const std::string& table);
    // Closes the connection and deletes the file with its WAL files.
    void dropDatabase();
    // Caps the file; below the pages in use it is refused. The handler runs before returning.
    void setMaxStorageSize(int64_t sizeInBytes, const std::function<void(bool)>& completion);

    int64_t pageSize() const { return pageSize_; }
    int64_t maxSizeInBytes() const { return maxSizeInBytes_; }
    const std::filesystem::path& dbFileURL() const { return dbFileURL_; }

    // Statement helpers on an open database.
    static int executeQuery(const std::string& sql, sqlite3* db,
                            const ZVTStorageBindableArray* values,
                            const std::function<int(sqlite3_stmt*)>& block);
    static int executeNonSelectionQuery(const std::string& sql, sqlite3* db,
                                        const ZVTStorageBindableArray* values = nullptr);
    static std::vector<ZVTDBRow> executeSelectionQuery(const std::string& sql, sqlite3* db,
                                                       const ZVTStorageBindableArray* values,
                                                       int* result = nullptr);
    static bool tableExists(const std::string& table, sqlite3* db, int* result = nullptr);
    static uint64_t versionInOpenedDatabase(sqlite3* db, int* result);
    static int setVersion(uint64_t version, sqlite3* db);
    static int64_t getPageSizeInOpenedDatabase(sqlite3* db, int* result = nullptr);
    static int64_t getPageCountInOpenedDatabase(sqlite3* db, int* result = nullptr);
    static int64_t getMaxPageCountInOpenedDatabase(sqlite3* db, int* result = nullptr);
    static int setMaxPageCount(int64_t pages, sqlite3* db);
    static std::string columnsQueryFromColumnsSchema(const std::vector<ZVTDBColumn>& columns);
    static std::map<std::string, std::map<std::string, size_t>> columnsIndexes(
        const ZVTDBSchema& schema);
    // Makes the schema's tables that are missing; created (when given) is how many it made.
    static int createTablesWithSchema(const ZVTDBSchema& schema, sqlite3* db,
                                      size_t* created = nullptr);

    // For tests:
    // The code of the last configuration (0 when the storage is usable).
    int configurationResult() const { return configurationResult_; }
    // True when no file could be kept and the data lives in memory for this run.
    bool isMemoryOnly() const { return memoryOnly_; }

    // Opens (or makes, or salvages) the file now unless that was done; every operation calls it
    // first. For a storage made to open later, on the serial queue that runs its calls.
    void ensureInitialized() {
        if (!initialized_) initialize();
    }

  protected:
    // Subclasses call this at the end of their constructor, so the hooks reach them, or leave it
    // to the first operation (ensureInitialized); those call pinFileURL first, so the file opened
    // later is the one of the SDK folder as it is now.
    void initialize();
    void pinFileURL();
    // A statement of the kept connection prepared once and reused (reset, bindings cleared);
    // for statements run at every save. Same result codes as executeNonSelectionQuery.
    int executeCachedNonSelectionQuery(sqlite3* db, const std::string& sql,
                                       const ZVTStorageBindableArray& values);
    virtual void customizeDatabase(sqlite3* /*db*/) {}
    virtual void migrateDatabase(sqlite3* /*db*/, uint64_t /*fromVersion*/) {}
    const ZVTDBSchema& schema() const { return schema_; }

  private:
    int configure();
    int openConnection();
    void closeConnection();
    // The new name of the file, or nothing when it could not be moved.
    std::optional<std::filesystem::path> moveAside();
    void restrictFileModes() const;
    // Pages of the write-ahead log's share of a cap, and the pages left for the file.
    int64_t journalPages(int64_t capBytes) const;
    int64_t filePageLimit(int64_t capBytes) const;
    void limitJournal(int64_t capBytes);
    // Keeps the damaged copies that fit the cap, then sets the file's page limit.
    int applyPageLimit(int64_t capBytes, sqlite3* db);

    ZVTDBSchema schema_;
    uint64_t version_;
    std::string filename_;
    std::filesystem::path dbFileURL_;
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> cachedStatements_;
    int64_t pageSize_ = 0;
    int64_t maxSizeInBytes_ = kDefaultMaxSizeInBytes;
    int64_t damagedBytes_ = 0;  // of the damaged copies kept beside the file
    int configurationResult_ = SQLITE_ERROR;
    bool initialized_ = false;
    std::optional<std::filesystem::path> pinnedURL_;
    bool memoryOnly_ = false;
};
