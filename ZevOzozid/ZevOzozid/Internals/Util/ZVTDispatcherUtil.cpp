#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTDispatcherUtil.h"

#include <memory>

void ZVTDispatcherUtil::performBlockOnMainThread(platform::Task block) {
    platform::mainQueue().async([block = std::move(block)] { runBlock(block); });
}

void ZVTDispatcherUtil::runBlock(const platform::Task& block) {
    if (block) block();
}

void ZVTDispatcherUtil::dispatchSyncWithTimeout(double timeoutSeconds, platform::Queue& queue,
                                                platform::Task block) {
    auto done = std::make_shared<platform::Semaphore>();
    queue.async([done, block = std::move(block)] {
        runBlock(block);
        done->signal();
    });
    auto limit = std::chrono::duration_cast<platform::Duration>(
        std::chrono::duration<double>(timeoutSeconds > 0 ? timeoutSeconds : 0));
    done->wait(limit);
}
