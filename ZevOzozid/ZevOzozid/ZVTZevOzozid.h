#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelProtocols.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTWrapperSdk.h"
#include "ZevOzozid/ZevOzozid/ZVTService.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The single entry of the telemetry SDK. The host calls start() once at launch with its secret
// string and its service classes; the entry configures itself once (app secret, target token,
// install id, the one channel group with the core unit "ZevOzozid", enabled state, log level),
// starts the services by descending initialization priority and sends a "startService" log.
// It also owns the SDK-wide switches: enabled state, network permission, log URL, user id and
// the storage cap.
//
// Threads: every operation is safe from any thread. The instance is its own recursive lock,
// held by configure, start, the switches, installId and the class getters isEnabled and
// isNetworkRequestsAllowed; the flag accessors (isSdkConfigured, isEnabledStateUpdating, ...)
// and setUserId take no lock. Services may call back into the entry from their start.
class ZVTZevOzozid {
  public:
    using Services = std::optional<std::vector<ZVTServiceClass>>;

    static constexpr int64_t kMinimumStorageSizeInBytes = 24 * 1024;
    // Where logs go when the host sets no log URL.
    static const std::string kDefaultLogUrl;

    ZVTZevOzozid();
    ZVTZevOzozid(const ZVTZevOzozid&) = delete;
    ZVTZevOzozid& operator=(const ZVTZevOzozid&) = delete;

    static ZVTZevOzozid& sharedInstance();
    // Forgets the shared instance; the next sharedInstance() makes a fresh one.
    static void resetSharedInstance();

    // --- Class operations (forwarded to the shared instance)
    static void start(const std::optional<std::string>& secret, const Services& services);
    static void startWithServices(const Services& services);
    static void startFromLibraryWithServices(const Services& services);
    static void startService(const std::optional<ZVTServiceClass>& service);
    static void configureWithAppSecret(const std::optional<std::string>& secret);
    static void configure();
    static bool isConfigured();
    static void setEnabled(bool isEnabled);
    // False (with an error line) before configure.
    static bool isEnabled();
    static void setNetworkRequestsAllowed(bool isAllowed);
    static bool isNetworkRequestsAllowed();
    static void setLogUrl(const std::string& logUrl);
    static std::optional<std::string> logUrl();
    // Below 24576 bytes, a second call, or after the application configured: the callback gets
    // false. Otherwise the channel group answers it once the store applied the cap.
    static void setMaxStorageSize(int64_t sizeInBytes, std::function<void(bool)> completionHandler);
    static void setUserId(const std::optional<std::string>& userId);
    static std::optional<std::string> userId();
    static void setCountryCode(const std::optional<std::string>& countryCode);
    static std::optional<std::string> countryCode();
    static void setWrapperSdk(std::shared_ptr<ZVTWrapperSdk> wrapperSdk);
    static std::shared_ptr<ZVTWrapperSdk> wrapperSdk();
    // Loaded from "InstallId", or made and stored once.
    static ZVTUUID installId();
    static unsigned logLevel();
    static void setLogLevel(unsigned logLevel);
    static ZVTLogHandler logHandler();
    static void setLogHandler(ZVTLogHandler handler);
    static bool isAppDelegateForwarderEnabled();
    // Waits until the logs queue has run what was queued before the call (so logs enqueued
    // before it are in the store), at most `limit`. True when it ran in time or the SDK is not
    // configured. Never from the logs queue itself.
    static bool waitForLogsQueue(std::chrono::milliseconds limit);
    static std::string sdkVersion();
    // The environment variable "DURIDID_AD_UZU_DIVEVA" is "1".
    static bool isRunningInZevOzozidTestCloud();
    // A tracer is attached ("TracerPid" of /proc/self/status); read once per process.
    static bool isDebuggerAttached();
    // Whether a /proc/<pid>/status text names a tracer; nullopt when it holds no "TracerPid".
    static std::optional<bool> tracedFromStatus(const std::string& statusText);
    static const std::string& logTag();
    static const std::string& groupId();

    // --- Instance operations used by other parts of the SDK
    std::shared_ptr<ZVTChannelGroupProtocol> channelGroup() const;
    std::shared_ptr<ZVTChannelUnitProtocol> channelUnit() const;
    std::optional<std::string> appSecret() const;
    std::optional<std::string> defaultTransmissionTargetToken() const;
    // Configured; else an error line and false.
    bool canBeUsed() const;
    // The stored "ZevOzozidIsEnabled" (true when absent); no lock.
    bool isEnabledStoredValue() const;
    // The stored "NetworkRequestsAllowed" (true when absent); no lock.
    bool isNetworkRequestsAllowedStoredValue() const;
    bool isEnabledStateUpdating() const { return enabledStateUpdating_; }
    bool isConfiguredFromApplication() const { return configuredFromApplication_; }
    bool isSdkConfigured() const { return sdkConfigured_; }

  private:
    void startWithSecret(const std::optional<std::string>& secret, const Services& services,
                         bool fromApplication);
    bool configureWithAppSecret(const std::optional<std::string>& appSecret,
                                const std::optional<std::string>& transmissionTargetToken,
                                bool fromApplication);
    void initializeChannelGroup();
    void startServices(const std::vector<ZVTServiceClass>& services,
                       const std::optional<std::string>& appSecret,
                       const std::optional<std::string>& transmissionTargetToken,
                       bool fromApplication);
    bool startService(const ZVTServiceClass& service, const std::optional<std::string>& appSecret,
                      const std::optional<std::string>& transmissionTargetToken,
                      bool fromApplication);
    static std::vector<ZVTServiceClass> sortServices(const std::vector<ZVTServiceClass>& services);
    static bool shouldDisable(const std::string& serviceName);
    void sendStartServiceLog(const std::vector<std::string>& serviceNames);
    void setEnabledInstance(bool isEnabled);
    void applyPipelineEnabledState(bool isEnabled);
    void setNetworkRequestsAllowedInstance(bool isAllowed);
    void setLogUrlInstance(const std::string& logUrl);
    void setMaxStorageSizeInstance(int64_t sizeInBytes, std::function<void(bool)> handler);
    void setUserIdInstance(const std::optional<std::string>& userId);
    ZVTUUID installIdInstance();

    // The common-schema collector's part of the entry.
    std::shared_ptr<ZVTChannelDelegate> makeCSCollectorChannelDelegate(
        const std::optional<std::string>& baseUrl);
    void setCSCollectorLogUrl(const std::string& logUrl);
    static bool appDelegateForwarderEnabled();
    static void flushDelegateForwarderTraceBuffer();

    mutable std::recursive_mutex mutex_;
    std::atomic<bool> sdkConfigured_{false};
    std::atomic<bool> configuredFromApplication_{false};
    std::atomic<bool> enabledStateUpdating_{false};
    bool setMaxStorageSizeHasBeenCalled_ = false;
    std::optional<ZVTUUID> installId_;
    std::optional<std::string> logUrl_;
    std::shared_ptr<ZVTChannelUnitProtocol> channelUnit_;
    std::shared_ptr<ZVTChannelDelegate> csCollectorChannelDelegate_;
    std::shared_ptr<ZVTChannelGroupProtocol> channelGroup_;
    std::vector<ZVTServiceCommon*> services_;
    std::optional<std::vector<std::string>> startedServiceNames_;
    std::optional<std::string> appSecret_;
    std::optional<std::string> defaultTransmissionTargetToken_;
    std::optional<int64_t> requestedMaxStorageSizeInBytes_;
    std::function<void(bool)> maxStorageSizeCompletionHandler_;
};
