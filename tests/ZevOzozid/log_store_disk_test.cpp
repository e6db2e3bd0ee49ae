// The log store's files on disk: damage, stray items in its place, the cap and file modes.
#include "tests/ZevOzozid/ZVTStorageFixture.h"
#include "tests/support/TmpfsDisk.h"

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <iostream>
#include <map>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using zvt_test::LogCapture;
using zvt_test::makeLog;

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    ::lstat(p.c_str(), &st);
    return st.st_mode & 0777;
}

// Beyond the cap: the WAL index (32 KiB) and the last write's frames in the write-ahead log
// (16 pages with their frame headers, and the log's header).
constexpr int64_t kMargin = 32 * 1024 + 16 * (4096 + 24) + 32;

uintmax_t folderBytes(const fs::path& folder) {
    uintmax_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) total += entry.file_size();
    }
    return total;
}

class LogStoreDiskTest : public ::testing::Test {
  protected:
    std::unique_ptr<ZVTLogDBStorage> open() {
        return std::make_unique<ZVTLogDBStorage>(
            std::make_unique<ZVTEncrypter>(settings.settings()));
    }
    fs::path sdkFolder() const {
        return home.path() / "data" / "dev.gridlark.test" / "dev.gridlark.zevozozid";
    }
    fs::path storeFile() const { return sdkFolder() / "Logs.sqlite"; }
    // The types of every loadable log of group "G", checking that none comes twice.
    static std::vector<std::string> loadAll(ZVTLogDBStorage& store) {
        std::vector<std::string> types;
        store.loadLogsWithGroupId("G", 100000, std::nullopt, [&](const auto& logs, const auto&) {
            for (const auto& log : logs) types.push_back(*log->type());
        });
        EXPECT_EQ(std::set<std::string>(types.begin(), types.end()).size(), types.size());
        return types;
    }
    void fill(int count) {
        auto store = open();
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(store->saveLog(makeLog("log-" + std::to_string(i)), "G", 1));
        }
    }
    // (page number, cells) of every leaf page of the "logs" table, read from the closed file.
    std::vector<std::pair<int64_t, int64_t>> logLeaves() const {
        sqlite3* db = nullptr;
        sqlite3_open_v2(storeFile().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT pageno, ncell FROM dbstat WHERE name = 'logs' AND "
                           "pagetype = 'leaf' ORDER BY pageno",
                           -1, &st, nullptr);
        std::vector<std::pair<int64_t, int64_t>> leaves;
        while (sqlite3_step(st) == SQLITE_ROW) {
            leaves.emplace_back(sqlite3_column_int64(st, 0), sqlite3_column_int64(st, 1));
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        return leaves;
    }
    void overwritePage(int64_t pageno) const {
        std::fstream file(storeFile(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp((pageno - 1) * 4096);
        const std::string junk(4096, '\x5a');
        file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }

    zvt_test::DataHomeFixture home;
    zvt_test::SettingsFixture settings;
};

TEST_F(LogStoreDiskTest, AnOverwrittenPageLosesOnlyItsOwnRowsAndEachCopyIsKept) {
    fill(300);
    const auto leaves = logLeaves();
    ASSERT_GT(leaves.size(), 4u);
    const auto [page, cells] = leaves[leaves.size() / 2];
    overwritePage(page);
    const std::string damaged = testing_support::readAll(storeFile());
    {
        LogCapture log;
        auto store = open();
        EXPECT_EQ(store->configurationResult(), 0);
        EXPECT_EQ(loadAll(*store).size(), static_cast<size_t>(300 - cells));
        EXPECT_EQ(log.count(ZVTLogLevelError, "is damaged"), 1u);
        EXPECT_EQ(testing_support::readAll(sdkFolder() / "Logs.sqlite.corrupt"), damaged);
    }
    // A second damage keeps the first copy as it was.
    const auto again = logLeaves();
    overwritePage(again.front().first);
    {
        auto store = open();
        EXPECT_EQ(loadAll(*store).size(), static_cast<size_t>(300 - cells - again.front().second));
    }
    EXPECT_EQ(testing_support::readAll(sdkFolder() / "Logs.sqlite.corrupt"), damaged);
    EXPECT_TRUE(fs::exists(sdkFolder() / "Logs.sqlite.corrupt-2"));
}

TEST_F(LogStoreDiskTest, ATruncatedFileKeepsTheRowsBeforeTheCut) {
    fill(300);
    const auto leaves = logLeaves();
    const auto size = fs::file_size(storeFile());
    const int64_t keptPages = static_cast<int64_t>(size / 4096 / 2);
    fs::resize_file(storeFile(), static_cast<uintmax_t>(keptPages) * 4096);
    int64_t intact = 0;
    for (const auto& [page, cells] : leaves) {
        if (page <= keptPages) intact += cells;
    }
    ASSERT_GT(intact, 0);
    auto store = open();
    const auto types = loadAll(*store);
    EXPECT_EQ(types.size(), static_cast<size_t>(intact));
    // Each salvaged log is sent once: a second load finds nothing more.
    EXPECT_TRUE(loadAll(*store).empty());
}

TEST_F(LogStoreDiskTest, AStrayItemInThePlaceOfTheStoreNeverStopsTheProgram) {
    struct Stray {
        const char* name;
        std::function<void(const fs::path&)> make;
    };
    std::vector<Stray> strays{
        {"folder", [](const fs::path& p) { fs::create_directories(p / "inside"); }},
        {"dangling link", [](const fs::path& p) { fs::create_symlink(p.string() + ".gone", p); }},
        {"link to a file elsewhere",
         [this](const fs::path& p) {
             std::ofstream(home.path() / "elsewhere") << "not ours";
             fs::create_symlink(home.path() / "elsewhere", p);
         }},
    };
    if (::geteuid() != 0) {  // the superuser opens every file
        strays.push_back({"unreadable file", [](const fs::path& p) {
                              std::ofstream(p) << std::string(8192, 'x');
                              fs::permissions(p, fs::perms::none);
                          }});
    }
    for (const auto& stray : strays) {
        std::error_code ec;
        fs::remove_all(sdkFolder(), ec);
        fs::create_directories(sdkFolder());
        stray.make(storeFile());
        LogCapture log;
        auto store = open();
        EXPECT_EQ(store->configurationResult(), 0) << stray.name;
        EXPECT_FALSE(store->isMemoryOnly()) << stray.name;
        EXPECT_TRUE(store->saveLog(makeLog("kept"), "G", 1)) << stray.name;
        EXPECT_EQ(loadAll(*store), std::vector<std::string>{"kept"}) << stray.name;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(storeFile()))) << stray.name;
        EXPECT_EQ(log.count(ZVTLogLevelError, "cannot be opened"), 1u) << stray.name;
    }
    EXPECT_EQ(testing_support::readAll(home.path() / "elsewhere"), "not ours");
}

