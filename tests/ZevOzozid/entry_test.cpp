#include "tests/ZevOzozid/ZVTEntryFixture.h"
#include "tests/ZevOzozid/ZVTHttpTestSupport.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTStartServiceLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"

#include <gtest/gtest.h>

namespace {

using testing_support::MainQueuePump;
using zvt_test::EntryFixture;
using zvt_test::EntryRecorder;
using zvt_test::FakeNetwork;
using zvt_test::LogCapture;
using zvt_test::TestServiceClass;
using Alpha = TestServiceClass<0>;
using Beta = TestServiceClass<1>;
using Gamma = TestServiceClass<2>;

struct EntryTest : ::testing::Test {
    FakeNetwork network;
    EntryFixture sdk;
    LogCapture logs;

    // A recorder on the started SDK's group.
    static std::shared_ptr<EntryRecorder> record() {
        auto recorder = std::make_shared<EntryRecorder>();
        ZVTZevOzozid::sharedInstance().channelGroup()->addDelegate(recorder);
        return recorder;
    }
    static std::vector<std::string> servicesOf(const std::shared_ptr<ZVTLog>& log) {
        auto start = std::dynamic_pointer_cast<ZVTStartServiceLog>(log);
        return start && start->services() ? *start->services() : std::vector<std::string>{"?"};
    }
};

TEST_F(EntryTest, ASecondApplicationStartFailsWithTwoAssertLines) {
    ZVTZevOzozid::start("secret", std::vector{Alpha::cls()});
    ZVTZevOzozid::start("other", std::vector{Alpha::cls(), Beta::cls()});
    const auto asserts = logs.atLevel(ZVTLogLevelAssert);
    ASSERT_EQ(asserts.size(), 2u);
    EXPECT_EQ(asserts[0].text, "Zev Ozozid SDK has already been configured.");
    EXPECT_EQ(asserts[1].text, "Zev Ozozid SDK configuration failed.");
    EXPECT_EQ(Alpha::instance->starts, 1);
    EXPECT_EQ(Alpha::instance->updates, 0);
    EXPECT_EQ(Beta::instance->starts, 0);
    EXPECT_EQ(ZVTZevOzozid::sharedInstance().appSecret(), "secret");
    EXPECT_TRUE(ZVTZevOzozid::isConfigured());
}

TEST_F(EntryTest, ALibraryStartThenAnApplicationStartUpdatesAndSendsOneLog) {
    ZVTZevOzozid::startFromLibraryWithServices(std::vector{Gamma::cls()});
    EXPECT_TRUE(ZVTZevOzozid::sharedInstance().isSdkConfigured());
    EXPECT_FALSE(ZVTZevOzozid::isConfigured());
    auto recorder = record();
    ZVTZevOzozid::start("appsecret;target=tok-en", std::vector{Gamma::cls(), Alpha::cls()});
    EXPECT_EQ(logs.count(ZVTLogLevelAssert, ""), 0u);
    EXPECT_EQ(ZVTZevOzozid::sharedInstance().appSecret(), "appsecret");
    EXPECT_EQ(ZVTZevOzozid::sharedInstance().defaultTransmissionTargetToken(), "tok-en");
    EXPECT_EQ(Gamma::instance->starts, 1);
    EXPECT_EQ(Gamma::instance->updates, 1);
    EXPECT_TRUE(Gamma::instance->isStartedFromApplication());
    EXPECT_EQ(Alpha::instance->starts, 1);

    const auto prepared = recorder->prepared();
    ASSERT_EQ(prepared.size(), 1u);
    EXPECT_EQ(servicesOf(prepared[0]), (std::vector<std::string>{"Gamma", "Alpha"}));
    EXPECT_TRUE(std::dynamic_pointer_cast<ZVTStartServiceLog>(prepared[0])->isCSCollectorEnabled());
    // The queue is serial: once the application's log is stored, a library log would be too.
    ASSERT_TRUE(MainQueuePump::until([&] { return recorder->completed.load() == 1; }));
    EXPECT_EQ(ZVTLogDBStorage().countLogs(), 1u);
}

TEST_F(EntryTest, ServicesStartByDescendingPriorityEqualOnesInTheGivenOrder) {
    Beta::instance->setPriority(999);
    ZVTZevOzozid::start("secret", std::vector{Alpha::cls(), Gamma::cls(), Beta::cls()});
    EXPECT_EQ(zvt_test::TestService::startOrder(),
              (std::vector<std::string>{"Beta", "Alpha", "Gamma"}));
    EXPECT_EQ(logs.count(ZVTLogLevelVerbose,
                         "Start services ZVTBeta, ZVTAlpha, ZVTGamma from an application"),
              1u);
}

TEST_F(EntryTest, TheEnvironmentSwitchDisablesNamedServices) {
    const struct {
        const char* value;
        bool alphaStarts, betaStarts;
    } cases[] = {{" Alpha , Beta ", false, false},
                 {"All", false, false},
                 {"alpha,BETA", true, true},
                 {"Beta", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EntryFixture fresh;
        LogCapture lines;
        setenv("RAZ_URUZAD_ODIZEVO", c.value, 1);
        ZVTZevOzozid::start("secret", std::vector{Alpha::cls(), Beta::cls()});
        EXPECT_EQ(Alpha::instance->starts, c.alphaStarts ? 1 : 0);
        EXPECT_EQ(Beta::instance->starts, c.betaStarts ? 1 : 0);
        if (!c.alphaStarts) {
            EXPECT_EQ(lines.count(ZVTLogLevelDebug,
                                  "Environment variable to disable service has "
                                  "been set; not starting service ZVTAlpha"),
                      1u);
        }
    }
}

TEST_F(EntryTest, AServiceThatNeedsASecretIsRefusedWithATokenOnly) {
    for (const char* secret : {"target=only-a-token", "target="}) {
        SCOPED_TRACE(secret);
        EntryFixture fresh;
        LogCapture lines;
        ZVTZevOzozid::start(secret, std::vector{Alpha::cls(), Gamma::cls()});
        EXPECT_EQ(Alpha::instance->starts, 0);
        EXPECT_EQ(Gamma::instance->starts, 1);
        EXPECT_EQ(ZVTZevOzozid::sharedInstance().appSecret(), std::nullopt);
        EXPECT_EQ(lines.count(ZVTLogLevelError,
                              "Cannot start service ZVTAlpha. Zev Ozozid was started without app "
                              "secret, but the service requires it."),
                  1u);
        ZVTZevOzozid::startService(ZVTServiceClass{});
        EXPECT_EQ(lines.count(ZVTLogLevelError, "Provided value is nil or invalid."), 1u);
    }
}

TEST_F(EntryTest, StorageSizeRequests) {
    std::vector<std::string> order;
    ZVTZevOzozid::setMaxStorageSize(24575, [&](bool ok) {
        order.push_back(ok ? "true" : "false");
        order.push_back(std::to_string(logs.atLevel(ZVTLogLevelWarning).size()));
    });
    EXPECT_EQ(order, (std::vector<std::string>{"false", "0"}));  // before the warning
    EXPECT_EQ(logs.count(ZVTLogLevelWarning,
                         "Cannot set storage size to 24575 bytes, minimum value is 24576 bytes"),
              1u);

    std::atomic<int> answer{-1};
    ZVTZevOzozid::setMaxStorageSize(24576, [&](bool ok) { answer = ok ? 1 : 0; });
    EXPECT_EQ(answer.load(), -1);  // kept until the group exists
    bool second = true;
    ZVTZevOzozid::setMaxStorageSize(40000, [&](bool ok) { second = ok; });
    EXPECT_FALSE(second);
    EXPECT_EQ(logs.count(ZVTLogLevelWarning,
                         "setMaxStorageSize:completionHandler: may only be called once per app "
                         "launch"),
              1u);
    ZVTZevOzozid::start("secret", std::vector{Alpha::cls()});
    ASSERT_TRUE(MainQueuePump::until([&] { return answer.load() != -1; }));
    EXPECT_EQ(answer.load(), 1);
}

TEST_F(EntryTest, StorageSizeAfterTheApplicationConfiguredIsRefused) {
    ZVTZevOzozid::configure();
    bool first = true, second = true;
    ZVTZevOzozid::setMaxStorageSize(24576, [&](bool ok) { first = ok; });
    ZVTZevOzozid::setMaxStorageSize(24576, [&](bool ok) { second = ok; });
    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
    EXPECT_EQ(logs.count(ZVTLogLevelWarning,
                         "Unable to set storage size after the application has configured Zev "
                         "Ozozid"),
              1u);
    EXPECT_EQ(logs.count(ZVTLogLevelWarning, "may only be called once per app launch"), 1u);
}

TEST(EntryLogLevel, AssertUntilConfiguredThenWarningUnlessTheHostChose) {
    FakeNetwork network;
    {
        EntryFixture sdk;
        EXPECT_EQ(ZVTZevOzozid::logLevel(), ZVTLogLevelAssert);
        ZVTZevOzozid::configure();
        EXPECT_EQ(ZVTZevOzozid::logLevel(), ZVTLogLevelWarning);
    }
    EntryFixture sdk;
    ZVTZevOzozid::setLogLevel(ZVTLogLevelDebug);
    ZVTZevOzozid::configure();
    EXPECT_EQ(ZVTZevOzozid::logLevel(), ZVTLogLevelDebug);
}

TEST_F(EntryTest, ServiceSwitchesFollowTheWholeSdk) {
    ZVTZevOzozid::start("secret", std::vector{Alpha::cls()});
    auto& alpha = *Alpha::instance;
    alpha.classSetEnabled(true);  // the same value: nothing stored
    EXPECT_FALSE(EntryFixture::settings().objectForKey("AlphaIsEnabled"));

    ZVTZevOzozid::setEnabled(false);  // the entry switches its services off while updating
    EXPECT_EQ(EntryFixture::settings().boolForKey("ZevOzozidIsEnabled"), false);
    EXPECT_EQ(EntryFixture::settings().boolForKey("AlphaIsEnabled"), false);
    EXPECT_FALSE(ZVTZevOzozid::isEnabled());

    alpha.classSetEnabled(true);  // refused while the SDK is off
    EXPECT_EQ(EntryFixture::settings().boolForKey("AlphaIsEnabled"), false);
    EXPECT_EQ(logs.count(ZVTLogLevelError,
                         "The SDK is disabled. Re-enable the whole SDK from "
                         "ZevOzozid first before enabling Alpha service."),
              1u);

    ZVTZevOzozid::setEnabled(true);
    EXPECT_EQ(EntryFixture::settings().boolForKey("AlphaIsEnabled"), true);
    EXPECT_TRUE(alpha.classIsEnabled());
}

TEST_F(EntryTest, StartingWhileDisabledHoldsTheStartLogUntilEnabled) {
    EntryFixture::settings().setObject(platform::UserDefaults::Value(false), "ZevOzozidIsEnabled");
    ZVTZevOzozid::start("secret", std::vector{Alpha::cls()});
    EXPECT_EQ(Alpha::instance->starts, 1);
    EXPECT_EQ(EntryFixture::settings().boolForKey("AlphaIsEnabled"), false);
    auto recorder = record();
    ZVTZevOzozid::setEnabled(true);
    const auto prepared = recorder->prepared();
    ASSERT_EQ(prepared.size(), 1u);
    EXPECT_EQ(servicesOf(prepared[0]), std::vector<std::string>{"Alpha"});
}

TEST_F(EntryTest, InstallIdIsStoredInUpperCaseAndKept) {
    const std::string id = ZVTZevOzozid::installId().UUIDString();
    EXPECT_EQ(EntryFixture::settings().stringForKey("InstallId"), id);
    EXPECT_EQ(id.size(), 36u);
    EXPECT_EQ(id.find_first_of("abcdef"), std::string::npos);
    EntryFixture::relaunch();
    EXPECT_EQ(ZVTZevOzozid::installId().UUIDString(), id);

    EntryFixture::settings().setObject(platform::UserDefaults::Value("not-a-uuid"), "InstallId");
    EntryFixture::relaunch();
    const std::string fresh = ZVTZevOzozid::installId().UUIDString();
    EXPECT_NE(fresh, id);
    EXPECT_EQ(EntryFixture::settings().stringForKey("InstallId"), fresh);
}

TEST_F(EntryTest, SwitchesBeforeConfigureAreOnlyStored) {
    ZVTZevOzozid::setNetworkRequestsAllowed(false);
    EXPECT_FALSE(ZVTZevOzozid::isNetworkRequestsAllowed());
    EXPECT_EQ(logs.count(ZVTLogLevelError, "Zev Ozozid SDK hasn't been configured."), 1u);
    EXPECT_FALSE(ZVTZevOzozid::isEnabled());
    ZVTZevOzozid::setLogUrl("http://127.0.0.1:9/custom");
    ZVTZevOzozid::start("secret", std::vector{Alpha::cls()});
    EXPECT_EQ(ZVTZevOzozid::sharedInstance().channelGroup()->logUrl(), "http://127.0.0.1:9/custom");
    ZVTZevOzozid::setLogUrl("http://127.0.0.1:9/later");
    EXPECT_EQ(ZVTZevOzozid::sharedInstance().channelGroup()->logUrl(), "http://127.0.0.1:9/later");
    EXPECT_EQ(logs.count(ZVTLogLevelInfo,
                         "The log url of Zev Ozozid endpoint was changed to "
                         "http://127.0.0.1:9/later"),
              1u);
    ZVTZevOzozid::setUserId("alice");
    EXPECT_EQ(ZVTZevOzozid::userId(), "alice");
}

TEST(ZVTZevOzozid, TracerFromTheProcessStatus) {
    const struct {
        const char* status;
        std::optional<bool> traced;
    } cases[] = {{"Name:\tgridlark\nTracerPid:\t0\nUid:\t1000\n", false},
                 {"Name:\tgridlark\nTracerPid:\t4321\n", true},
                 {"Name:\tgridlark\n", std::nullopt},
                 {"TracerPid:\t\n", std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        EXPECT_EQ(ZVTZevOzozid::tracedFromStatus(c.status), c.traced);
    }
    EXPECT_EQ(ZVTZevOzozid::isDebuggerAttached(), ZVTZevOzozid::isDebuggerAttached());
}

// A run that never starts the SDK (telemetry switched off) writes none of its settings: the
// questions the program asks at quit make no SDK.
TEST(UnstartedSdk, AnsweringTheQuitQuestionsWritesNothing) {
    EntryFixture sdk;
    EXPECT_FALSE(ZVTZevOzozid::isConfigured());
    EXPECT_TRUE(ZVTZevOzozid::waitForLogsQueue(std::chrono::milliseconds(0)));
    EXPECT_EQ(platform::UserDefaults::standard().allKeys(), std::vector<std::string>{});
}

}  // namespace
