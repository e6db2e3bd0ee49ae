#include "tests/ZevOzozid/ZVTChannelFixture.h"

#include <gtest/gtest.h>

namespace {

using zvt_test::ChannelUnitTest;
using zvt_test::LogCapture;
using zvt_test::makeLog;
using Config = ZVTChannelUnitConfiguration;

TEST_F(ChannelUnitTest, EnqueueFatesReachDelegatesAndOnlyStoredLogsCount) {
    makeUnit();
    LogCapture log;

    unit->enqueueItem(nullptr, 1);
    auto invalid = makeLog("bad");
    invalid->setType(std::nullopt);
    unit->enqueueItem(invalid, 1);
    settle();
    EXPECT_EQ(log.count(ZVTLogLevelWarning, "Log is not valid."), 2u);
    EXPECT_TRUE(delegate->events().empty());

    // A log without timestamp or device gets both before it is checked.
    auto bare = std::make_shared<ZVTAbstractLog>();
    bare->setType("bare");
    unit->enqueueItem(bare, 2);
    settle();
    EXPECT_TRUE(bare->timestamp().has_value());
    EXPECT_NE(bare->device(), nullptr);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"prepare bare", "prepared bare 2",
                                                            "filter? bare", "complete bare"}));

    delegate->clear();
    delegate->filterAnswer = true;
    unit->enqueueItem(makeLog("filtered"), 1);
    settle();
    delegate->filterAnswer = false;
    ingestion->ready = false;
    unit->enqueueItem(makeLog("early"), 1);
    settle();
    EXPECT_EQ(delegate->count("complete"), 2u);
    EXPECT_EQ(log.count(ZVTLogLevelDebug, "Log of type 'filtered' was filtered out"), 1u);
    EXPECT_EQ(log.count(ZVTLogLevelDebug, "ingestion is not ready to send it."), 1u);
    EXPECT_EQ(storedCount(), 1u);
    size_t items = 0;
    onQueue([&] { items = unit->itemsCount(); });
    EXPECT_EQ(items, 1u);
}

// A delegate is added on the logs queue: it misses the prepare callbacks of an enqueue made
// on this thread before its addition ran there, and hears the rest.
TEST_F(ChannelUnitTest, ADelegateHearsOnlyWhatFollowsItsQueuedAddition) {
    makeUnit();
    auto late = std::make_shared<zvt_test::RecordingDelegate>();
    platform::Semaphore gate;
    queue->async([&] { gate.wait(std::chrono::seconds(10)); });
    unit->addDelegate(late);
    unit->enqueueItem(makeLog("x"), 1);
    gate.signal();
    settle();
    EXPECT_EQ(late->events(), (std::vector<std::string>{"filter? x", "complete x"}));
    EXPECT_EQ(delegate->count("prepare x"), 1u);
}

// The trigger count starts at the store's count, so logs of an earlier run go out.
TEST_F(ChannelUnitTest, LogsOfAnEarlierRunAreFlushedOnTheFirstCheck) {
    storeDirectly(3);
    makeUnit();
    onQueue([&] { EXPECT_EQ(unit->itemsCount(), 3u); });
    onQueue([&] { unit->checkPendingLogs(); });
    EXPECT_TRUE(ingestion->sends().empty());
    advance(6);
    EXPECT_EQ(ingestion->batchSizes(), (std::vector<size_t>{3}));
}

struct FlushCase {
    uint64_t interval;
    int logs;
    bool atOnce;
};

TEST_F(ChannelUnitTest, OnlyTheDefaultIntervalFlushesEarlyOnAFullBatch) {
    const FlushCase cases[] = {{6, 50, true}, {6, 49, false}, {5, 50, false}, {7, 50, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.interval << " s, " << c.logs << " logs");
        auto fresh = std::make_shared<zvt_test::FakeIngestion>();
        ingestion = fresh;
        makeUnit(Config::defaultConfiguration(
            "I" + std::to_string(c.interval) + "_" + std::to_string(c.logs), c.interval));
        enqueue(c.logs);
        EXPECT_EQ(fresh->sends().size(), c.atOnce ? 1u : 0u);
        if (!c.atOnce) {
            advance(static_cast<int>(c.interval) - 1);
            EXPECT_TRUE(fresh->sends().empty());
            advance(1);
            EXPECT_FALSE(settings.store().hasKey(startKey(unit->configuration().groupId)));
        }
        EXPECT_EQ(fresh->batchSizes(), (std::vector<size_t>{static_cast<size_t>(c.logs)}));
        // Empty the shared store: the next unit's trigger count starts at its size.
        fresh->answer(0, 200);
        settle();
        ASSERT_EQ(storedCount(), 0u);
    }
}

