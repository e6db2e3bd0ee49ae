#include "tests/ZevOzozid/ZVTStorageFixture.h"

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

namespace {

namespace fs = std::filesystem;
using zvt_test::LogCapture;

// A storage of one table that counts its hooks.
class CountingStorage : public ZVTDBStorage {
  public:
    explicit CountingStorage(uint64_t version)
        : ZVTDBStorage({{"t", {{"id", {"INTEGER", "PRIMARY KEY"}}, {"name", {"TEXT"}}}}}, version,
                       "Test.sqlite") {
        initialize();
    }
    int customized = 0;
    std::vector<uint64_t> migratedFrom;

  protected:
    void customizeDatabase(sqlite3*) override { ++customized; }
    void migrateDatabase(sqlite3*, uint64_t from) override { migratedFrom.push_back(from); }
};

int64_t pragma(CountingStorage& s, const std::string& sql) {
    auto rows = s.executeSelectionQuery(sql);
    return std::get<int64_t>(rows.at(0).at(0));
}

TEST(ZVTDBStorage, NewFileVersionsAndMigration) {
    zvt_test::DataHomeFixture home;
    {
        CountingStorage s(5);
        EXPECT_EQ(s.configurationResult(), 0);
        EXPECT_EQ(s.customized, 1);
        EXPECT_EQ(pragma(s, "PRAGMA user_version"), 5);
        EXPECT_EQ(pragma(s, "PRAGMA auto_vacuum"), 1);
        EXPECT_EQ(s.countEntriesForTable("sqlite_master", "\"name\" = 't'"), 1u);
        EXPECT_EQ(s.dbFileURL(), ZVTUtility::zevOzozidDirectoryURL() / "Test.sqlite");
        EXPECT_EQ(s.maxSizeInBytes(), 10 * 1024 * 1024);
    }
    {
        CountingStorage again(5);
        EXPECT_EQ(again.customized, 0);
        EXPECT_TRUE(again.migratedFrom.empty());
        again.executeNonSelectionQuery("PRAGMA user_version = 3");
    }
    {
        CountingStorage older(5);
        EXPECT_EQ(older.migratedFrom, std::vector<uint64_t>{3});
        EXPECT_EQ(pragma(older, "PRAGMA user_version"), 5);
        older.executeNonSelectionQuery("PRAGMA user_version = 7");
    }
    CountingStorage newer(5);
    EXPECT_TRUE(newer.migratedFrom.empty());
    EXPECT_EQ(pragma(newer, "PRAGMA user_version"), 5);
}

TEST(ZVTDBStorage, SizeCapInWholePages) {
    zvt_test::DataHomeFixture home;
    CountingStorage s(1);
    ASSERT_EQ(s.pageSize(), 4096);
    LogCapture log;
    bool answer = false;
    s.setMaxStorageSize(10000, [&](bool ok) { answer = ok; });
    EXPECT_TRUE(answer);
    EXPECT_EQ(s.maxSizeInBytes(), 12288);
    EXPECT_EQ(log.count(ZVTLogLevelInfo,
                        "Changed maximum database size to 12288 bytes (next multiple of 4KiB)."),
              1u);
    s.setMaxStorageSize(16384, [&](bool ok) { answer = ok; });
    EXPECT_TRUE(answer);
    EXPECT_EQ(log.count(ZVTLogLevelInfo, "Changed maximum database size to 16384 bytes."), 1u);
    // The new file already uses three pages (schema, table, auto-vacuum map).
    s.setMaxStorageSize(8192, [&](bool ok) { answer = ok; });
    EXPECT_FALSE(answer);
    EXPECT_EQ(s.maxSizeInBytes(), 16384);
    EXPECT_EQ(log.count(ZVTLogLevelWarning, "would cause a loss of data"), 1u);
}

// A store file made with another page size keeps it: the cap is rounded to that page, and the
// log names the page it was rounded to.
TEST(ZVTDBStorage, SizeCapNamesTheFilesOwnPageSize) {
    zvt_test::DataHomeFixture home;
    const auto url = ZVTUtility::fullURLForPathComponent("Test.sqlite");
    ASSERT_TRUE(url);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(url->c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA page_size = 1024; CREATE TABLE made (x);", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    CountingStorage s(1);
    ASSERT_EQ(s.pageSize(), 1024);
    LogCapture log;
    bool answer = false;
    s.setMaxStorageSize(10000, [&](bool ok) { answer = ok; });
    EXPECT_TRUE(answer);
    EXPECT_EQ(s.maxSizeInBytes(), 10240);
    EXPECT_EQ(log.count(ZVTLogLevelInfo,
                        "Changed maximum database size to 10240 bytes (next "
                        "multiple of the 1024-byte page)."),
              1u);
    EXPECT_EQ(log.count(ZVTLogLevelInfo, "4KiB"), 0u);
}

TEST(ZVTDBStorage, BindingAndWideIntegers) {
    zvt_test::DataHomeFixture home;
    CountingStorage s(1);
    ZVTStorageBindableArray values;
    values.addNumber((int64_t{1} << 31) + 5);
    values.addString(std::nullopt);
    EXPECT_EQ(
        s.executeNonSelectionQuery("INSERT INTO \"t\" (\"id\", \"name\") VALUES (?, ?)", &values),
        0);
    ZVTStorageBindableArray unset;
    unset.addNumber(std::nullopt);
    unset.addString("it's");
    EXPECT_EQ(
        s.executeNonSelectionQuery("INSERT INTO \"t\" (\"id\", \"name\") VALUES (?, ?)", &unset),
        0);
    auto rows = s.executeSelectionQuery("SELECT \"id\", \"name\" FROM \"t\" ORDER BY \"id\"");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(std::get<int64_t>(rows[0][0]), 0);
    EXPECT_EQ(std::get<std::string>(rows[0][1]), "it's");
    EXPECT_EQ(std::get<int64_t>(rows[1][0]), (int64_t{1} << 31) + 5);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(rows[1][1]));
    EXPECT_EQ(
        ZVTDBStorage::columnsQueryFromColumnsSchema({{"log", {"TEXT", "NOT NULL"}}, {"n", {}}}),
        "\"log\" TEXT NOT NULL, \"n\"");
}

TEST(ZVTDBStorage, DamagedFilesAreMovedAsideAndRebuilt) {
    zvt_test::DataHomeFixture home;
    fs::path file;
    std::string good;
    {
        CountingStorage s(1);
        file = s.dbFileURL();
        for (int i = 0; i < 200; ++i) {
            ZVTStorageBindableArray v;
            v.addString(std::string(300, 'x'));
            s.executeNonSelectionQuery("INSERT INTO \"t\" (\"name\") VALUES (?)", &v);
        }
        s.executeNonSelectionQuery("PRAGMA wal_checkpoint(TRUNCATE);");
    }
    good = testing_support::readAll(file);
    struct Case {
        const char* name;
        std::string bytes;
        bool rowsKept;  // the readable rows before the damage are copied over
    };
    const std::vector<Case> cases = {
        {"garbage", std::string(8192, 'g'), false},
        {"truncated", good.substr(0, good.size() / 2), true},
        {"bad header", "SQLite format 3" + std::string(4096, '\xff'), false},
    };
    for (const auto& [name, bytes, rowsKept] : cases) {
        fs::remove(fs::path(file.string() + ".corrupt"));
        testing_support::TempDir scratch;
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        LogCapture log;
        CountingStorage s(1);
        EXPECT_EQ(s.configurationResult(), 0) << name;
        EXPECT_EQ(s.customized, 1) << name;
        const uint64_t rows = s.countEntriesForTable("t");
        if (rowsKept) {
            EXPECT_GT(rows, 50u) << name;
            EXPECT_LT(rows, 200u) << name;
        } else {
            EXPECT_EQ(rows, 0u) << name;
        }
        EXPECT_TRUE(fs::exists(file.string() + ".corrupt")) << name;
        EXPECT_EQ(log.count(ZVTLogLevelError, "is damaged"), 1u) << name;
    }
    // An empty file is simply a new store.
    { std::ofstream(file, std::ios::trunc); }
    CountingStorage empty(1);
    EXPECT_EQ(empty.configurationResult(), 0);
    EXPECT_EQ(empty.customized, 1);
}

}  // namespace
