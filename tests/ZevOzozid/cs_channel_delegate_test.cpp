#include "tests/ZevOzozid/ZVTCSTestSupport.h"
#include "tests/ZevOzozid/ZVTChannelFixture.h"
#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTCSCollectorChannelDelegate.h"
#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelGroupDefault.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

using zvt_test::LogCapture;
using zvt_test::NamedEventLog;
using Config = ZVTChannelUnitConfiguration;

// A client that takes every call and never answers.
class IdleHttpClient : public ZVTHttpClientProtocol {
  public:
    void sendAsync(const std::string&, const std::string&,
                   const std::map<std::string, std::string>&, const std::optional<std::string>&,
                   ZVTHttpRequestCompletionHandler) override {}
    void sendAsync(const std::string&, const std::string&,
                   const std::map<std::string, std::string>&, const std::optional<std::string>&,
                   const std::vector<std::chrono::milliseconds>&, bool,
                   ZVTHttpRequestCompletionHandler) override {}
    void pause() override {}
    void resume() override {}
    void setEnabled(bool) override {}
    std::shared_ptr<ZVTHttpClientDelegate> delegate() const override { return nullptr; }
    void setDelegate(const std::shared_ptr<ZVTHttpClientDelegate>&) override {}
};

class CSChannelDelegateTest : public zvt_test::ChannelUnitTest {
  protected:
    CSChannelDelegateTest() {
        groupIngestion->setAppSecret("secret");
        group = ZVTChannelGroupDefault::makeWithIngestion(groupIngestion, recording,
                                                          settings.settings());
        queue = group->logsDispatchQueue();
        group->addDelegate(cs);
        ordinary =
            group->addChannelUnitWithConfiguration(Config::defaultConfiguration("G", 3), ingestion);
        settle();
    }
    ~CSChannelDelegateTest() override {
        group.reset();
        settle();
    }
    std::shared_ptr<ZVTAbstractLog> eventLog(std::vector<std::string> tokens) {
        auto log = std::make_shared<NamedEventLog>();
        log->setDevice(zvt_test::storedDevice());
        for (const auto& t : tokens) log->addTransmissionTargetToken(t);
        return log;
    }
    static std::shared_ptr<ZVTCommonSchemaLog> cs0(const std::shared_ptr<ZVTLog>& log) {
        return std::dynamic_pointer_cast<ZVTCommonSchemaLog>(log);
    }

    std::shared_ptr<ZVTZevOzozidIngestion> groupIngestion = std::make_shared<ZVTZevOzozidIngestion>(
        std::make_shared<IdleHttpClient>(), "https://in.example.test", "INSTALL");
    std::shared_ptr<zvt_test::RecordingStorage> recording =
        std::make_shared<zvt_test::RecordingStorage>(store);
    const ZVTUUID installId = ZVTUUID::random();
    std::shared_ptr<ZVTCSCollectorChannelDelegate> cs =
        std::make_shared<ZVTCSCollectorChannelDelegate>(std::make_shared<IdleHttpClient>(),
                                                        installId, std::nullopt);
    std::shared_ptr<ZVTChannelGroupDefault> group;
    std::shared_ptr<ZVTChannelUnitProtocol> ordinary;
};

TEST_F(CSChannelDelegateTest, CompanionUnitsAndWhereLogsGo) {
    auto companion = cs->companionForGroupId("G");
    ASSERT_TRUE(companion);
    EXPECT_EQ(companion->configuration().groupId, "G/one");
    EXPECT_EQ(companion->configuration().flushInterval, 3u);
    EXPECT_EQ(group->channelUnitForGroupId("G/one"), companion);
    EXPECT_FALSE(cs->companionForGroupId("G/one"));  // a companion gets none of its own
    EXPECT_EQ(cs->csCollectorIngestion()->sendURL(),
              ZVTCSCollectorChannelDelegate::kDefaultBaseUrl + "/CSCollector/1.0");

    ordinary->enqueueItem(eventLog({"key1-secretA", "key2-secretB"}), 1);
    ordinary->enqueueItem(eventLog({}), 1);
    settle();
    auto plain = recording->savedIn("G");
    ASSERT_EQ(plain.size(), 1u);  // only the log without tokens stays
    EXPECT_FALSE(plain[0]->transmissionTargetTokens());
    auto converted = recording->savedIn("G/one");
    ASSERT_EQ(converted.size(), 2u);
    std::set<std::string> iKeys;
    for (const auto& log : converted) {
        ASSERT_TRUE(cs0(log));
        iKeys.insert(*cs0(log)->iKey());
        EXPECT_EQ(cs0(log)->flags(), 1);
        EXPECT_EQ(cs0(log)->ext()->sdkExt()->seq(), 1);
        EXPECT_EQ(cs0(log)->ext()->sdkExt()->installId(), installId);
    }
    EXPECT_EQ(iKeys, (std::set<std::string>{"o:key1", "o:key2"}));

    // A common-schema log handed to the ordinary unit travels through the companion, once.
    auto direct = cs0(converted[0]);
    auto again = std::make_shared<ZVTCommonSchemaLog>();
    again->setVer("3.0");
    again->setName("lap.direct");
    again->setIKey("o:key1");
    again->addTransmissionTargetToken("key1-secretA");
    ordinary->enqueueItem(again, 2);
    settle();
    EXPECT_EQ(recording->savedIn("G").size(), 1u);
    ASSERT_EQ(recording->savedIn("G/one").size(), 3u);
    EXPECT_EQ(again->ext()->sdkExt()->seq(), 2);  // numbered once, in the companion
    EXPECT_EQ(again->ext()->sdkExt()->epoch(), direct->ext()->sdkExt()->epoch());

    // A token without a target key: converted without iKey, no numbering, nothing fails.
    ordinary->enqueueItem(eventLog({"-secret"}), 1);
    settle();
    auto last = cs0(recording->savedIn("G/one").back());
    ASSERT_EQ(recording->savedIn("G/one").size(), 4u);
    EXPECT_FALSE(last->iKey());
    EXPECT_EQ(last->ext()->sdkExt()->seq(), 0);
}

