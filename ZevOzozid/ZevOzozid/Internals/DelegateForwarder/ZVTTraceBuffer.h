#pragma once

#include <functional>
#include <mutex>
#include <vector>

// Holds back log lines until the SDK knows its log level: traces added before the first flush
// wait, framed by "Start buffering traces." and "Stop buffering traces, flushed."; later ones run
// at once. Safe from any thread; a trace may add another trace while it runs.
class ZVTTraceBuffer {
  public:
    void addTraceBlock(std::function<void()> trace);
    // Runs the waiting traces in order and ends buffering for good; later calls do nothing.
    void flush();

    // The process-wide buffer, made before the first forwarder.
    static ZVTTraceBuffer& shared();

  private:
    mutable std::recursive_mutex mutex_;
    bool buffering_ = true;
    std::vector<std::function<void()>> traces_;
};
