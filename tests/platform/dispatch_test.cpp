#include "platform/Dispatch.h"

#include "tests/support/MainQueuePump.h"

#include "platform/OperationQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testing_support::MainQueuePump;

TEST(SerialQueue, RunsTasksInOrderOneAtATimeAndKnowsItIsCurrent) {
    platform::SerialQueue queue("test.serial");
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> current{false};
    for (int i = 0; i < 200; ++i) {
        queue.async([&, i] {
            if (running.fetch_add(1) != 0) overlapped = true;
            order.push_back(i);
            if (i == 0) current = queue.isCurrent();
            running.fetch_sub(1);
        });
    }
    ASSERT_TRUE(queue.drainFor(10s));
    EXPECT_FALSE(overlapped);
    EXPECT_TRUE(current);
    EXPECT_FALSE(queue.isCurrent());
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
}

TEST(Timers, FireOnTheFakeClockWithoutSleeping) {
    platform::FakeClock clock;
    clock.install();
    std::vector<std::string> fired;
    platform::Timer repeating;
    repeating.start(100ms, true, platform::mainQueue(), [&] { fired.push_back("tick"); });
    platform::after(250ms, platform::mainQueue(), [&] { fired.push_back("after"); });
    platform::Timer cancelled;
    cancelled.start(50ms, false, platform::mainQueue(), [&] { fired.push_back("cancelled"); });
    cancelled.cancel();

    clock.advance(99ms);
    MainQueuePump::drain();
    EXPECT_TRUE(fired.empty());
    clock.advance(1ms);
    MainQueuePump::drain();
    EXPECT_EQ(fired, (std::vector<std::string>{"tick"}));
    clock.advance(200ms);
    MainQueuePump::drain();
    EXPECT_EQ(fired, (std::vector<std::string>{"tick", "tick", "after", "tick"}));
    repeating.cancel();
    clock.advance(1s);
    MainQueuePump::drain();
    EXPECT_EQ(fired.size(), 4u);
}

TEST(Timers, CancelAfterFiringButBeforeTheQueueRunsItStopsTheTask) {
    platform::FakeClock clock;
    clock.install();
    bool ran = false;
    platform::Timer timer;
    timer.start(10ms, false, platform::mainQueue(), [&] { ran = true; });
    clock.advance(10ms);  // queued on the main queue, not yet run
    timer.cancel();
    MainQueuePump::drain();
    EXPECT_FALSE(ran);
}

TEST(SyncOnMain, IsRefusedOnTheMainThreadAndWorksFromAWorker) {
    bool ran = false;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(platform::syncOnMain([&] { ran = true; }, 1s));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("refused"), std::string::npos);
    EXPECT_FALSE(ran);

    std::atomic<bool> workerResult{false};
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        workerResult = platform::syncOnMain([&] { ran = true; }, 10s);
        workerDone = true;
    });
    EXPECT_TRUE(MainQueuePump::until([&] { return workerDone.load(); }));
    worker.join();
    EXPECT_TRUE(workerResult);
    EXPECT_TRUE(ran);
}

TEST(OperationQueue, CancelAllStopsQueuedOperationsAndFlagsTheRunningOne) {
    platform::OperationQueue queue("test.ops", 1);
    platform::Semaphore started;
    platform::Semaphore release;
    std::atomic<bool> sawCancel{false};
    std::atomic<int> laterRuns{0};
    queue.addOperation([&](const platform::Operation& op) {
        started.signal();
        ASSERT_TRUE(release.wait(10s));
        sawCancel = op.isCancelled();
    });
    for (int i = 0; i < 5; ++i)
        queue.addOperation([&](const platform::Operation&) { ++laterRuns; });
    ASSERT_TRUE(started.wait(10s));
    queue.cancelAllOperations();
    release.signal();
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(10s));
    EXPECT_TRUE(sawCancel);
    EXPECT_EQ(laterRuns, 0);
    EXPECT_EQ(queue.operationCount(), 0u);
}

TEST(OperationQueue, RespectsTheConcurrencyLimit) {
    platform::OperationQueue queue("test.ops3", 3);
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    for (int i = 0; i < 30; ++i) {
        queue.addOperation([&](const platform::Operation&) {
            int now = ++running;
            int seen = peak.load();
            while (now > seen && !peak.compare_exchange_weak(seen, now)) {
            }
            for (int k = 0; k < 50; ++k) std::this_thread::yield();
            --running;
        });
    }
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(10s));
    EXPECT_LE(peak, 3);
    EXPECT_GE(peak, 1);
}

}  // namespace
