#include "platform/Clock.h"

#include "platform/Dispatch.h"

#include <atomic>
#include <mutex>

namespace platform {

namespace {
// Never destroyed: the timer thread and the queues' workers may still ask for the time while
// the process exits.
SystemClock& systemClockInstance() {
    static SystemClock* clock = new SystemClock;
    return *clock;
}
std::atomic<Clock*>& installedClock() {
    static std::atomic<Clock*> clock{&systemClockInstance()};
    return clock;
}
}  // namespace

Clock& Clock::current() {
    Clock* clock = installedClock().load(std::memory_order_acquire);
    return *clock;
}

struct FakeClock::State {
    mutable std::mutex mutex;
    TimePoint now;
    WallTime wall;
    bool installed = false;
};

FakeClock::FakeClock() : state_(std::make_unique<State>()) {
    // Start from the real time, so fake and real time points compare sensibly.
    state_->now = std::chrono::steady_clock::now();
    state_->wall = std::chrono::system_clock::now();
}

FakeClock::~FakeClock() {
    uninstall();
}

TimePoint FakeClock::now() const {
    std::lock_guard lock(state_->mutex);
    return state_->now;
}

WallTime FakeClock::wallNow() const {
    std::lock_guard lock(state_->mutex);
    return state_->wall;
}

void FakeClock::install() {
    state_->installed = true;
    installedClock().store(this, std::memory_order_release);
    detail::wakeScheduler();
}

void FakeClock::uninstall() {
    if (!state_->installed) return;
    state_->installed = false;
    Clock* expected = this;
    installedClock().compare_exchange_strong(expected, &systemClockInstance());
    detail::wakeScheduler();
}

void FakeClock::advance(Duration d) {
    TimePoint target;
    {
        std::lock_guard lock(state_->mutex);
        target = state_->now + d;
    }
    // Step through each deadline on the way, so a timer sees the time it was due at.
    for (;;) {
        auto next = detail::nextTimerDeadline();
        if (!next || *next > target) break;
        {
            std::lock_guard lock(state_->mutex);
            if (*next > state_->now) {
                state_->wall += *next - state_->now;
                state_->now = *next;
            }
        }
        detail::fireDueTimers();
    }
    {
        std::lock_guard lock(state_->mutex);
        state_->wall += target - state_->now;
        state_->now = target;
    }
    detail::fireDueTimers();
}

void FakeClock::setWallTime(WallTime t) {
    std::lock_guard lock(state_->mutex);
    state_->wall = t;
}

}  // namespace platform
