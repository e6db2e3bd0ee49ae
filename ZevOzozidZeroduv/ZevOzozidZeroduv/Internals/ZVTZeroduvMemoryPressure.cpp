#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvMemoryPressure.h"

#include "platform/Dispatch.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

std::mutex gFactoryMutex;
ZVTMemoryPressureSource::Factory gFactory;

// Posts the handler to the main queue unless the source was cancelled meanwhile.
struct Relay {
    explicit Relay(ZVTMemoryPressureSource::Handler h) : handler(std::move(h)) {}
    void fire(const std::shared_ptr<Relay>& self) {
        platform::mainQueue().async([self] {
            if (!self->cancelled.load()) self->handler();
        });
    }
    ZVTMemoryPressureSource::Handler handler;
    std::atomic<bool> cancelled{false};
};

// A kernel pressure trigger: 150 ms of stalled tasks within one second.
class PressureTriggerSource final : public ZVTMemoryPressureSource {
  public:
    static std::unique_ptr<PressureTriggerSource> open(Handler handler) {
        const int fd = ::open("/proc/pressure/memory", O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return nullptr;
        const char trigger[] = "some 150000 1000000";
        int stop[2];
        if (::write(fd, trigger, std::strlen(trigger) + 1) < 0 || ::pipe2(stop, O_CLOEXEC) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::unique_ptr<PressureTriggerSource>(
            new PressureTriggerSource(fd, stop, std::move(handler)));
    }
    ~PressureTriggerSource() override {
        cancel();
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    void cancel() override {
        if (!relay_->cancelled.exchange(true)) (void)::write(stop_[1], "x", 1);
    }

  private:
    PressureTriggerSource(int fd, const int stop[2], Handler handler)
        : fd_(fd), relay_(std::make_shared<Relay>(std::move(handler))) {
        stop_[0] = stop[0];
        stop_[1] = stop[1];
        thread_ = std::thread([this] { watch(); });
    }
    void watch() {
        pollfd fds[2] = {{fd_, POLLPRI, 0}, {stop_[0], POLLIN, 0}};
        while (!relay_->cancelled.load()) {
            if (::poll(fds, 2, -1) < 0) continue;
            if (fds[1].revents != 0) return;
            if (fds[0].revents & POLLERR) return;
            if (fds[0].revents & POLLPRI) relay_->fire(relay_);
        }
    }
    int fd_;
    int stop_[2];
    std::shared_ptr<Relay> relay_;
    std::thread thread_;
};

bool memoryIsLow() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    long long value = 0, total = 0, available = -1;
    std::string unit;
    while (in >> key >> value) {
        std::getline(in, unit);
        if (key == "MemTotal:") total = value;
        if (key == "MemAvailable:") available = value;
    }
    return total > 0 && available >= 0 && available * 20 < total;
}

// Checks MemAvailable every 10 s on the platform clock.
class MemInfoPollSource final : public ZVTMemoryPressureSource {
  public:
    explicit MemInfoPollSource(Handler handler)
        : relay_(std::make_shared<Relay>(std::move(handler))) {
        auto relay = relay_;
        timer_.start(std::chrono::seconds(10), true, platform::globalQueue(), [relay] {
            if (!relay->cancelled.load() && memoryIsLow()) relay->fire(relay);
        });
    }
    ~MemInfoPollSource() override { cancel(); }
    void cancel() override {
        relay_->cancelled.store(true);
        timer_.cancel();
    }

  private:
    std::shared_ptr<Relay> relay_;
    platform::Timer timer_;
};

}  // namespace

std::unique_ptr<ZVTMemoryPressureSource> ZVTMemoryPressureSource::make(Handler handler) {
    Factory factory;
    {
        std::lock_guard lock(gFactoryMutex);
        factory = gFactory;
    }
    if (factory) return factory(std::move(handler));
    if (auto trigger = PressureTriggerSource::open(handler)) return trigger;
    return std::make_unique<MemInfoPollSource>(std::move(handler));
}

ZVTMemoryPressureSource::Factory ZVTMemoryPressureSource::setFactory(Factory factory) {
    std::lock_guard lock(gFactoryMutex);
    return std::exchange(gFactory, std::move(factory));
}
