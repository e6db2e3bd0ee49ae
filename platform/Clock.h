#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace platform {

using Duration = std::chrono::steady_clock::duration;
using TimePoint = std::chrono::steady_clock::time_point;
using WallTime = std::chrono::system_clock::time_point;

// The process clock. Timers, `after` and every time-out of the dispatch layer read it, so a test
// that installs a FakeClock drives them by advancing time, with no sleeping.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    virtual WallTime wallNow() const = 0;
    // True when time only moves by advance(): waits then do not block on real time.
    virtual bool isManual() const { return false; }

    static Clock& current();
    static TimePoint steadyNow() { return current().now(); }
    static WallTime wallClockNow() { return current().wallNow(); }
};

class SystemClock final : public Clock {
  public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    WallTime wallNow() const override { return std::chrono::system_clock::now(); }
};

// A clock that stands still until advanced. While installed it replaces the system clock for the
// whole process; advancing fires every timer that falls due, in deadline order, on the
// advancing thread (work aimed at the main queue then waits for the main-queue pump).
// Installing, uninstalling and destroying happen on one thread. Uninstalling waits until the
// timer thread no longer reads this clock; any other thread that reads the time must be done
// with it (stopped, or its work drained) before the clock is destroyed.
class FakeClock final : public Clock {
  public:
    FakeClock();
    ~FakeClock() override;  // uninstalls itself if installed
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    TimePoint now() const override;
    WallTime wallNow() const override;
    bool isManual() const override { return true; }

    void install();
    void uninstall();
    void advance(Duration d);
    void setWallTime(WallTime t);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
