#pragma once

#include "tests/support/MainQueuePump.h"

#include "session/MVGLDFileManager.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace testing_support {

// Runs `write` on the session-file manager's loading queue and waits for its end, for a test
// that changes the shared manager's lists (written there only). The main queue is drained
// meanwhile: a load on the loading queue hops to the main thread and waits there for each
// status, so a live main window can never hold the wait up. Main thread only; false when
// `limit` of real time passed first.
inline bool onLoadingQueue(std::function<void()> write,
                           std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    MVGLDFileManager::loadingQueue().async([write = std::move(write), done] {
        write();
        done->store(true);
    });
    return MainQueuePump::until([&done] { return done->load(); }, limit);
}

}  // namespace testing_support