TEST_F(CSChannelDelegateTest, EventNamesAreChecked) {
    const std::vector<std::pair<std::string, bool>> names = {
        {"abc", false},
        {"a..b", false},
        {"abc.", false},
        {"_abc", false},
        {std::string(101, 'x'), false},
        {"abcd", true},
        {"a.b_c", true},
        {std::string(100, 'x'), true},
        {"Lap9.best_time", true},
    };
    for (const auto& [name, valid] : names) {
        LogCapture capture;
        EXPECT_EQ(ZVTCSCollectorChannelDelegate::validateLogName(name), valid) << name;
        if (!valid) {
            EXPECT_EQ(
                capture.count(ZVTLogLevelError, "Log validation failed. Name must match '" +
                                                    ZVTCSCollectorChannelDelegate::kLogNamePattern +
                                                    "' but was '" + name + "'"),
                1u)
                << name;
        }
    }
    LogCapture capture;
    EXPECT_FALSE(ZVTCSCollectorChannelDelegate::validateLogName(std::string()));
    EXPECT_FALSE(ZVTCSCollectorChannelDelegate::validateLogName(std::nullopt));
    EXPECT_EQ(
        capture.count(ZVTLogLevelError, "Log validation failed. Name must not be nil or empty."),
        2u);
    // A megabyte name fails without reaching the expression engine.
    EXPECT_FALSE(ZVTCSCollectorChannelDelegate::validateLogName(std::string(1 << 20, 'a')));

    // A common-schema log with a bad name is dropped from the companion.
    auto bad = std::make_shared<NamedEventLog>("x");
    bad->setDevice(zvt_test::storedDevice());
    bad->addTransmissionTargetToken("key1-a");
    ordinary->enqueueItem(bad, 1);
    settle();
    EXPECT_TRUE(recording->savedIn("G/one").empty());
    EXPECT_TRUE(recording->savedIn("G").empty());
}

TEST_F(CSChannelDelegateTest, SequencePerKeyFromManyThreads) {
    ordinary->enqueueItem(eventLog({"key1-a"}), 1);
    ordinary->enqueueItem(eventLog({"key1-a"}), 1);
    ordinary->enqueueItem(eventLog({"key2-b"}), 1);
    settle();
    auto logs = recording->savedIn("G/one");
    ASSERT_EQ(logs.size(), 3u);
    EXPECT_EQ(cs0(logs[0])->ext()->sdkExt()->seq(), 1);
    EXPECT_EQ(cs0(logs[1])->ext()->sdkExt()->seq(), 2);
    EXPECT_EQ(cs0(logs[2])->ext()->sdkExt()->seq(), 1);
    const auto epoch1 = *cs0(logs[0])->ext()->sdkExt()->epoch();
    EXPECT_EQ(cs0(logs[1])->ext()->sdkExt()->epoch(), epoch1);
    EXPECT_NE(cs0(logs[2])->ext()->sdkExt()->epoch(), epoch1);
    EXPECT_TRUE(ZVTUUID::fromString(epoch1));

    constexpr int kThreads = 8, kEach = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kEach; ++i) ordinary->enqueueItem(eventLog({"key3-c"}), 1);
        });
    }
    for (auto& t : threads) t.join();
    settle();
    std::vector<int64_t> seqs;
    for (const auto& log : recording->savedIn("G/one")) {
        if (cs0(log)->iKey() == "o:key3") seqs.push_back(cs0(log)->ext()->sdkExt()->seq());
    }
    std::sort(seqs.begin(), seqs.end());
    ASSERT_EQ(seqs.size(), size_t(kThreads * kEach));
    for (size_t i = 0; i < seqs.size(); ++i) ASSERT_EQ(seqs[i], int64_t(i + 1));

    // Disabling the group with deletion starts the numbering again under a new epoch.
    group->setEnabled(false, true);
    group->setEnabled(true, false);
    settle();
    ordinary->enqueueItem(eventLog({"key1-a"}), 1);
    settle();
    auto restarted = cs0(recording->savedIn("G/one").back());
    EXPECT_EQ(restarted->ext()->sdkExt()->seq(), 1);
    EXPECT_NE(restarted->ext()->sdkExt()->epoch(), epoch1);
}

TEST_F(CSChannelDelegateTest, PauseAndEnableAreMirroredOntoTheCompanion) {
    auto spy = std::make_shared<zvt_test::RecordingDelegate>();
    auto companion = cs->companionForGroupId("G");
    companion->addDelegate(spy);
    int token = 0;
    ordinary->pauseWithIdentifyingObject(&token);
    settle();
    ordinary->resumeWithIdentifyingObject(&token);
    settle();
    EXPECT_EQ(spy->events(), (std::vector<std::string>{"pause", "resume"}));
    spy->clear();
    ordinary->setEnabled(false, false);
    settle();
    ordinary->setEnabled(true, false);
    settle();
    EXPECT_EQ(spy->count("enabled 0 0"), 1u);
    EXPECT_EQ(spy->count("enabled 1 0"), 1u);
    EXPECT_EQ(spy->count("pause"), spy->count("resume"));  // the companion ends resumed
    spy->clear();
    companion->pauseWithIdentifyingObject(&token);  // a companion's own calls go nowhere else
    settle();
    EXPECT_EQ(spy->events(), (std::vector<std::string>{"pause"}));
}

}  // namespace
