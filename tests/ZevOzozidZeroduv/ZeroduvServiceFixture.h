#pragma once

#include "tests/ZevOzozid/ZVTStorageFixture.h"
#include "tests/ZevOzozid/ZVTTestSupport.h"
#include "tests/support/MainQueuePump.h"
#include "tests/support/ScopedHook.h"
#include "tests/support/TempDir.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTWrapperExceptionManager.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvMemoryPressure.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvUtil.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduv.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <set>

namespace zeroduv_test {

// A channel unit that records what is enqueued, with its flags.
class FakeUnit : public ZVTChannelUnitProtocol {
  public:
    explicit FakeUnit(ZVTChannelUnitConfiguration c) : configuration_(std::move(c)) {}
    void enqueueItem(const std::shared_ptr<ZVTLog>& log, uint64_t flags) override {
        std::lock_guard lock(mutex);
        items.emplace_back(log, flags);
    }
    void setEnabled(bool isEnabled, bool deleteData) override {
        std::lock_guard lock(mutex);
        enabledCalls.emplace_back(isEnabled, deleteData);
    }
    void addDelegate(const std::shared_ptr<ZVTChannelDelegate>&) override {}
    void removeDelegate(const std::shared_ptr<ZVTChannelDelegate>&) override {}
    void pauseWithIdentifyingObject(const void*) override {}
    void resumeWithIdentifyingObject(const void*) override {}
    void pauseSendingLogsWithToken(const std::string&) override {}
    void resumeSendingLogsWithToken(const std::string&) override {}
    ZVTChannelUnitConfiguration configuration() const override { return configuration_; }
    void setConfiguration(const ZVTChannelUnitConfiguration& c) override { configuration_ = c; }

    std::vector<std::pair<std::shared_ptr<ZVTLog>, uint64_t>> logs() const {
        std::lock_guard lock(mutex);
        return items;
    }
    template <typename T>
    std::vector<std::shared_ptr<T>> logsOf() const {
        std::vector<std::shared_ptr<T>> out;
        for (const auto& [log, flags] : logs()) {
            if (auto typed = std::dynamic_pointer_cast<T>(log)) out.push_back(typed);
        }
        return out;
    }

    mutable std::mutex mutex;
    std::vector<std::pair<std::shared_ptr<ZVTLog>, uint64_t>> items;
    std::vector<std::pair<bool, bool>> enabledCalls;

  private:
    ZVTChannelUnitConfiguration configuration_;
};

class FakeGroup : public ZVTChannelGroupProtocol {
  public:
    std::shared_ptr<ZVTChannelUnitProtocol> addChannelUnitWithConfiguration(
        const ZVTChannelUnitConfiguration& c) override {
        auto unit = std::make_shared<FakeUnit>(c);
        std::lock_guard lock(mutex);
        units.push_back(unit);
        return unit;
    }
    std::shared_ptr<ZVTChannelUnitProtocol> addChannelUnitWithConfiguration(
        const ZVTChannelUnitConfiguration& c,
        const std::shared_ptr<ZVTIngestionProtocol>&) override {
        return addChannelUnitWithConfiguration(c);
    }
    void setMaxStorageSize(int64_t, std::function<void(bool)> done) override { done(true); }
    std::shared_ptr<ZVTChannelUnitProtocol> channelUnitForGroupId(const std::string& id) override {
        return unit(id);
    }
    std::string logUrl() const override { return ""; }
    void setLogUrl(const std::string&) override {}
    std::optional<std::string> appSecret() const override { return "secret"; }
    void setAppSecret(const std::optional<std::string>&) override {}
    void setEnabled(bool, bool) override {}
    void addDelegate(const std::shared_ptr<ZVTChannelDelegate>& d) override {
        delegates.push_back(d);
    }
    void removeDelegate(const std::shared_ptr<ZVTChannelDelegate>&) override {}
    void pauseWithIdentifyingObject(const void*) override {}
    void resumeWithIdentifyingObject(const void*) override {}

    std::shared_ptr<FakeUnit> unit(const std::string& groupId) {
        std::lock_guard lock(mutex);
        for (const auto& u : units) {
            if (u->configuration().groupId == groupId) return u;
        }
        return nullptr;
    }
    size_t unitCount(const std::string& groupId) {
        std::lock_guard lock(mutex);
        size_t n = 0;
        for (const auto& u : units) n += u->configuration().groupId == groupId;
        return n;
    }

    std::mutex mutex;
    std::vector<std::shared_ptr<FakeUnit>> units;
    std::vector<std::weak_ptr<ZVTChannelDelegate>> delegates;
};

// Memory-pressure sources the test fires itself. The state is shared with the sources, which
// may outlive the fixture in a service released on another thread.
class FakePressure {
  public:
    void fire() {
        ZVTMemoryPressureSource::Handler h;
        {
            std::lock_guard lock(state_->mutex);
            h = state_->handler;
        }
        if (h) platform::mainQueue().async(h);
    }

