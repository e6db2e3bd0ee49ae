#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>

// Writes "<name> executed <seconds>s" to the standard error stream when it goes out of scope:
// the timing line of one loading step.
//
// The lines can be switched off for the whole process (setLinesEnabled(false)); the loading
// code's other lines on the standard error stream follow the same switch (linesEnabled()). The
// program leaves them on; fuzzing and tools that must print nothing per input turn them off.
// The switch is safe from any thread.
class MVStepTimer {
  public:
    explicit MVStepTimer(const char* name) : name_(name) {}
    ~MVStepTimer() {
        if (!linesEnabled()) return;
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
        std::fprintf(stderr, "%s executed %fs\n", name_, elapsed.count());
    }

    static bool linesEnabled() { return enabledFlag().load(std::memory_order_relaxed); }
    MVStepTimer(const MVStepTimer&) = delete;
    MVStepTimer& operator=(const MVStepTimer&) = delete;

    // For tests: answers the setting it replaced.
    static bool setLinesEnabled(bool enabled) { return enabledFlag().exchange(enabled); }

  private:
    static std::atomic<bool>& enabledFlag() {
        static std::atomic<bool> enabled{true};
        return enabled;
    }

    const char* name_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
