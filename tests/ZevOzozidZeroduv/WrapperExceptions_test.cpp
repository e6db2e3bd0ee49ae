#include "tests/ZevOzozidZeroduv/ZeroduvServiceFixture.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTWrapperExceptionManager.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvArchivableClasses.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"

#include <gtest/gtest.h>

namespace {

using zvt_test::LogCapture;

class WrapperExceptionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        zvtRegisterZeroduvArchivableClasses();
        ZVTZeroduvUtil::resetDirectory();
        ZVTWrapperExceptionManager::reset();
    }
    static std::shared_ptr<ZVTErrorReport> report(const std::string& id, uint64_t pid) {
        ZVTErrorReport::Fields f;
        f.incidentIdentifier = id;
        f.appProcessIdentifier = pid;
        return std::make_shared<ZVTErrorReport>(f);
    }
    static ZVTWrapperException record(int64_t pid) {
        ZVTWrapperException e;
        auto model = std::make_shared<ZVTWrapperExceptionModel>();
        model->setType("System.Exception");
        model->setWrapperSdkName("wrap");
        e.setModelException(model);
        e.setProcessId(pid);
        return e;
    }
    std::filesystem::path dir() const {
        return *ZVTUtility::fullURLForPathComponent(std::string("crasheswrapperexceptions"));
    }
    zvt_test::DataHomeFixture data_;
};

// The last saved record pairs with the first report of its process id, on disk and in the
// cache; without a match it is dropped; without a record nothing is written.
TEST_F(WrapperExceptionsTest, CorrelationPairsByProcessId) {
    ZVTWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({report("A", 7)});
    EXPECT_TRUE(std::filesystem::is_empty(dir()));

    ZVTWrapperExceptionManager::saveWrapperException(record(7));
    ZVTWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport(
        {report("A", 3), report("B", 7), report("C", 7)});
    EXPECT_FALSE(std::filesystem::exists(dir() / "last_saved_wrapper_exception"));
    EXPECT_TRUE(std::filesystem::exists(dir() / "B"));
    EXPECT_FALSE(std::filesystem::exists(dir() / "C"));
    auto loaded = ZVTWrapperExceptionManager::loadWrapperExceptionWithUUIDString("B");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->modelException()->type(), "System.Exception");

    ZVTWrapperExceptionManager::saveWrapperException(record(99));
    ZVTWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({report("D", 7)});
    EXPECT_FALSE(std::filesystem::exists(dir() / "D"));
    EXPECT_FALSE(std::filesystem::exists(dir() / "last_saved_wrapper_exception"));
}

// A record file that does not unarchive is deleted at the first attempt to load it.
TEST_F(WrapperExceptionsTest, CorruptRecordIsDeleted) {
    std::filesystem::create_directories(dir());
    std::ofstream(dir() / "X") << "not an archive";
    LogCapture logs;
    EXPECT_FALSE(ZVTWrapperExceptionManager::loadWrapperExceptionWithBaseFilename("X"));
    EXPECT_FALSE(std::filesystem::exists(dir() / "X"));
    EXPECT_EQ(logs.count(ZVTLogLevelError,
                         "Could not read exception data stored on disk with file name X"),
              1u);
    // No data for a report is the normal case: a debug line, not an error.
    EXPECT_FALSE(ZVTWrapperExceptionManager::loadWrapperExceptionWithBaseFilename("Y"));
    EXPECT_EQ(
        logs.count(ZVTLogLevelDebug, "Exception data report doesn't exist on disk. File name: Y"),
        1u);
    EXPECT_EQ(logs.count(ZVTLogLevelError, "Exception data report doesn't exist"), 0u);
}

// Saving at a wrapper's crash writes the record and a live report as the pending report in the
// reporter's own folder, even when a folder above it has the report's file name.
TEST_F(WrapperExceptionsTest, SavingWithTheCrashReportWritesThePendingReport) {
    LogCapture logs;
    ZVTWrapperExceptionManager::saveWrapperExceptionAndCrashReport(record(1));
    EXPECT_EQ(logs.count(ZVTLogLevelError, "CrashReporter wasn't initialized."), 1u);
    testing_support::TempDir base;
    ZVCrashReporterConfig config;
    config.basePath = base.path() / "live_report.zvcrash";
    ZVCrashReporter reporter(config);
    ZVTWrapperExceptionManager::setCrashReporter(&reporter);
    ZVTWrapperExceptionManager::saveWrapperExceptionAndCrashReport(record(1));
    EXPECT_TRUE(reporter.hasPendingCrashReport());
    EXPECT_TRUE(std::filesystem::exists(dir() / "last_saved_wrapper_exception"));
    ZVTWrapperExceptionManager::reset();
}

}  // namespace

#include "platform/UserDefaults.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTApplicationForwarder.h"

#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