TEST_F(ChannelUnitTest, EachLogPushesBackTheDefaultTimer) {
    makeUnit();
    enqueue(1, "a");
    advance(4);
    enqueue(1, "b");
    advance(4);
    EXPECT_TRUE(ingestion->sends().empty());
    advance(2);
    EXPECT_EQ(ingestion->batchSizes(), (std::vector<size_t>{2}));
    EXPECT_FALSE(settings.store().hasKey(startKey()));
}

struct PersistedCase {
    int startAgo;  // seconds before now; negative: in the future
    int wait;      // seconds until the flush
};

TEST_F(ChannelUnitTest, LongIntervalsWaitFromThePersistedStart) {
    const PersistedCase cases[] = {{4, 6}, {11, 0}, {-30, 10}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "start " << c.startAgo << " s ago");
        ingestion = std::make_shared<zvt_test::FakeIngestion>();
        const std::string group = "L" + std::to_string(n++);
        makeUnit(Config::defaultConfiguration(group, 10));
        const auto now = platform::Clock::wallClockNow();
        settings.store().setDate(startKey(group), now - std::chrono::seconds(c.startAgo));
        enqueue(1);
        if (c.wait == 0) {
            EXPECT_EQ(ingestion->sends().size(), 1u);
            EXPECT_FALSE(settings.store().hasKey(startKey(group)));
            continue;
        }
        if (c.startAgo < 0) {
            EXPECT_EQ(settings.store().dateForKey(startKey(group)), now);
        }
        advance(c.wait - 1);
        EXPECT_TRUE(ingestion->sends().empty());
        advance(1);
        EXPECT_EQ(ingestion->sends().size(), 1u);
        EXPECT_FALSE(settings.store().hasKey(startKey(group)));
    }
}

TEST_F(ChannelUnitTest, AFlushSendsBatchesUpToThePendingLimit) {
    storeDirectly(120);
    makeUnit();
    onQueue([&] { unit->checkPendingLogs(); });
    EXPECT_EQ(ingestion->batchSizes(), (std::vector<size_t>{50, 50, 20}));
    onQueue([&] {
        EXPECT_TRUE(unit->pendingBatchQueueFull());
        EXPECT_FALSE(unit->availableBatchFromStorage());
    });

    // Blocked: a full batch of new logs is only noted.
    enqueue(50, "n");
    EXPECT_EQ(ingestion->sends().size(), 3u);
    onQueue([&] {
        EXPECT_TRUE(unit->availableBatchFromStorage());
        EXPECT_EQ(unit->itemsCount(), 0u);
    });

    // Answers arrive late; the first success frees a slot and flushes the waiting batch.
    ingestion->answer(0, 200);
    settle();
    EXPECT_EQ(ingestion->batchSizes(), (std::vector<size_t>{50, 50, 20, 50}));
    EXPECT_EQ(storedCount(), 120u);
    ingestion->answer(1, 200);
    ingestion->answer(2, 200);
    ingestion->answer(3, 200);
    settle();
    EXPECT_EQ(storedCount(), 0u);
    EXPECT_EQ(delegate->count("success"), 170u);
}

TEST_F(ChannelUnitTest, RecoverableAnswersKeepTheBatchAndDoNotFlushAgain) {
    LogCapture log;
    for (long status : {0L, 408L, 429L, 500L, 503L}) {
        SCOPED_TRACE(status);
        const std::string group = "R" + std::to_string(status);
        ingestion = std::make_shared<zvt_test::FakeIngestion>();
        storeDirectly(150, group);
        makeUnit(Config::defaultConfiguration(group));
        onQueue([&] { unit->checkPendingLogs(); });
        enqueue(50, "n");
        const uint64_t stored = storedCount();
        ASSERT_EQ(ingestion->sends().size(), 3u);

        ingestion->answer(0, status);
        settle();
        EXPECT_EQ(ingestion->sends().size(), 3u);
        EXPECT_EQ(storedCount(), stored);
        onQueue([&] {
            EXPECT_TRUE(unit->enabled());
            EXPECT_EQ(unit->pendingBatchIds().size(), 2u);
            EXPECT_FALSE(unit->pendingBatchQueueFull());
            // The failed batch stays out of later batches of this run.
            unit->flushQueue();
        });
        ASSERT_EQ(ingestion->sends().size(), 4u);
        for (const auto& l : ingestion->sends()[3].container->logs()) {
            EXPECT_EQ(l->type()->front(), 'n');
        }
    }
    EXPECT_EQ(log.count(ZVTLogLevelError, "Fatal error"), 0u);
    EXPECT_EQ(log.count(ZVTLogLevelError, "Log(s) sent with failure, batch Id:"), 5u);
}

}  // namespace
