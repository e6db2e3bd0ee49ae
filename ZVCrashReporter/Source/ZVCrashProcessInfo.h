#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <sys/types.h>

// Identity of a process, read from /proc at enable time (never at crash time).
class ZVCrashProcessInfo {
  public:
    static std::shared_ptr<ZVCrashProcessInfo> currentProcessInfo();
    // Null when the process's /proc entry cannot be read. procRoot is "/proc" outside tests.
    static std::shared_ptr<ZVCrashProcessInfo> initWithProcessID(
        pid_t pid, const std::string& procRoot = "/proc");

    pid_t processID() const { return processID_; }
    // The command name (at most 16 bytes), cut to its valid UTF-8 prefix; none when that is empty.
    const std::optional<std::string>& processName() const { return processName_; }
    pid_t parentProcessID() const { return parentProcessID_; }
    bool isTraced() const { return traced_; }
    // Start time since the epoch, in microseconds.
    std::chrono::microseconds startTime() const { return startTime_; }

  private:
    pid_t processID_ = 0;
    std::optional<std::string> processName_;
    pid_t parentProcessID_ = 0;
    bool traced_ = false;
    std::chrono::microseconds startTime_{0};
};