TEST_F(LogStoreDiskTest, WithoutAUsableFolderTheStoreLivesInMemoryForTheRun) {
    fs::create_directories(sdkFolder().parent_path());
    std::ofstream(sdkFolder()) << "a file where the SDK folder belongs";
    LogCapture log;
    auto store = open();
    EXPECT_EQ(store->configurationResult(), 0);
    EXPECT_TRUE(store->isMemoryOnly());
    EXPECT_EQ(log.count(ZVTLogLevelError, "memory for this run only"), 1u);
    EXPECT_TRUE(store->saveLog(makeLog("in memory"), "G", 1));
    EXPECT_EQ(loadAll(*store), std::vector<std::string>{"in memory"});
}

TEST_F(LogStoreDiskTest, TheCapBoundsTheWholeFolder) {
    constexpr int64_t kCap = 32 * 1024;
    auto store = open();
    bool ok = false;
    store->setMaxStorageSize(kCap, [&](bool r) { ok = r; });
    ASSERT_TRUE(ok);
    uintmax_t peak = 0;
    for (int i = 0; i < 3000; ++i) {
        store->saveLog(makeLog("log-" + std::to_string(i)), "G", 1);
        if (i % 50 == 0) peak = std::max(peak, folderBytes(sdkFolder()));
    }
    const uintmax_t last = folderBytes(sdkFolder());
    peak = std::max(peak, last);
    RecordProperty("peak_folder_bytes", std::to_string(peak));
    RecordProperty("final_folder_bytes", std::to_string(last));
    EXPECT_LE(peak, static_cast<uintmax_t>(kCap + kMargin)) << peak;
}

// At the default cap the folder holds the file, its write-ahead log and index, and the kept
// damaged copies within the cap and a small margin (the index and one write): a small damaged
// copy is kept and the file's share shrinks for it; the copy of a damaged full store gives way to
// the rows it still held; of repeated damage only the newest two copies stay.
TEST_F(LogStoreDiskTest, AtTheCapTheFolderHoldsItsDamagedCopiesToo) {
    constexpr int64_t kCap = ZVTDBStorage::kDefaultMaxSizeInBytes;
    const std::string padding(3000, 'p');
    auto save = [&](ZVTLogDBStorage& store, int count, const std::string& tag) {
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(store.saveLog(makeLog(tag + std::to_string(i) + padding), "G", 1));
        }
    };
    struct Case {
        const char* name;
        int logsBeforeDamage;  // 3000 fill the cap
        int damages;
        bool copyKept;
    };
    for (const Case& c : {Case{"small store, damaged three times", 100, 3, true},
                          Case{"full store, damaged once", 3000, 1, false}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(sdkFolder());
        save(*open(), c.logsBeforeDamage, "before-");
        for (int d = 0; d < c.damages; ++d) {
            const auto leaves = logLeaves();
            ASSERT_GT(leaves.size(), 2u);
            overwritePage(leaves[leaves.size() / 2].first);
            open();  // finds the damage, keeps a copy, salvages the rest
        }
        auto store = open();
        EXPECT_EQ(store->configurationResult(), 0);
        uintmax_t peak = 0;
        for (int round = 0; round < 40; ++round) {
            save(*store, 100, "after-" + std::to_string(round) + "-");
            peak = std::max(peak, folderBytes(sdkFolder()));
        }
        size_t copies = 0;
        uintmax_t copyBytes = 0;
        for (const auto& entry : fs::directory_iterator(sdkFolder())) {
            const std::string name = entry.path().filename().string();
            if (name.find(".corrupt") == std::string::npos) continue;
            copies +=
                name.find("-wal") == std::string::npos && name.find("-shm") == std::string::npos;
            copyBytes += entry.file_size();
        }
        std::cout << c.name << ": folder peak " << peak << " bytes at a cap of " << kCap << ", "
                  << copies << " damaged copies of " << copyBytes << " bytes\n";
        RecordProperty(std::string(c.name) + " peak_folder_bytes", std::to_string(peak));
        EXPECT_EQ(copies, c.copyKept ? 2u : 0u);
        EXPECT_LE(peak, static_cast<uintmax_t>(kCap + kMargin)) << peak;
    }
}

