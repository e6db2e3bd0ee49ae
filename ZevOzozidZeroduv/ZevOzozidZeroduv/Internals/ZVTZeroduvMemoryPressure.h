#pragma once

#include <functional>
#include <memory>

// Tells when the system runs short of memory. The handler runs on the main queue. Cancelling
// (or destroying) the source guarantees no later call. Tests replace the factory with one that
// makes sources they fire themselves.
class ZVTMemoryPressureSource {
  public:
    using Handler = std::function<void()>;
    using Factory = std::function<std::unique_ptr<ZVTMemoryPressureSource>(Handler)>;

    virtual ~ZVTMemoryPressureSource() = default;
    virtual void cancel() = 0;

    // A source from the current factory. The system's: a trigger on /proc/pressure/memory where
    // the kernel allows one (a watcher thread), else a 10 s check of MemAvailable below 5 % of
    // MemTotal in /proc/meminfo.
    static std::unique_ptr<ZVTMemoryPressureSource> make(Handler handler);
    // nullptr restores the system's factory. Answers the factory it replaced.
    static Factory setFactory(Factory factory);
};