  private:
    struct State {
        std::mutex mutex;
        ZVTMemoryPressureSource::Handler handler;
    };
    struct Source : ZVTMemoryPressureSource {
        explicit Source(std::shared_ptr<State> s) : state(std::move(s)) {}
        void cancel() override {
            ZVTMemoryPressureSource::Handler dropped;
            std::lock_guard lock(state->mutex);
            dropped.swap(state->handler);
        }
        std::shared_ptr<State> state;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    testing_support::ScopedHook<&ZVTMemoryPressureSource::setFactory> factory_{
        [state = state_](ZVTMemoryPressureSource::Handler handler) {
            std::lock_guard lock(state->mutex);
            state->handler = std::move(handler);
            return std::make_unique<Source>(state);
        }};
};

// A fresh SDK folder, crash reporter folder and crash settings per test; the crash reporter
// is made but not armed (the debugger probe answers yes), so the test process keeps its own
// signal handlers. Delayed processing runs on a fake clock.
class ServiceFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* key :
             {"ZeroduvIsEnabled", "AppDidReceiveMemoryWarning", "ZeroduvUserConfirmation"}) {
            ZVTZevOzozidUserDefaults::shared().removeObjectForKey(key);
        }
        ZVTZeroduvUtil::resetDirectory();
        ZVTWrapperExceptionManager::reset();
        ZVTZeroduv::resetSharedInstance();
        savedProbe_ = ZVTZeroduv::debuggerProbe();
        ZVTZeroduv::debuggerProbe() = [] { return true; };
        clock_.install();
    }
    void TearDown() override {
        // Delayed processing goes on in the background after what a test waits for; it must be
        // over before the next test resets the service (or the process ends under it).
        EXPECT_TRUE(testing_support::MainQueuePump::until(
            [] { return platform::drainGlobalQueueFor(platform::Duration::zero()); },
            std::chrono::seconds(10)));
        clock_.uninstall();
        ZVTZeroduv::debuggerProbe() = savedProbe_;
        ZVTZeroduv::resetSharedInstance();
    }

    std::shared_ptr<ZVTZeroduv> makeService() {
        auto s = std::make_shared<ZVTZeroduv>();
        s->setCrashReporterBasePath(reporterDir_.path());
        return s;
    }
    // Starts the service and (unless told not to) waits for its folder work: the pending report
    // copied, the crash files listed, processing scheduled on the fake clock.
    std::shared_ptr<FakeUnit> start(const std::shared_ptr<ZVTZeroduv>& s,
                                    bool waitForFolderWork = true) {
        s->startWithChannelGroup(group_, "secret", std::nullopt, true);
        if (waitForFolderWork) s->waitForFolderWork();
        return group_->unit("Zeroduv");
    }
    // The folder where the crash reporter of this test keeps its pending reports.
    std::filesystem::path reporterFolder() const {
        ZVCrashReporterConfig c;
        c.basePath = reporterDir_.path();
        return ZVTZeroduv::crashReporterForApplication(c).crashReportDirectory();
    }
    // A pending report's slot there (the name an earlier version gave its one slot).
    std::filesystem::path pendingReportPath() const {
        return reporterFolder() / "live_report.zvcrash";
    }
    // Where a pending report waits once a start has taken it out of its slot.
    std::filesystem::path takenReportPath() const {
        return reporterFolder() / ZVCrashReporter::kTakenReportName;
    }
    void writePendingReport(const std::string& bytes) const {
        writeReportAt(pendingReportPath(), bytes);
    }
    static void writeReportAt(const std::filesystem::path& path, const std::string& bytes) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string goldenReportBytes() {
        return testing_support::readAll(std::filesystem::path(GRIDLARK_TESTDATA_DIR) / "zvcrash" /
                                        "full.zvcrash");
    }
    std::filesystem::path crashesDir() const {
        return *ZVTUtility::fullURLForPathComponent(std::string("crashes"));
    }
    // Lets the delayed processing run: one second on the fake clock, then the pumped main
    // queue until `done`.
    bool runDelayedProcessing(const std::function<bool()>& done) {
        clock_.advance(std::chrono::seconds(1));
        return testing_support::MainQueuePump::until(done, std::chrono::seconds(10));
    }

    zvt_test::DataHomeFixture data_;
    testing_support::TempDir reporterDir_;
    std::shared_ptr<FakeGroup> group_ = std::make_shared<FakeGroup>();
    platform::FakeClock clock_;
    FakePressure pressure_;
    std::function<bool()> savedProbe_;
};

}  // namespace zeroduv_test
