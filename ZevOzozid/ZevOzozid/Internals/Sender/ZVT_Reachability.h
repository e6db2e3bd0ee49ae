#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct sockaddr;

// Posted on the main queue when a started monitor's status may have changed, and once when it
// starts. Object: the monitor.
inline const std::string kZVNetworkReachabilityChangedNotification =
    "kZVNetworkReachabilityChangedNotification";

enum ZVTNetworkStatus : long { ZVTNotReachable = 0, ZVTReachableViaNetwork = 1 };

// Flag bits of the reachability flag word.
enum ZVTReachabilityFlags : uint32_t {
    kZVTReachabilityFlagReachable = 0x2,
    kZVTReachabilityFlagConnectionRequired = 0x4,
    kZVTReachabilityFlagConnectionOnTraffic = 0x8,
    kZVTReachabilityFlagInterventionRequired = 0x10,
    kZVTReachabilityFlagConnectionOnDemand = 0x20,
};

// Where a monitor's flag word comes from. The system source watches the kernel's link and route
// changes; tests put in a source of their own through ZVT_Reachability::setSourceFactory.
// Thread safety: readFlags may be called from any thread; start/stop are called on the main
// thread; onChange may be called from any thread.
class ZVTReachabilitySource {
  public:
    virtual ~ZVTReachabilitySource() = default;
    // The current flags, or nothing when they cannot be read.
    virtual std::optional<uint32_t> readFlags() = 0;
    // Starts watching; false when that is not possible.
    virtual bool start(std::function<void()> onChange) = 0;
    virtual void stop() = 0;
};

// The system source: reachable when an interface is up and a default route exists.
std::unique_ptr<ZVTReachabilitySource> ZVTMakeSystemReachabilitySource();

// Watches whether the network can be reached. Made only through the factory functions (shared
// ownership, so work queued on the main queue outlives no monitor). Start, stop and every notice
// happen on the main queue; currentReachabilityStatus may be called from any thread.
class ZVT_Reachability : public std::enable_shared_from_this<ZVT_Reachability> {
  public:
    using SourceFactory = std::function<std::unique_ptr<ZVTReachabilitySource>()>;

    static std::shared_ptr<ZVT_Reachability> reachabilityWithHostName(const std::string& hostName);
    static std::shared_ptr<ZVT_Reachability> reachabilityWithAddress(const sockaddr* address);
    static std::shared_ptr<ZVT_Reachability> reachabilityForInternetConnection();

    ~ZVT_Reachability();
    ZVT_Reachability(const ZVT_Reachability&) = delete;
    ZVT_Reachability& operator=(const ZVT_Reachability&) = delete;

    void startNotifier();
    void stopNotifier();
    ZVTNetworkStatus currentReachabilityStatus() const;
    static ZVTNetworkStatus networkStatusForFlags(uint32_t flags);
    bool connectionRequired() const;

    // For tests:
    // Replaces the process-wide source factory (empty restores the system source) and answers
    // the one it replaced.
    static SourceFactory setSourceFactory(SourceFactory factory);

  private:
    explicit ZVT_Reachability(std::shared_ptr<ZVTReachabilitySource> source);
    static std::shared_ptr<ZVT_Reachability> make();

    std::shared_ptr<ZVTReachabilitySource> reachabilityRef_;
};
