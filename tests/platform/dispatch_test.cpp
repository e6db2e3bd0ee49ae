#include "platform/Dispatch.h"

#include "tests/support/MainQueuePump.h"

#include "platform/OperationQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
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

// ---- tasks that throw ----

// A task that throws on any queue is caught where it ran, with a line naming the queue, and the
// queue goes on: the next task runs and the queue counts as idle again.
TEST(ThrowingTasks, EveryQueueLogsTheThrowAndRunsItsNextTask) {
    platform::SerialQueue serial("test.throwing");
    struct Case {
        platform::Queue& queue;
        std::function<bool()> settle;  // waits until the queue has run all it was given
    };
    const std::vector<Case> cases = {
        {platform::mainQueue(), [] { return MainQueuePump::until([] { return true; }); }},
        {platform::globalQueue(), [] { return platform::drainGlobalQueueFor(20s); }},
        {serial, [&] { return serial.drainFor(20s); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.queue.label());
        auto next = std::make_shared<std::atomic<bool>>(false);
        testing::internal::CaptureStderr();
        c.queue.async([] { throw std::runtime_error("no lap list"); });
        c.queue.async([] { throw 7; });
        c.queue.async([next] { *next = true; });
        EXPECT_TRUE(MainQueuePump::until([&] { return next->load(); }));
        EXPECT_TRUE(c.settle());
        MainQueuePump::drain();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("task on queue " + c.queue.label() + " threw: no lap list"),
                  std::string::npos)
            << err;
        EXPECT_NE(err.find("task on queue " + c.queue.label() + " threw\n"), std::string::npos)
            << err;
    }
}

// A timer's task that throws: a one-shot `after` lets the next one run, a repeating timer fires
// again.
TEST(ThrowingTasks, TimersFireAgainAfterATaskThrew) {
    platform::FakeClock clock;
    clock.install();
    testing::internal::CaptureStderr();
    int ticks = 0;
    bool afterRan = false;
    platform::after(10ms, platform::mainQueue(), [] { throw std::runtime_error("late"); });
    platform::after(20ms, platform::mainQueue(), [&] { afterRan = true; });
    platform::Timer repeating;
    repeating.start(10ms, true, platform::mainQueue(), [&] {
        ++ticks;
        throw std::runtime_error("tick");
    });
    for (int i = 0; i < 3; ++i) {
        clock.advance(10ms);
        MainQueuePump::drain();
    }
    repeating.cancel();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(afterRan);
    EXPECT_EQ(ticks, 3);
}

// A synchronous hop whose task throws ends the worker's wait with a false answer; the next hop
// works. The worker's state is shared, so a hop that never came back cannot hang the test.
TEST(ThrowingTasks, SyncOnMainAnswersFalseWhenItsTaskThrows) {
    struct Worker {
        std::atomic<int> answers{0};
        std::atomic<bool> first{true};
        std::atomic<bool> second{false};
        std::atomic<bool> secondRan{false};
    };
    auto state = std::make_shared<Worker>();
    testing::internal::CaptureStderr();
    std::thread([state] {
        state->first = platform::syncOnMain([] { throw std::runtime_error("status bar gone"); });
        ++state->answers;
        state->second = platform::syncOnMain([state] { state->secondRan = true; });
        ++state->answers;
    }).detach();
    const bool answered = MainQueuePump::until([&] { return state->answers.load() == 2; });
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(answered) << "a throwing task left the hop waiting";
    EXPECT_FALSE(state->first);
    EXPECT_TRUE(state->second);
    EXPECT_TRUE(state->secondRan);
    EXPECT_NE(err.find("task on queue main threw: status bar gone"), std::string::npos) << err;
}

// An operation that throws, of any kind, and a completion block that throws: each operation is
// finished, its completion block runs, and the queue runs the rest.
TEST(ThrowingTasks, OperationsFinishAndTheQueueGoesOn) {
    platform::OperationQueue queue("test.throwing.ops", 1);
    std::atomic<int> completions{0};
    std::atomic<bool> lastRan{false};
    testing::internal::CaptureStderr();
    std::vector<std::shared_ptr<platform::Operation>> kept;
    const std::vector<std::function<void()>> bodies = {
        [] { throw std::runtime_error("no card"); },
        [] { throw 7; },
        [] {},
    };
    class Body final : public platform::Operation {
      public:
        explicit Body(std::function<void()> body) : body_(std::move(body)) {}

      protected:
        void main() override { body_(); }

      private:
        std::function<void()> body_;
    };
    for (const auto& body : bodies) {
        auto op = std::make_shared<Body>(body);
        op->setCompletionBlock([&] {
            ++completions;
            throw std::runtime_error("completion");
        });
        kept.push_back(op);
        queue.addOperation(op);
    }
    queue.addOperation([&](const platform::Operation&) { lastRan = true; });
    const bool finished = queue.waitUntilAllOperationsAreFinished(20s);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(finished);
    EXPECT_TRUE(lastRan);
    EXPECT_EQ(completions, 3);
    for (const auto& op : kept) EXPECT_TRUE(op->isFinished());
    EXPECT_NE(err.find("operation threw: no card"), std::string::npos) << err;
    EXPECT_NE(err.find("operation threw\n"), std::string::npos) << err;
    EXPECT_NE(err.find("completion block threw: completion"), std::string::npos) << err;
}

}  // namespace
