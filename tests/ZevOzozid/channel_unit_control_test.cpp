#include "tests/ZevOzozid/ZVTChannelFixture.h"

#include <gtest/gtest.h>

namespace {

using zvt_test::ChannelUnitTest;
using zvt_test::LogCapture;
using zvt_test::makeLog;
using Config = ZVTChannelUnitConfiguration;

TEST_F(ChannelUnitTest, ThePauseLaneHoldsUntilEveryObjectResumed) {
    makeUnit();
    int a = 0, b = 0;
    unit->pauseWithIdentifyingObject(&a);
    unit->pauseWithIdentifyingObject(&b);
    unit->pauseWithIdentifyingObject(&b);
    enqueue(60);
    advance(10);
    EXPECT_TRUE(ingestion->sends().empty());

    unit->resumeWithIdentifyingObject(&a);
    settle();
    onQueue([&] { EXPECT_TRUE(unit->paused()); });
    advance(10);
    EXPECT_TRUE(ingestion->sends().empty());

    // Pausing twice with one object needs one resume; resuming runs the flush decision.
    unit->resumeWithIdentifyingObject(&b);
    settle();
    onQueue([&] {
        EXPECT_FALSE(unit->paused());
        EXPECT_TRUE(unit->pausedIdentifyingObjects().empty());
    });
    EXPECT_EQ(ingestion->batchSizes(), (std::vector<size_t>{50, 10}));
    EXPECT_EQ(delegate->count("pause"), 3u);
    EXPECT_EQ(delegate->count("resume"), 2u);
}

TEST_F(ChannelUnitTest, DisabledWithoutDeletionKeepsStoringAndFlushesOnceEnabled) {
    makeUnit();
    enqueue(2, "old");
    unit->setEnabled(false, false);
    enqueue(1, "new");
    advance(30);
    EXPECT_TRUE(ingestion->sends().empty());
    EXPECT_EQ(storedCount(), 3u);
    onQueue([&] {
        EXPECT_FALSE(unit->enabled());
        EXPECT_TRUE(unit->paused());
        EXPECT_FALSE(unit->discardLogs());
    });

    unit->setEnabled(true, false);
    advance(6);
    EXPECT_EQ(ingestion->batchSizes(), (std::vector<size_t>{3}));
    EXPECT_EQ(delegate->count("enabled 0 0"), 1u);
    EXPECT_EQ(delegate->count("enabled 1 0"), 1u);
}

TEST_F(ChannelUnitTest, DisabledWithDeletionDropsEveryLogWithNoticesAndDiscardsNewOnes) {
    auto other = makeUnit(Config("other", 1, 6, 50, 3));
    makeUnit(Config("G", 1, 6, 2, 3));
    storeDirectly(4, "other");
    enqueue(5);
    onQueue([&] { unit->flushQueue(); });
    ASSERT_EQ(ingestion->batchSizes(), (std::vector<size_t>{2, 2, 1}));
    ingestion->answer(2, 503);  // one batch failed and is kept, two unanswered
    settle();
    settings.store().setDate(startKey(), platform::Clock::wallClockNow());
    delegate->clear();
    LogCapture log;

    unit->setEnabled(false, true);
    settle();
    EXPECT_EQ(storedCount(), 4u);  // only the other group's
    // The unanswered batches heard their "will send" already; the rest hear both now.
    EXPECT_EQ(delegate->count("will t"), 1u);
    EXPECT_EQ(delegate->count("fail t"), 1u);
    EXPECT_EQ(delegate->count("fail t4 100"), 1u);
    EXPECT_EQ(delegate->events().back(), "enabled 0 1");
    EXPECT_FALSE(settings.store().hasKey(startKey()));
    onQueue([&] {
        EXPECT_TRUE(unit->discardLogs());
        EXPECT_TRUE(unit->pendingBatchIds().empty());
        EXPECT_EQ(unit->itemsCount(), 0u);
    });

    // Late answers to the deleted batches are ignored.
    ingestion->answer(0, 200);
    ingestion->answer(1, 200);
    settle();
    EXPECT_EQ(log.count(ZVTLogLevelWarning, "not expected, ignore."), 2u);
    EXPECT_EQ(delegate->count("success"), 0u);

    // A new log is dropped with notices; the same state again still tells the delegates.
    delegate->clear();
    enqueue(1, "late");
    unit->setEnabled(false, true);
    settle();
    EXPECT_EQ(delegate->count("fail late0 100"), 1u);
    EXPECT_EQ(delegate->count("complete late0"), 1u);
    EXPECT_EQ(delegate->count("enabled 0 1"), 1u);
    EXPECT_EQ(log.count(ZVTLogLevelWarning, "Channel G disabled in log discarding mode"), 1u);
    EXPECT_EQ(storedCount(), 4u);

    // Enabled again, the next log is stored.
    unit->setEnabled(true, false);
    enqueue(1, "back");
    EXPECT_EQ(storedCount(), 5u);
    onQueue([&] { EXPECT_FALSE(unit->discardLogs()); });
}

class RefusingAnswerTest : public ChannelUnitTest, public ::testing::WithParamInterface<long> {};

TEST_P(RefusingAnswerTest, StopsTheUnitForTheRunAndKeepsEveryLog) {
    const long status = GetParam();
    LogCapture log;
    makeUnit(Config("F", 1, 6, 2, 1));
    enqueue(3);
    onQueue([&] { unit->flushQueue(); });
    ASSERT_EQ(ingestion->batchSizes(), (std::vector<size_t>{2}));

    ingestion->answer(0, status);
    settle();
    // The batch's logs fail with the answer's error; nothing is dropped.
    EXPECT_EQ(delegate->count("fail t0 0"), 1u);
    EXPECT_EQ(delegate->count("fail t1 0"), 1u);
    EXPECT_EQ(delegate->count("fail t"), 2u);
    EXPECT_EQ(delegate->count("enabled 0 0"), 1u);
    onQueue([&] {
        EXPECT_FALSE(unit->enabled());
        EXPECT_FALSE(unit->discardLogs());
    });
    // A log of the same run is stored, not sent.
    enqueue(1, "after");
    advance(30);
    EXPECT_EQ(delegate->count("fail after0"), 0u);
    EXPECT_EQ(ingestion->sends().size(), 1u);
    EXPECT_EQ(storedCount(), 4u);
    EXPECT_EQ(log.count(ZVTLogLevelError,
                        "Status code " + std::to_string(status) + " refused a batch of group F"),
              1u);
}

INSTANTIATE_TEST_SUITE_P(Statuses, RefusingAnswerTest,
                         ::testing::Values(400L, 401L, 403L, 404L, 413L));

TEST_F(ChannelUnitTest, APausedTargetKeyStaysStoredAndOutOfBatches) {
    makeUnit();
    auto tokenLog = [](const std::string& type, const std::string& token) {
        auto log = std::make_shared<zvt_test::TokenLog>();
        log->setType(type);
        log->setTimestamp(ZVTDate(std::chrono::milliseconds(1)));
        log->setDevice(zvt_test::storedDevice());
        log->addTransmissionTargetToken(token);
        return log;
    };
    unit->pauseSendingLogsWithToken("abc-secret1");
    unit->pauseSendingLogsWithToken("-nokey");  // no key: changes nothing
    unit->enqueueItem(tokenLog("held", "abc-secret2"), 1);
    unit->enqueueItem(tokenLog("free", "xyz-secret3"), 1);
    unit->enqueueItem(makeLog("plain"), 1);
    advance(6);
    ASSERT_EQ(ingestion->sends().size(), 1u);
    std::vector<std::string> sent;
    for (const auto& l : ingestion->sends()[0].container->logs()) sent.push_back(*l->type());
    EXPECT_EQ(sent, (std::vector<std::string>{"free", "plain"}));
    EXPECT_EQ(storedCount(), 3u);
    onQueue([&] { EXPECT_EQ(unit->pausedTargetKeys(), (std::set<std::string>{"abc"})); });

    unit->resumeSendingLogsWithToken("abc-other");
    settle();
    onQueue([&] { EXPECT_EQ(unit->itemsCount(), 3u); });  // the whole store, recounted
    advance(6);
    ASSERT_EQ(ingestion->sends().size(), 2u);
    EXPECT_EQ(*ingestion->sends()[1].container->logs().at(0)->type(), "held");
}

TEST_F(ChannelUnitTest, QueueOnlyOperationsCalledElsewhereSayItAndStillRunInOrder) {
    makeUnit();
    LogCapture log;
    int a = 0;
    unit->pauseWithIdentifyingObjectSync(&a);
    unit->resumeWithIdentifyingObjectSync(&a);
    settle();
    EXPECT_EQ(log.count(ZVTLogLevelAssert, "must run on the logs queue"), 2u);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"pause", "resume"}));
    onQueue([&] { EXPECT_FALSE(unit->paused()); });
}

}  // namespace
