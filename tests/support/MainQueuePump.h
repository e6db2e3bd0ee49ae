#pragma once

#include "platform/Clock.h"

#include <chrono>
#include <functional>

namespace testing_support {

// Drains the main queue on the test's (main) thread. Waiting for work that background threads
// send is bounded by real time; no test sleeps for a fixed time.
class MainQueuePump {
  public:
    // Runs what is queued now and what that queues in turn, until the queue is empty.
    static void drain();
    // Drains until `done` holds; false when `limit` of real time passed first.
    static bool until(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(20));
};

}  // namespace testing_support