// A full disk is not the cap: no stored log is evicted for it. The logs the disk has no room
// for wait in memory, the newest 100 of them, and go into the store once it has room again, in
// the order they came; the older ones are given up, each told so. On a real full tmpfs.
TEST_F(LogStoreDiskTest, AFullDiskEvictsNothingAndStoresTheNewestLogsWhenRoomReturns) {
    testing_support::TmpfsDisk disk(sdkFolder(), 2 * 1024 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << disk.whyNot();
    auto store = open();
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(store->saveLog(makeLog("before-" + std::to_string(i)), "G", 1));
    ASSERT_TRUE(disk.fill());
    LogCapture log;
    std::vector<std::string> types;
    std::map<std::string, bool> told;  // what each held log's handler heard
    for (int i = 0; i < 200; ++i) {
        const std::string type = "full-" + std::to_string(i);
        types.push_back(type);
        const ZVTSaveResult result = store->saveLogOrHold(
            makeLog(type), "G", 1, [&told, type](bool stored) { told[type] = stored; });
        if (result == ZVTSaveResult::Stored) told[type] = true;
        ASSERT_NE(result, ZVTSaveResult::NotSaved) << type;
    }
    EXPECT_EQ(store->heldLogCount(), ZVTLogDBStorage::kMaxHeldLogs);
    EXPECT_EQ(log.count(ZVTLogLevelError, "disk full"), 1u);
    EXPECT_EQ(log.count(ZVTLogLevelError, "Deletion of log(s)"), 0u);
    EXPECT_EQ(log.count(ZVTLogLevelDebug, "to store a new log"), 0u);

    fs::remove(sdkFolder() / "filler");
    EXPECT_EQ(store->storeHeldLogs(), 0u);
    const auto loaded = loadAll(*store);
    std::vector<std::string> expected;
    for (int i = 0; i < 50; ++i) expected.push_back("before-" + std::to_string(i));
    for (const auto& type : types) {
        if (told.count(type) && told[type]) expected.push_back(type);
    }
    EXPECT_EQ(loaded, expected);
    // The newest 100 are among them; the given-up ones are the oldest that did not fit.
    for (size_t i = types.size() - ZVTLogDBStorage::kMaxHeldLogs; i < types.size(); ++i) {
        EXPECT_TRUE(told.count(types[i]) && told[types[i]]) << types[i];
    }
    EXPECT_EQ(told.size(), types.size());
}

TEST_F(LogStoreDiskTest, OnlyTheOwnerMayReadTheStore) {
    // As an earlier version left them: a folder and a file for everyone to read.
    fs::create_directories(sdkFolder());
    fs::permissions(sdkFolder(), static_cast<fs::perms>(0755), fs::perm_options::replace);
    fill(1);
    fs::permissions(storeFile(), static_cast<fs::perms>(0644), fs::perm_options::replace);
    ZVTUtility::resetZevOzozidDirectory();
    auto store = open();
    ASSERT_TRUE(store->saveLog(makeLog("private"), "G", 1));
    EXPECT_EQ(modeOf(sdkFolder()), 0700u);
    for (const char* name : {"Logs.sqlite", "Logs.sqlite-wal", "Logs.sqlite-shm"}) {
        ASSERT_TRUE(fs::exists(sdkFolder() / name)) << name;
        EXPECT_EQ(modeOf(sdkFolder() / name), 0600u) << name;
    }
}

TEST_F(LogStoreDiskTest, ANewFolderAndStoreArePrivateFromTheStart) {
    ::umask(022);
    auto store = open();
    ASSERT_TRUE(store->saveLog(makeLog("private"), "G", 1));
    EXPECT_EQ(modeOf(sdkFolder()), 0700u);
    EXPECT_EQ(modeOf(storeFile()), 0600u);
}

}  // namespace
