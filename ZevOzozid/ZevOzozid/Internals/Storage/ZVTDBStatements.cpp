// The statement helpers of ZVTDBStorage: they work on a database that is already open.
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

namespace {

ZVTDBValue columnValue(sqlite3_stmt* statement, int index) {
    switch (sqlite3_column_type(statement, index)) {
        case SQLITE_NULL:
            return std::monostate{};
        case SQLITE_INTEGER:
            return static_cast<int64_t>(sqlite3_column_int64(statement, index));
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
            return std::string(text ? text : "",
                               static_cast<size_t>(sqlite3_column_bytes(statement, index)));
        }
        default:
            ZVTLogError(kZVTLogTag, "Could not retrieve column value at index ", index,
                        " from statement: unknown type ", sqlite3_column_type(statement, index),
                        ".");
            return std::monostate{};
    }
}

}  // namespace

int ZVTDBStorage::executeQuery(const std::string& sql, sqlite3* db,
                               const ZVTStorageBindableArray* values,
                               const std::function<int(sqlite3_stmt*)>& block) {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr);
    if (rc != SQLITE_OK) {
        ZVTLogError(kZVTLogTag, "Failed to prepare SQLite statement, result=", rc, "\n\t",
                    sqlite3_errmsg(db));
        sqlite3_finalize(statement);
        return rc;
    }
    if (values) rc = values->bindAllValuesWithStatement(statement, db);
    if (rc == SQLITE_OK) rc = block(statement);
    sqlite3_finalize(statement);
    return rc;
}

int ZVTDBStorage::executeNonSelectionQuery(const std::string& sql, sqlite3* db,
                                           const ZVTStorageBindableArray* values) {
    return executeQuery(sql, db, values, [db](sqlite3_stmt* statement) {
        int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE || rc == SQLITE_ROW) return SQLITE_OK;
        if (rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB) {
            ZVTLogError(kZVTLogTag, "A database file is corrupted, result=", rc, "\n\t",
                        sqlite3_errmsg(db));
        } else if (rc == SQLITE_FULL) {
            ZVTLogDebug(kZVTLogTag, "Query failed with error: ", rc, "\n\t", sqlite3_errmsg(db));
        } else {
            ZVTLogError(kZVTLogTag, "Could not execute the statement, result=", rc, "\n\t",
                        sqlite3_errmsg(db));
        }
        return rc;
    });
}

std::vector<ZVTDBRow> ZVTDBStorage::executeSelectionQuery(const std::string& sql, sqlite3* db,
                                                          const ZVTStorageBindableArray* values,
                                                          int* result) {
    std::vector<ZVTDBRow> rows;
    int rc = executeQuery(sql, db, values, [&](sqlite3_stmt* statement) {
        int step;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            const int columns = sqlite3_column_count(statement);
            if (columns == 0) continue;
            ZVTDBRow row;
            for (int i = 0; i < columns; ++i) row.push_back(columnValue(statement, i));
            rows.push_back(std::move(row));
        }
        if (step == SQLITE_DONE) return SQLITE_OK;
        ZVTLogError(kZVTLogTag, "Query failed with error: ", step, "\n\t", sqlite3_errmsg(db));
        return step;
    });
    if (result) *result = rc;
    return rows;
}

bool ZVTDBStorage::tableExists(const std::string& table, sqlite3* db, int* result) {
    ZVTStorageBindableArray values;
    values.addString(table);
    int rc = SQLITE_OK;
    auto rows = executeSelectionQuery(
        "SELECT COUNT(*) FROM \"sqlite_master\" WHERE \"type\"='table' AND \"name\"=?;", db,
        &values, &rc);
    if (result) *result = rc;
    if (rows.empty() || rows[0].empty()) return false;
    const auto* n = std::get_if<int64_t>(&rows[0][0]);
    return n && *n != 0;
}

uint64_t ZVTDBStorage::versionInOpenedDatabase(sqlite3* db, int* result) {
    int rc = SQLITE_OK;
    auto rows = executeSelectionQuery("PRAGMA user_version", db, nullptr, &rc);
    if (result) *result = rc;
    if (rows.empty() || rows[0].empty()) return 0;
    const auto* n = std::get_if<int64_t>(&rows[0][0]);
    return n ? static_cast<uint64_t>(*n) : 0;
}

int ZVTDBStorage::setVersion(uint64_t version, sqlite3* db) {
    return executeNonSelectionQuery("PRAGMA user_version = " + std::to_string(version), db);
}

namespace {
int64_t pragmaNumber(const char* sql, sqlite3* db, int* result) {
    int rc = SQLITE_OK;
    auto rows = ZVTDBStorage::executeSelectionQuery(sql, db, nullptr, &rc);
    if (result) *result = rc;
    if (rows.empty() || rows[0].empty()) return 0;
    const auto* n = std::get_if<int64_t>(&rows[0][0]);
    return n ? *n : 0;
}
}  // namespace

int64_t ZVTDBStorage::getPageSizeInOpenedDatabase(sqlite3* db, int* result) {
    return pragmaNumber("PRAGMA page_size;", db, result);
}

int64_t ZVTDBStorage::getPageCountInOpenedDatabase(sqlite3* db, int* result) {
    return pragmaNumber("PRAGMA page_count;", db, result);
}

int64_t ZVTDBStorage::getMaxPageCountInOpenedDatabase(sqlite3* db, int* result) {
    return pragmaNumber("PRAGMA max_page_count;", db, result);
}

int ZVTDBStorage::setMaxPageCount(int64_t pages, sqlite3* db) {
    int rc = SQLITE_OK;
    pragmaNumber(("PRAGMA max_page_count = " + std::to_string(pages)).c_str(), db, &rc);
    return rc;
}

std::string ZVTDBStorage::columnsQueryFromColumnsSchema(const std::vector<ZVTDBColumn>& columns) {
    std::string out;
    for (const auto& column : columns) {
        if (!out.empty()) out += ", ";
        out += "\"" + column.name + "\"";
        for (const auto& word : column.constraints) out += " " + word;
    }
    return out;
}

std::map<std::string, std::map<std::string, size_t>> ZVTDBStorage::columnsIndexes(
    const ZVTDBSchema& schema) {
    std::map<std::string, std::map<std::string, size_t>> out;
    for (const auto& [table, columns] : schema) {
        for (size_t i = 0; i < columns.size(); ++i) out[table][columns[i].name] = i;
    }
    return out;
}

int ZVTDBStorage::createTablesWithSchema(const ZVTDBSchema& schema, sqlite3* db, size_t* created) {
    std::vector<std::string> statements;
    for (const auto& [table, columns] : schema) {
        int rc = SQLITE_OK;
        if (tableExists(table, db, &rc)) continue;
        if (rc != SQLITE_OK) return rc;
        statements.push_back("CREATE TABLE \"" + table + "\" (" +
                             columnsQueryFromColumnsSchema(columns) + ");");
    }
    for (const auto& sql : statements) {
        if (int rc = executeNonSelectionQuery(sql, db); rc != SQLITE_OK) return rc;
    }
    if (created) *created = statements.size();
    return SQLITE_OK;
}
