#include "tests/ZevOzozid/ZVTStorageFixture.h"

#include "platform/Crypto.h"

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using zvt_test::LogCapture;
using zvt_test::makeLog;

class LogStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { zvt_test::TokenLog::registerClass(); }
    std::unique_ptr<ZVTLogDBStorage> open() {
        return std::make_unique<ZVTLogDBStorage>(
            std::make_unique<ZVTEncrypter>(settings.settings()));
    }
    struct Batch {
        std::vector<std::shared_ptr<ZVTLog>> logs;
        std::optional<std::string> id;
        bool more = false;
    };
    static Batch load(ZVTLogDBStorage& store, const std::string& group, uint64_t limit,
                      std::optional<std::vector<std::string>> excluded = std::nullopt) {
        Batch b;
        b.more = store.loadLogsWithGroupId(group, limit, excluded,
                                           [&](const auto& logs, const auto& id) {
                                               b.logs = logs;
                                               b.id = id;
                                           });
        return b;
    }
    static std::vector<std::string> types(const Batch& b) {
        std::vector<std::string> out;
        for (const auto& l : b.logs) out.push_back(*l->type());
        return out;
    }
    static std::shared_ptr<zvt_test::TokenLog> tokenLog(const std::string& type,
                                                        const std::string& token) {
        auto log = std::make_shared<zvt_test::TokenLog>();
        log->setType(type);
        log->setTimestamp(ZVTDate(std::chrono::milliseconds(1)));
        log->setDevice(zvt_test::storedDevice());
        log->addTransmissionTargetToken(token);
        return log;
    }

    zvt_test::DataHomeFixture home;
    zvt_test::SettingsFixture settings;
};

TEST_F(LogStoreTest, LoadsByPriorityThenAgeInDisjointBatches) {
    auto store = open();
    ASSERT_TRUE(store->saveLog(makeLog("a"), "G", 1));
    ASSERT_TRUE(store->saveLog(makeLog("b"), "G", 2));
    ASSERT_TRUE(store->saveLog(makeLog("c"), "G", 1 | 0x100));
    ASSERT_TRUE(store->saveLog(makeLog("other"), "H", 2));
    EXPECT_FALSE(store->saveLog(nullptr, "G", 1));
    EXPECT_EQ(store->countLogs(), 4u);

    auto first = load(*store, "G", 2);
    EXPECT_EQ(types(first), (std::vector<std::string>{"b", "a"}));
    EXPECT_TRUE(first.more);
    ASSERT_TRUE(first.id);
    EXPECT_TRUE(first.logs[0]->isEqual(*makeLog("b")));
    auto second = load(*store, "G", 2);
    EXPECT_EQ(types(second), (std::vector<std::string>{"c"}));
    EXPECT_FALSE(second.more);
    store->deleteLogsWithBatchId(*first.id, "G");
    EXPECT_EQ(store->countLogs(), 2u);
    EXPECT_TRUE(load(*store, "G", 10).logs.empty());

    // Batches live in memory only: after a restart every stored log loads again.
    store = open();
    EXPECT_EQ(types(load(*store, "G", 10)), (std::vector<std::string>{"c"}));

    auto none = load(*store, "H", 0);
    EXPECT_TRUE(none.logs.empty());
    EXPECT_FALSE(none.id);
    EXPECT_TRUE(none.more);
}

TEST_F(LogStoreTest, TokensAreStoredEncryptedAndExcludedKeysSkipped) {
    auto store = open();
    store->saveLog(tokenLog("t1", "keyone-secret-token"), "G/one", 1);
    store->saveLog(tokenLog("t2", "keytwo-secret-token"), "G/one", 1);
    store->saveLog(makeLog("plain"), "G/one", 1);
    auto all = load(*store, "G/one", 10, std::vector<std::string>{"keyone"});
    EXPECT_EQ(types(all), (std::vector<std::string>{"t2", "plain"}));
    EXPECT_EQ(*all.logs[0]->transmissionTargetTokens(),
              std::set<std::string>{"keytwo-secret-token"});
    store->executeNonSelectionQuery("PRAGMA wal_checkpoint(TRUNCATE);");
    const std::string file = testing_support::readAll(store->dbFileURL());
    EXPECT_EQ(file.find("secret-token"), std::string::npos);
    EXPECT_NE(file.find("keytwo"), std::string::npos);  // the target key is kept in clear
}

TEST_F(LogStoreTest, DamagedRowsAndTokensAreHandledRowByRow) {
    auto store = open();
    store->saveLog(makeLog("good1"), "G", 1);
    store->saveLog(tokenLog("badToken", "key-token"), "G", 1);
    store->saveLog(makeLog("good2"), "G", 1);
    store->executeNonSelectionQuery(
        "INSERT INTO \"logs\" (\"groupId\", \"log\", \"priority\") VALUES ('G', 'not base64!', 1)");
    ZVTStorageBindableArray v;
    v.addString(platform::crypto::base64Encode("not an archive"));
    store->executeNonSelectionQuery(
        "INSERT INTO \"logs\" (\"groupId\", \"log\", \"priority\") VALUES ('G', ?, 1)", &v);
    store->executeNonSelectionQuery(
        "UPDATE \"logs\" SET \"targetToken\" = 'AAAA' WHERE \"id\" = 2");
    LogCapture log;
    auto batch = load(*store, "G", 10);
    EXPECT_EQ(types(batch), (std::vector<std::string>{"good1", "badToken", "good2"}));
    EXPECT_FALSE(batch.logs[1]->transmissionTargetTokens());
    EXPECT_EQ(log.count(ZVTLogLevelError, "Deserialization failed for log with Id 4"), 1u);
    EXPECT_EQ(log.count(ZVTLogLevelError, "Deserialization failed for log with Id 5"), 1u);
    EXPECT_EQ(log.count(ZVTLogLevelError, "Failed to decrypt the target token for log with Id 2."),
              1u);
    EXPECT_EQ(store->countLogs(), 3u);
}

