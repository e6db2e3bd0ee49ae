#include "session/MVGLDRowReader.h"
#include "session/MVPartThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Each part of a job marks its slot; every slot must be marked exactly once.
std::vector<int> runMarked(MVPartThreads& threads, std::size_t parts, unsigned most) {
    std::vector<std::atomic<int>> marks(parts);
    threads.run(
        parts, [&](std::size_t p) { marks[p].fetch_add(1); }, most);
    std::vector<int> result;
    for (auto& mark : marks) result.push_back(mark.load());
    return result;
}

TEST(PartThreads, EveryPartRunsOnceWhateverTheNumberOfPartsAndThreads) {
    MVPartThreads threads(4);
    struct Case {
        std::size_t parts;
        unsigned most;
    };
    const Case cases[] = {{1, 0}, {3, 0}, {4, 0}, {5, 0}, {64, 0}, {64, 1}, {64, 2}, {7, 9}};
    for (const Case& c : cases) {
        EXPECT_EQ(runMarked(threads, c.parts, c.most), std::vector<int>(c.parts, 1))
            << c.parts << " parts, " << c.most << " threads";
    }
    // The process's threads too, job after job.
    for (int round = 0; round < 50; ++round) {
        ASSERT_EQ(runMarked(MVPartThreads::shared(), 33, 0), std::vector<int>(33, 1));
    }
}

TEST(PartThreads, HelperThreadsTakePartsWhileTheCallerIsBusy) {
    MVPartThreads threads(2);
    std::mutex mutex;
    std::condition_variable changed;
    bool secondRan = false;
    std::thread::id secondThread;
    threads.run(2, [&](std::size_t p) {
        std::unique_lock lock(mutex);
        if (p == 1) {
            secondRan = true;
            secondThread = std::this_thread::get_id();
            changed.notify_all();
            return;
        }
        // Part 0 holds the caller until another thread has run part 1.
        changed.wait_for(lock, std::chrono::seconds(30), [&] { return secondRan; });
    });
    EXPECT_TRUE(secondRan);
}

TEST(PartThreads, AJobStartedDuringAnotherRunsOnItsCaller) {
    MVPartThreads threads(4);
    std::vector<std::atomic<int>> inner(16);
    std::atomic<int> outer{0};
    // Runs from inside a part: the threads are taken, so each inner job runs on its caller.
    threads.run(8, [&](std::size_t) {
        outer.fetch_add(1);
        threads.run(16, [&](std::size_t p) { inner[p].fetch_add(1); });
    });
    EXPECT_EQ(outer.load(), 8);
    for (auto& count : inner) EXPECT_EQ(count.load(), 8);

    // Two threads at once.
    std::vector<int> first, second;
    std::thread other([&] { first = runMarked(threads, 40, 0); });
    second = runMarked(threads, 40, 0);
    other.join();
    EXPECT_EQ(first, std::vector<int>(40, 1));
    EXPECT_EQ(second, std::vector<int>(40, 1));
}

// The default: a few threads where processors are free, the caller's own alone on a busy
// machine, where helpers would wait for a processor while the caller waits for them.
TEST(PartThreads, TheDefaultTakesOnlyProcessorsThatAreFree) {
    struct Case {
        unsigned processors, runnable, threads;
    };
    const Case cases[] = {
        {8, 1, 4},  {8, 5, 4}, {8, 6, 3}, {8, 7, 2}, {8, 8, 1},
        {8, 30, 1}, {2, 1, 2}, {1, 1, 1}, {4, 0, 4}, {16, 3, 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MVGLDRowReader::threadsForFreeProcessors(c.processors, c.runnable), c.threads)
            << c.processors << " processors, " << c.runnable << " runnable";
    }
    MVGLDRowReader::setDefaultThreads(3);
    EXPECT_EQ(MVGLDRowReader::defaultThreads(), 3u);
    MVGLDRowReader::setDefaultThreads(0);
    EXPECT_GE(MVGLDRowReader::defaultThreads(), 1u);
    EXPECT_LE(MVGLDRowReader::defaultThreads(), 4u);
}

}  // namespace
