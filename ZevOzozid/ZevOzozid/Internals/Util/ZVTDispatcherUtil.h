#pragma once

#include "platform/Dispatch.h"

// Runs callbacks on the main queue. Safe from any thread.
//
// Kept as part of the SDK's own toolkit: nothing in the program calls it yet.
class ZVTDispatcherUtil {
  public:
    // Queues the callback for the main queue and returns at once.
    static void performBlockOnMainThread(platform::Task block);
    static void runBlock(const platform::Task& block);
    // Queues the callback on `queue` and waits until it has run or `timeoutSeconds` (real time)
    // passed, whichever comes first; the callback still runs later after a time-out. Never call
    // it on `queue` itself with a long time-out: the wait would last the whole time-out.
    static void dispatchSyncWithTimeout(double timeoutSeconds, platform::Queue& queue,
                                        platform::Task block);
};
