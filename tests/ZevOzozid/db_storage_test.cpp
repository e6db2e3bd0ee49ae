#include "tests/ZevOzozid/ZVTStorageFixture.h"

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

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

// Sets the size cap; the storage's answer.
bool capTo(CountingStorage& s, int64_t bytes) {
    bool answer = false;
    s.setMaxStorageSize(bytes, [&](bool ok) { answer = ok; });
    return answer;
}

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

// The cap is taken up to whole pages of the store's file: SQLite's usual 4 KiB page, or the page
// of a file made with another size, which it keeps; the log names the page it rounded to.
TEST(ZVTDBStorage, SizeCapInWholePages) {
    struct Case {
        int64_t page;
        int64_t roundedUp;  // 10,000 bytes in whole pages
        const char* rounding;
    };
    for (const Case& c : {Case{4096, 12288, "(next multiple of 4KiB)."},
                          Case{1024, 10240, "(next multiple of the 1024-byte page)."}}) {
        SCOPED_TRACE(c.page);
        zvt_test::DataHomeFixture home;
        if (c.page != 4096) {
            const auto url = ZVTUtility::fullURLForPathComponent("Test.sqlite");
            ASSERT_TRUE(url);
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(url->c_str(), &db), SQLITE_OK);
            const std::string make =
                "PRAGMA page_size = " + std::to_string(c.page) + "; CREATE TABLE made (x);";
            EXPECT_EQ(sqlite3_exec(db, make.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        CountingStorage s(1);
        ASSERT_EQ(s.pageSize(), c.page);
        LogCapture log;
        EXPECT_TRUE(capTo(s, 10000));
        EXPECT_EQ(s.maxSizeInBytes(), c.roundedUp);
        EXPECT_EQ(
            log.count(ZVTLogLevelInfo, "Changed maximum database size to " +
                                           std::to_string(c.roundedUp) + " bytes " + c.rounding),
            1u);
        EXPECT_TRUE(capTo(s, 16384));
        EXPECT_EQ(log.count(ZVTLogLevelInfo, "Changed maximum database size to 16384 bytes."), 1u);
        // The new file already uses three pages (schema, table, auto-vacuum map).
        EXPECT_FALSE(capTo(s, 2 * c.page));
        EXPECT_EQ(s.maxSizeInBytes(), 16384);
        EXPECT_EQ(log.count(ZVTLogLevelWarning, "would cause a loss of data"), 1u);
    }
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

// Two storages of one file opening at once (the SDK's store and a second connection at start, or
// two programs sharing the folder) both find a new file: one makes the tables, the other takes
// them as they are. Neither moves the file aside under the other, and every row lands in one file.
TEST(ZVTDBStorage, StoragesOpeningANewFileAtOnceShareIt) {
    constexpr int kRounds = 30, kStorages = 4;
    for (int round = 0; round < kRounds; ++round) {
        zvt_test::DataHomeFixture home;
        LogCapture log;
        std::atomic<int> ready{0}, customized{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < kStorages; ++i) {
            threads.emplace_back([&, i] {
                ++ready;
                while (ready < kStorages) std::this_thread::yield();
                CountingStorage s(1);
                customized += s.customized;
                ZVTStorageBindableArray v;
                v.addString("storage " + std::to_string(i));
                EXPECT_EQ(s.executeNonSelectionQuery("INSERT INTO \"t\" (\"name\") VALUES (?)", &v),
                          SQLITE_OK);
            });
        }
        for (auto& t : threads) t.join();
        CountingStorage after(1);
        EXPECT_EQ(after.countEntriesForTable("t"), static_cast<uint64_t>(kStorages))
            << "round " << round;
        EXPECT_EQ(customized, 1) << "round " << round;
        for (const auto& line : log.atLevel(ZVTLogLevelError)) ADD_FAILURE() << line.text;
        EXPECT_FALSE(fs::exists(after.dbFileURL().string() + ".corrupt")) << "round " << round;
    }
}

}  // namespace
