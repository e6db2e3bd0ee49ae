#include "tests/ZevOzozidZerevuziz/ZVZServiceFixture.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTStartSessionLog.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTUserIdContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <thread>

namespace {

using zvt_test::LogCapture;
using zvz_test::ServiceTest;

TEST_F(ServiceTest, NothingIsStoredBeforeStartOrWhileDisabled) {
    LogCapture capture;
    service->trackEvent("early", std::nullopt, nullptr, 1);
    EXPECT_EQ(capture.count(ZVTLogLevelError, "Zerevuziz service hasn't been started."), 1u);
    EXPECT_TRUE(group->units.empty());

    start();
    service->setEnabled(false);
    capture.clear();
    service->trackEvent("off", std::nullopt, nullptr, 1);
    service->trackPageInstance("off", std::nullopt);
    EXPECT_TRUE(capture.atLevel(ZVTLogLevelError).empty());
    EXPECT_TRUE(unit().items.empty());
    EXPECT_FALSE(unit().enabled);
    EXPECT_FALSE(unit("Zerevuziz_critical").enabled);
    EXPECT_FALSE(service->sessionTracker()->isStarted());
    EXPECT_FALSE(ZVTSessionContext::sharedInstance().sessionId());

    service->setEnabled(true);  // a new session at once
    EXPECT_EQ(logsOf<ZVTStartSessionLog>().size(), 1u);
    EXPECT_TRUE(ZVTSessionContext::sharedInstance().sessionId());
}

TEST_F(ServiceTest, FlagsPickTheUnit) {
    start();
    struct Case {
        uint64_t flags;
        const char* unit;
        uint64_t stored;
        bool warned;
    };
    for (const Case c :
         {Case{0, "Zerevuziz", 1, true}, Case{1, "Zerevuziz", 1, false},
          Case{2, "Zerevuziz_critical", 2, false}, Case{3, "Zerevuziz", 1, true},
          Case{256, "Zerevuziz", 1, true}, Case{0x102, "Zerevuziz_critical", 2, false}}) {
        SCOPED_TRACE(c.flags);
        LogCapture capture;
        const size_t before = logsOf<ZVTEventLog>(c.unit).size();
        service->trackEvent("e", std::nullopt, nullptr, c.flags);
        auto events = logsOf<ZVTEventLog>(c.unit);
        ASSERT_EQ(events.size(), before + 1);
        EXPECT_EQ(unit(c.unit).items.back().flags, c.stored);
        EXPECT_EQ(capture.count(ZVTLogLevelWarning, "received, using normal as a default."),
                  c.warned ? 1u : 0u);
        EXPECT_TRUE(events.back()->eventId());
        EXPECT_EQ(events.back()->sid(), ZVTSessionContext::sharedInstance().sessionId());
    }
}

TEST_F(ServiceTest, TransmissionInterval) {
    struct Case {
        uint64_t seconds;
        uint64_t kept;
    };
    for (const Case c : {Case{5, 6}, Case{6, 6}, Case{86400, 86400}, Case{86401, 86400}}) {
        LogCapture capture;
        service->setTransmissionInterval(c.seconds);
        EXPECT_EQ(service->flushInterval(), c.kept);
        EXPECT_EQ(capture.count(ZVTLogLevelError, "The transmission interval is not valid"),
                  c.seconds == c.kept ? 0u : 1u);
    }
    service->setTransmissionInterval(60);
    start();
    LogCapture capture;
    service->setTransmissionInterval(30);
    EXPECT_EQ(capture.count(ZVTLogLevelError, "should be set before"), 1u);
    EXPECT_EQ(unit().configuration().flushInterval, 60u);
    EXPECT_EQ(unit("Zerevuziz/one").configuration().flushInterval, 60u);
    EXPECT_EQ(unit("Zerevuziz_critical").configuration().flushInterval, 6u);
}

TEST_F(ServiceTest, PropertiesOfZevOzozidEventsAndPages) {
    start();
    LogCapture capture;
    service->trackEvent("e", ZVTZerevuziz::StringProperties{{"a", "1"}, {"gone", std::nullopt}},
                        nullptr, 1);
    EXPECT_EQ(capture.count(ZVTLogLevelWarning, "invalid value for key gone"), 1u);
    auto bag = std::make_shared<ZVTEventProperties>();
    for (int i = 0; i < 21; ++i) bag->setInt64(i, "k" + std::to_string(i));
    service->trackEventTyped("typed", bag, nullptr, 1);
    service->trackEvent("none", std::nullopt, nullptr, 1);
    service->trackPageInstance(std::string(257, 'p'), ZVTZerevuziz::StringProperties{{"x", "y"}});
    service->trackPageInstance("", std::nullopt);  // refused by the filter

    auto events = logsOf<ZVTEventLog>();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0]->typedProperties()->count(), 1u);
    EXPECT_EQ(events[1]->typedProperties()->count(), 20u);
    EXPECT_EQ(bag->count(), 21u);
    EXPECT_FALSE(events[2]->typedProperties());
    EXPECT_FALSE(events[2]->serializeToDictionary().contains("typedProperties"));
    auto pages = logsOf<ZVTPageLog>();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0]->name()->size(), 256u);
    EXPECT_EQ(pages[0]->properties()->at("x"), "y");
    EXPECT_EQ(unit().filtered, 1);
    EXPECT_EQ(capture.count(ZVTLogLevelError, "page name cannot be null or empty"), 1u);
}

