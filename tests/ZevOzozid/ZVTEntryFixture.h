#pragma once

#include "tests/ZevOzozid/ZVTFakeDeviceProbe.h"
#include "tests/ZevOzozid/ZVTStorageFixture.h"
#include "tests/support/MainQueuePump.h"
#include "tests/support/ScopedHook.h"

#include "platform/UserDefaults.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceTracker.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTSessionContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTUserIdContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTDependencyConfiguration.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"
#include "ZevOzozid/ZevOzozid/ZVTServiceAbstract.h"
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zvt_test {

// A service with a unit of its own, named by the test; counts its starts and updates.
class TestService : public ZVTServiceAbstract {
  public:
    TestService(std::string name, int64_t priority = 500, bool needsSecret = true)
        : name_(std::move(name)), priority_(priority), needsSecret_(needsSecret) {}

    std::string className() const override { return "ZVT" + name_; }
    std::string serviceName() const override { return name_; }
    std::string groupId() const override { return name_; }
    std::string logTag() const override { return "ZevOzozid" + name_; }
    int64_t initializationPriority() const override { return priority_; }
    bool isAppSecretRequired() const override { return needsSecret_; }
    std::optional<ZVTChannelUnitConfiguration> channelUnitConfiguration() const override {
        return ZVTChannelUnitConfiguration::defaultConfiguration(name_);
    }
    void startWithChannelGroup(const std::shared_ptr<ZVTChannelGroupProtocol>& group,
                               const std::optional<std::string>& appSecret,
                               const std::optional<std::string>& token,
                               bool fromApplication) override {
        ZVTServiceAbstract::startWithChannelGroup(group, appSecret, token, fromApplication);
        ++starts;
        startOrder().push_back(name_);
    }
    void updateConfigurationWithAppSecret(const std::optional<std::string>& appSecret,
                                          const std::optional<std::string>& token) override {
        ZVTServiceAbstract::updateConfigurationWithAppSecret(appSecret, token);
        ++updates;
    }

    static std::vector<std::string>& startOrder() {
        static std::vector<std::string> order;
        return order;
    }

    void setPriority(int64_t priority) { priority_ = priority; }

    int starts = 0;
    int updates = 0;

  private:
    std::string name_;
    int64_t priority_;
    bool needsSecret_;
};

// The N-th test service class; the fixture makes its instance.
template <int N>
struct TestServiceClass {
    static inline std::unique_ptr<TestService> instance;
    static TestService& sharedInstance() { return *instance; }
    static ZVTServiceClass cls() { return ZVTServiceClass::of<TestServiceClass<N>>(); }
};

// Records what the channels report: prepared logs, completed enqueues, sent and failed logs.
class EntryRecorder : public ZVTChannelDelegate {
  public:
    void channelDidPrepareLog(ZVTChannelProtocol&, const std::shared_ptr<ZVTLog>& log,
                              const std::string&, uint64_t) override {
        std::lock_guard lock(mutex_);
        prepared_.push_back(log);
    }
    void channelDidCompleteEnqueueingLog(ZVTChannelProtocol&, const std::shared_ptr<ZVTLog>&,
                                         const std::string&) override {
        ++completed;
    }
    void channelDidSucceedSendingLog(ZVTChannelProtocol&, ZVTLog&) override { ++succeeded; }
    void channelDidFailSendingLog(ZVTChannelProtocol&, ZVTLog&, const ZVTError& error) override {
        std::lock_guard lock(mutex_);
        failures_.push_back(error.code);
    }
    std::vector<std::shared_ptr<ZVTLog>> prepared() const {
        std::lock_guard lock(mutex_);
        return prepared_;
    }
    std::vector<long> failures() const {
        std::lock_guard lock(mutex_);
        return failures_;
    }

    std::atomic<int> completed{0};
    std::atomic<int> succeeded{0};

  private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<ZVTLog>> prepared_;
    std::vector<long> failures_;
};

// A fresh SDK for each test: empty settings, a fresh SDK folder, fresh singletons and three test
// services ("Alpha" and "Beta" need a secret, "Gamma" does not).
class EntryFixture {
  public:
    EntryFixture() {
        clearSettings();
        resetSingletons();
        TestServiceClass<0>::instance = std::make_unique<TestService>("Alpha");
        TestServiceClass<1>::instance = std::make_unique<TestService>("Beta");
        TestServiceClass<2>::instance = std::make_unique<TestService>("Gamma", 500, false);
        TestService::startOrder().clear();
    }
    ~EntryFixture() {
        testing_support::MainQueuePump::drain();
        resetSingletons();
        unsetenv("RAZ_URUZAD_ODIZEVO");
    }

    // The process is gone; the settings and the SDK folder stay.
    static void relaunch() {
        if (auto group = ZVTZevOzozid::sharedInstance().channelGroup()) {
            group->pauseWithIdentifyingObject(group.get());
        }
        resetSingletons();
    }
    static ZVTZevOzozidUserDefaults& settings() { return ZVTZevOzozidUserDefaults::shared(); }

  private:
    static void clearSettings() {
        auto& store = platform::UserDefaults::standard();
        for (const auto& key : store.allKeys()) store.removeObjectForKey(key);
    }
    static void resetSingletons() {
        ZVTZevOzozid::resetSharedInstance();
        ZVTZevOzozidUserDefaults::resetSharedInstance();
        ZVTSessionContext::resetSharedInstance();
        ZVTUserIdContext::resetSharedInstance();
        ZVTDeviceTracker::resetSharedInstance();
        ZVTLogger::reset();
    }

    // A test installs the client it sends with; none before it, and whatever was before it after.
    testing_support::ScopedHook<&ZVTDependencyConfiguration::setHttpClient> httpClient_{nullptr};
    testing_support::ScopedHook<&ZVTDeviceProbe::setCurrent> probe_{
        std::make_shared<FakeDeviceProbe>()};
    DataHomeFixture dataHome_;
};

}  // namespace zvt_test