TEST_F(LogStoreTest, GroupDeletionKeepsOtherGroupsBatchesInFlight) {
    auto store = open();
    store->saveLog(makeLog("g"), "G", 1);
    store->saveLog(makeLog("one"), "G/one", 1);
    store->saveLog(makeLog("quote"), "it's", 1);
    auto inFlight = load(*store, "G/one", 10);
    ASSERT_EQ(inFlight.logs.size(), 1u);
    auto gone = store->deleteLogsWithGroupId("G");
    EXPECT_EQ(gone.size(), 1u);
    // "G/one"'s batch is still in flight, so it is not handed out a second time.
    EXPECT_TRUE(load(*store, "G/one", 10).logs.empty());
    EXPECT_EQ(store->deleteLogsWithGroupId("it's").size(), 1u);
    EXPECT_EQ(store->countLogs(), 1u);
}

TEST_F(LogStoreTest, AtTheCapLowerOrEqualPrioritiesGiveWayOldestFirst) {
    auto store = open();
    bool ok = false;
    store->setMaxStorageSize(24 * 1024, [&](bool r) { ok = r; });
    ASSERT_TRUE(ok);
    // Fill with priority 2 and 0, then 1.
    int saved = 0;
    for (int i = 0; i < 6; ++i, ++saved)
        ASSERT_TRUE(store->saveLog(makeLog("p2-" + std::to_string(i)), "G", 2));
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(store->saveLog(makeLog("p0-" + std::to_string(i)), "G", 0));
    int ones = 0;
    while (store->countLogs() < 200 && ones < 400) {
        LogCapture log;
        ASSERT_TRUE(store->saveLog(makeLog("p1-" + std::to_string(ones)), "G", 1));
        ++ones;
        if (log.count(ZVTLogLevelDebug, "oldest log(s) with equal or lower priority deleted") > 0)
            break;
    }
    auto all = load(*store, "G", 1000);
    std::vector<std::string> kept = types(all);
    EXPECT_EQ(
        std::count_if(kept.begin(), kept.end(), [](auto& t) { return t.rfind("p2-", 0) == 0; }), 6);
    EXPECT_EQ(
        std::count_if(kept.begin(), kept.end(), [](auto& t) { return t.rfind("p0-", 0) == 0; }), 0)
        << "priority-0 logs give way first";
    EXPECT_EQ(kept.back(), "p1-" + std::to_string(ones - 1));

    // Only priority-2 logs stored: a priority-1 log is discarded.
    store->deleteLogsWithBatchId(*all.id, "G");
    for (int i = 0; store->saveLog(makeLog("fill" + std::to_string(i)), "G", 2) && i < 500; ++i) {
    }
    const auto before = store->countLogs();
    LogCapture log;
    EXPECT_FALSE(store->saveLog(makeLog("low"), "G", 1));
    EXPECT_EQ(log.count(ZVTLogLevelError,
                        "Storage is full and no logs with equal or lower priority exist"),
              1u);
    EXPECT_EQ(store->countLogs(), before);
    // The cap is no full disk: the log is not kept for later either.
    EXPECT_EQ(store->heldLogCount(), 0u);
    EXPECT_EQ(log.count(ZVTLogLevelError, "disk full"), 0u);
}

TEST_F(LogStoreTest, ALogAsLargeAsTheCapacityIsRefused) {
    auto store = open();
    store->setMaxStorageSize(64 * 1024, nullptr);
    auto log = makeLog("big");
    auto archiveOf = [&](const std::string& sid) {
        log->setSid(sid);
        auto bytes = *ZVTUtility::archiveKeyedData(log.get());
        return platform::crypto::base64Encode(
                   std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))
            .size();
    };
    // The shortest session id whose Base64 text reaches 64 KiB (the text grows with the id).
    size_t low = 0, high = 64 * 1024;
    while (low < high) {
        const size_t mid = (low + high) / 2;
        if (archiveOf(std::string(mid, 'x')) < 64 * 1024)
            low = mid + 1;
        else
            high = mid;
    }
    const std::string sid(low, 'x');
    LogCapture capture;
    ASSERT_EQ(archiveOf(sid), 64u * 1024u);
    EXPECT_FALSE(store->saveLog(log, "G", 1));
    EXPECT_EQ(capture.count(ZVTLogLevelError, "Log is too large (65536 bytes)"), 1u);
    EXPECT_EQ(store->countLogs(), 0u);
}

}  // namespace