TEST_F(ServiceTest, DefaultTargetCarriesTheUserId) {
    ZVTUserIdContext::sharedInstance().setUserId(std::string("alice"));
    start(std::string("tok-en"));
    auto bag = std::make_shared<ZVTEventProperties>();
    for (int i = 0; i < 21; ++i) bag->setInt64(i, "k" + std::to_string(i));
    service->trackEventTyped("e", bag, nullptr, 1);
    auto events = logsOf<ZVTEventLog>();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]->userId(), "alice");
    EXPECT_EQ(events[0]->transmissionTargetTokens(), ZVTAbstractLog::TokenSet{"tok-en"});
    EXPECT_EQ(events[0]->typedProperties()->count(), 21u);  // not validated for a target

    auto other = service->transmissionTargetForToken("other-token");
    service->trackEvent("o", std::nullopt, other, 1);
    EXPECT_FALSE(logsOf<ZVTEventLog>().back()->userId());

    LogCapture capture;
    other->setEnabled(false);
    service->trackEvent("dropped", std::nullopt, other, 1);
    EXPECT_EQ(capture.count(ZVTLogLevelError, "This transmission target is disabled."), 1u);
    EXPECT_EQ(logsOf<ZVTEventLog>().size(), 2u);
}

TEST_F(ServiceTest, BadStoredFlagAndOddTokens) {
    LogCapture capture;
    ZVTZevOzozidUserDefaults::shared().setObject(platform::UserDefaults::Value(std::string("no")),
                                                 "ZerevuzizIsEnabled");
    EXPECT_TRUE(service->isEnabled());  // a value of the wrong kind reads as absent
    start(std::string("-starts-with-dash"));
    auto target = service->defaultTransmissionTarget();
    ASSERT_TRUE(target);
    EXPECT_TRUE(target->isEnabled());
    service->trackEvent(std::string(10'000, 'x'), ZVTZerevuziz::StringProperties{{"\xFF", "\xC3"}},
                        nullptr, 1);
    auto events = logsOf<ZVTEventLog>();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]->name()->size(), 256u);
    EXPECT_NO_THROW(ZVTUtility::jsonText(events[0]->serializeToDictionary(), false));
}

TEST_F(ServiceTest, OneTargetPerTokenAcrossThreads) {
    start();
    std::vector<ZVTZerevuziz::TargetPtr> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back(
            [&, i] { seen[i] = service->transmissionTargetForToken("same-token"); });
    }
    for (auto& t : threads) t.join();
    for (auto& target : seen) EXPECT_EQ(target, seen[0]);
    auto child = seen[0]->transmissionTargetForToken("child-token");
    EXPECT_EQ(seen[0]->transmissionTargetForToken("child-token"), child);
}

TEST_F(ServiceTest, SendResultsReachTheDelegate) {
    struct Recorder : ZVTZerevuzizDelegate {
        void analyticsWillSendEventLog(ZVTZerevuziz&, ZVTEventLog&) override { calls += "E"; }
        void analyticsDidSucceedSendingPageLog(ZVTZerevuziz&, ZVTPageLog&) override {
            calls += "P";
        }
        void analyticsDidFailSendingEventLog(ZVTZerevuziz&, ZVTEventLog&,
                                             const ZVTError&) override {
            calls += "F";
        }
        std::string calls;
    };
    auto recorder = std::make_shared<Recorder>();
    service->setDelegateInstance(recorder);
    ZVTEventLog event;
    ZVTPageLog page;
    ZVTStartSessionLog startLog;
    zvz_test::FakeChannelUnit channel;
    service->channelWillSendLog(channel, event);
    service->channelWillSendLog(channel, page);  // not overridden: nothing
    service->channelDidSucceedSendingLog(channel, page);
    service->channelDidFailSendingLog(channel, event, ZVTError{});
    service->channelWillSendLog(channel, startLog);
    service->channelDidSucceedSendingLog(channel, startLog);
    EXPECT_EQ(recorder->calls, "EPF");
}

}  // namespace
