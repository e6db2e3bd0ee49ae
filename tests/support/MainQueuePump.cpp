#include "tests/support/MainQueuePump.h"

#include "platform/Dispatch.h"

#include <condition_variable>
#include <mutex>

namespace testing_support {

namespace {
struct Wakeup {
    std::mutex mutex;
    std::condition_variable cv;
    uint64_t generation = 0;
};
Wakeup& wakeup() {
    static auto* w = new Wakeup;
    return *w;
}
}  // namespace

void MainQueuePump::drain() {
    while (platform::mainQueue().drain() > 0) {
    }
}

bool MainQueuePump::until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto& w = wakeup();
    platform::mainQueue().setWaker([&w] {
        {
            std::lock_guard lock(w.mutex);
            ++w.generation;
        }
        w.cv.notify_all();
    });
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        drain();
        if (done()) return true;
        std::unique_lock lock(w.mutex);
        uint64_t seen = w.generation;
        if (platform::mainQueue().hasPending()) continue;
        // Wakes on new main-queue work; the short cap re-checks conditions set by other threads.
        if (!w.cv.wait_until(lock,
                             std::min(deadline, std::chrono::steady_clock::now() +
                                                    std::chrono::milliseconds(20)),
                             [&] { return w.generation != seen; }) &&
            std::chrono::steady_clock::now() >= deadline) {
            lock.unlock();
            drain();
            return done();
        }
    }
}

}  // namespace testing_support