namespace {

// The info switch off keeps both points uninstalled; with the switch absent the user default
// decides; installing twice installs once.
TEST(ApplicationForwarderTest, SwitchesDecideAndInstallOnce) {
    ZVTApplicationForwarder::reset();
    auto& defaults = platform::UserDefaults::standard();
    defaults.setBool(ZVTApplicationForwarder::kCrashOnExceptionsKey, true);
    const auto savedLookup = ZVTApplicationForwarder::infoBoolLookup();
    ZVTApplicationInfo info{"dev.gridlark.test", "1.0", "1", "en", 800, 600};
    info.infoDictionary["ZevOzozidApplicationForwarderEnabled"] = "NO";
    ZVTApplicationInfo::setCurrent(info);
    ZVTApplicationForwarder::registerForwarding();
    EXPECT_FALSE(ZVTApplicationForwarder::isReportExceptionInstalled());

    ZVTApplicationInfo::reset();
    defaults.removeObjectForKey(ZVTApplicationForwarder::kCrashOnExceptionsKey);
    {
        zvt_test::LogCapture logs;
        ZVTApplicationForwarder::registerForwarding();
        EXPECT_EQ(logs.count(ZVTLogLevelInfo,
                             "Catching uncaught exceptions thrown on the main thread disabled."),
                  1u);
    }
    EXPECT_FALSE(ZVTApplicationForwarder::isSendEventInstalled());

    defaults.setBool(ZVTApplicationForwarder::kCrashOnExceptionsKey, true);
    zvt_test::LogCapture logs;
    ZVTLogger::setCurrentLogLevel(ZVTLogLevelVerbose);
    ZVTApplicationForwarder::registerForwarding();
    ZVTApplicationForwarder::registerForwarding();
    EXPECT_TRUE(ZVTApplicationForwarder::isReportExceptionInstalled());
    EXPECT_TRUE(ZVTApplicationForwarder::isSendEventInstalled());
    EXPECT_EQ(
        logs.count(ZVTLogLevelDebug, "Selector 'sendEvent:' of class 'NSApplication' is swizzled."),
        1u);

    // An exception escaping event dispatch reaches the previous reporting once; the loop goes on.
    int reported = 0;
    ZVTApplicationForwarder::sendEvent([] { throw std::runtime_error("in handler"); },
                                       [&](const ZVCrashExceptionRecord& r) {
                                           EXPECT_EQ(r.reason, "in handler");
                                           ++reported;
                                       });
    EXPECT_EQ(reported, 1);
    defaults.removeObjectForKey(ZVTApplicationForwarder::kCrashOnExceptionsKey);
    ZVTApplicationForwarder::reset();
    ZVTApplicationForwarder::infoBoolLookup() = savedLookup;
}

}  // namespace

#include "ZevOzozid/ZevOzozid/Internals/DelegateForwarder/ZVTAppDelegateForwarder.h"

namespace {

// A host that declares both points and forwards to them reaches the crash service: an event whose
// dispatch throws is run by the service, which hands the exception on and reports it ran.
TEST(ApplicationForwarderTest, AHostForwardingTheDeclaredPointsReachesThem) {
    ZVTApplicationForwarder::reset();
    ZVTAppDelegateForwarder::resetSharedInstance();
    auto forwarder = ZVTAppDelegateForwarder::sharedInstance();
    forwarder->setHostDelegate("DemoHost", {ZVTApplicationForwarder::kReportExceptionCallback,
                                            ZVTApplicationForwarder::kRunEventCallback});
    using Previous = std::function<void(const ZVCrashExceptionRecord&)>;
    int reported = 0;
    const Previous previous = [&](const ZVCrashExceptionRecord& r) {
        EXPECT_EQ(r.reason, "in handler");
        ++reported;
    };
    const std::function<void()> dispatch = [] { throw std::runtime_error("in handler"); };
    auto ran = [&] {
        auto result = forwarder->forward(ZVTApplicationForwarder::kRunEventCallback,
                                         {dispatch, previous, false});
        return std::any_cast<bool>(result);
    };
    EXPECT_FALSE(ran());  // not installed yet: the host dispatches itself
    EXPECT_EQ(reported, 0);

    auto& defaults = platform::UserDefaults::standard();
    defaults.setBool(ZVTApplicationForwarder::kCrashOnExceptionsKey, true);
    const auto savedLookup = ZVTApplicationForwarder::infoBoolLookup();
    ZVTApplicationForwarder::infoBoolLookup() = [](const std::string&) { return std::nullopt; };
    ZVTApplicationForwarder::registerForwarding();
    EXPECT_EQ(forwarder->routedCallbacks(),
              (std::set<std::string>{ZVTApplicationForwarder::kReportExceptionCallback,
                                     ZVTApplicationForwarder::kRunEventCallback}));
    EXPECT_TRUE(ran());
    EXPECT_EQ(reported, 1);
    forwarder->forward(ZVTApplicationForwarder::kReportExceptionCallback,
                       {ZVCrashExceptionRecord{"std::runtime_error", "reported", {}}});

    defaults.removeObjectForKey(ZVTApplicationForwarder::kCrashOnExceptionsKey);
    ZVTApplicationForwarder::reset();
    ZVTApplicationForwarder::infoBoolLookup() = savedLookup;
    EXPECT_FALSE(ran());  // the listener is gone with the reset
    ZVTAppDelegateForwarder::resetSharedInstance();
}

}  // namespace
