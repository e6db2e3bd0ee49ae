#pragma once

#include <chrono>
#include <cstdio>

// Writes "<name> executed <seconds>s" to the standard error stream when it goes out of scope:
// the timing line of one loading step.
class MVStepTimer {
public:
    explicit MVStepTimer(const char* name) : name_(name) {}
    ~MVStepTimer() {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
        std::fprintf(stderr, "%s executed %fs\n", name_, elapsed.count());
    }
    MVStepTimer(const MVStepTimer&) = delete;
    MVStepTimer& operator=(const MVStepTimer&) = delete;

private:
    const char* name_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
