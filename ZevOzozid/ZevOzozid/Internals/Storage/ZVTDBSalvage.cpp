#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTDBSalvage.h"

#include <limits>
#include <string>
#include <vector>

namespace {

struct StatementCloser {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

Statement prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return Statement(statement);
}

std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

// One table: reads rows in row-id order from a lower bound, copying each.
class TableCopy {
  public:
    TableCopy(sqlite3* source, sqlite3* target, const std::string& table,
              const std::vector<ZVTDBColumn>& columns) {
        std::string names, marks;
        for (const auto& column : columns) {
            if (!names.empty()) {
                names += ", ";
                marks += ", ";
            }
            names += quoted(column.name);
            marks += "?";
        }
        columnCount_ = static_cast<int>(columns.size());
        read_ = prepare(source, "SELECT rowid, " + names + " FROM " + quoted(table) +
                                    " WHERE rowid >= ? ORDER BY rowid");
        write_ = prepare(target, "INSERT OR IGNORE INTO " + quoted(table) + " (rowid, " + names +
                                     ") VALUES (?, " + marks + ")");
    }

    bool usable() const { return read_ && write_; }
    bool full() const { return full_; }
    uint64_t copied() const { return copied_; }

    // Reads from `from` on. False when not even the first step succeeds (the seek lands on a
    // damaged page); otherwise `last` is the last row id read (or unchanged when there was none)
    // and `finished` tells whether the scan reached the end cleanly.
    bool scanFrom(int64_t from, int64_t& last, bool& finished) {
        sqlite3_reset(read_.get());
        sqlite3_bind_int64(read_.get(), 1, from);
        finished = false;
        bool first = true;
        while (!full_) {
            const int rc = sqlite3_step(read_.get());
            if (rc == SQLITE_DONE) {
                finished = true;
                return true;
            }
            if (rc != SQLITE_ROW) return !first;
            const int64_t rowid = sqlite3_column_int64(read_.get(), 0);
            // Damage can show as rows out of order: treat it as the end of the readable run.
            if (rowid < from || (!first && rowid <= last)) return !first;
            first = false;
            last = rowid;
            copy();
        }
        return true;
    }

    // Whether a scan from `from` can take its first step.
    bool seeksFrom(int64_t from) {
        sqlite3_reset(read_.get());
        sqlite3_bind_int64(read_.get(), 1, from);
        const int rc = sqlite3_step(read_.get());
        return rc == SQLITE_ROW || rc == SQLITE_DONE;
    }

  private:
    void copy() {
        sqlite3_stmt* w = write_.get();
        sqlite3_reset(w);
        sqlite3_clear_bindings(w);
        for (int i = 0; i <= columnCount_; ++i) {
            sqlite3_bind_value(w, i + 1, sqlite3_column_value(read_.get(), i));
        }
        const int rc = sqlite3_step(w);
        if (rc == SQLITE_DONE && sqlite3_changes(sqlite3_db_handle(w)) > 0) ++copied_;
        if (rc == SQLITE_FULL) full_ = true;
    }

    Statement read_, write_;
    int columnCount_ = 0;
    uint64_t copied_ = 0;
    bool full_ = false;
};

// The smallest lower bound after `after` from which a scan can start: doubling steps until one
// can, then halving back between the last bound that could not and the first that could.
// Nothing when no bound up to the largest row id can.
std::optional<int64_t> nextReadableBound(TableCopy& copy, int64_t after) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t failing = after;
    int64_t step = 1;
    int64_t bound = 0;
    while (true) {
        if (failing > kMax - step) return std::nullopt;
        bound = failing + step;
        if (copy.seeksFrom(bound)) break;
        failing = bound;
        if (step < kMax / 2) step *= 2;
    }
    while (bound - failing > 1) {
        const int64_t middle = failing + (bound - failing) / 2;
        if (copy.seeksFrom(middle))
            bound = middle;
        else
            failing = middle;
    }
    return bound;
}

}  // namespace

uint64_t ZVTDBSalvage::copyReadableRows(const std::filesystem::path& damaged,
                                        const ZVTDBSchema& schema, sqlite3* target) {
    sqlite3* source = nullptr;
    if (sqlite3_open_v2(damaged.c_str(), &source, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close_v2(source);
        return 0;
    }
    // Lets SQLite read a file shorter than its header says (a truncated file) up to its end
    // instead of refusing it whole. Nothing is written through this connection.
    sqlite3_exec(source, "PRAGMA writable_schema = ON;", nullptr, nullptr, nullptr);
    uint64_t copied = 0;
    sqlite3_exec(target, "BEGIN;", nullptr, nullptr, nullptr);
    for (const auto& [table, columns] : schema) {
        TableCopy copy(source, target, table, columns);
        if (!copy.usable()) continue;
        int64_t last = std::numeric_limits<int64_t>::min();
        bool finished = false;
        std::optional<int64_t> from = last;
        while (from && !copy.full()) {
            const int64_t before = last;
            if (!copy.scanFrom(*from, last, finished) || last == before) {
                if (finished) break;
                from = nextReadableBound(copy, std::max(*from, before));
                continue;
            }
            if (finished) break;
            from = nextReadableBound(copy, last);
        }
        copied += copy.copied();
    }
    sqlite3_exec(target, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close_v2(source);
    return copied;
}
