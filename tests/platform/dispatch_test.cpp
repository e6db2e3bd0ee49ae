#include "platform/Dispatch.h"

#include "tests/support/MainQueuePump.h"

#include "platform/OperationQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
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
    // Each operation holds its place until the test frees one; the queue fills to its limit, and
    // each freed place goes to the next operation.
    constexpr int kLimit = 3;
    constexpr int kOperations = 8;
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0, peak = 0, finished = 0, freed = 0;
    bool abandoned = false;
    platform::OperationQueue queue("test.ops3", kLimit);
    for (int i = 0; i < kOperations; ++i) {
        queue.addOperation([&](const platform::Operation&) {
            std::unique_lock lock(mutex);
            peak = std::max(peak, ++running);
            changed.notify_all();
            changed.wait_for(lock, 20s, [&] { return freed > finished || abandoned; });
            --running;
            ++finished;
            changed.notify_all();
        });
    }
    // A failed assertion lets the held operations go before the queue waits for them.
    struct Abandon {
        std::mutex& mutex;
        std::condition_variable& changed;
        bool& abandoned;
        ~Abandon() {
            std::lock_guard lock(mutex);
            abandoned = true;
            changed.notify_all();
        }
    } abandon{mutex, changed, abandoned};
    std::unique_lock lock(mutex);
    for (int round = 0; round < kOperations; ++round) {
        const int expected = std::min(kLimit, kOperations - round);
        ASSERT_TRUE(
            changed.wait_for(lock, 20s, [&] { return finished == round && running == expected; }))
            << "round " << round << ": " << running << " running, " << finished << " finished";
        ++freed;
        changed.notify_all();
    }
    ASSERT_TRUE(changed.wait_for(lock, 20s, [&] { return finished == kOperations; }));
    EXPECT_EQ(peak, kLimit);
    lock.unlock();
    EXPECT_TRUE(queue.waitUntilAllOperationsAreFinished(10s));
}

}  // namespace
