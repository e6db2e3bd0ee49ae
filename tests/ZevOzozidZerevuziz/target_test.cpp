#include "tests/ZevOzozidZerevuziz/ZVZServiceFixture.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTTicketCache.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

namespace {

using namespace std::chrono;
using zvt_test::LogCapture;
using zvz_test::ServiceTest;

class TargetTest : public ServiceTest {
  protected:
    std::vector<std::shared_ptr<ZVTCommonSchemaLog>> csLogs() {
        return logsOf<ZVTCommonSchemaLog>("Zerevuziz/one");
    }
    ZVTJson lastData() {
        auto logs = csLogs();
        if (logs.empty() || !logs.back()->data()) return ZVTJson();
        return logs.back()->data()->properties().value_or(ZVTJson());
    }
};

TEST_F(TargetTest, EnabledStateFollowsTheTree) {
    auto early = service->transmissionTargetForToken("early-token");
    EXPECT_FALSE(early->isEnabled());  // made before the service was started
    start();
    auto root = service->transmissionTargetForToken("root-token");
    auto child = root->transmissionTargetForToken("child-token");
    auto grandchild = child->transmissionTargetForToken("grand-token");
    EXPECT_TRUE(grandchild->isEnabled());

    root->setEnabled(false);
    for (auto& t : {root, child, grandchild}) EXPECT_FALSE(t->isEnabled());
    auto late = root->transmissionTargetForToken("late-token");
    EXPECT_FALSE(late->isEnabled());

    LogCapture capture;
    child->setEnabled(true);
    EXPECT_EQ(capture.count(ZVTLogLevelWarning, "Can't enable; parent transmission target"), 1u);
    EXPECT_FALSE(child->isEnabled());
    child->pause();
    EXPECT_EQ(capture.count(ZVTLogLevelError, "This transmission target is disabled."), 1u);

    root->setEnabled(true);
    for (auto& t : {root, child, grandchild, late}) EXPECT_TRUE(t->isEnabled());
    EXPECT_EQ(ZVTZevOzozidUserDefaults::shared().boolForKey("ZerevuzizIsEnabled/root"), true);
    root->pause();
    EXPECT_TRUE(unit("Zerevuziz/one").pausedTokens.contains("root-token"));
    EXPECT_TRUE(unit("Zerevuziz_critical/one").pausedTokens.contains("root-token"));
    root->resume();
    EXPECT_TRUE(unit("Zerevuziz/one").pausedTokens.empty());
}

TEST_F(TargetTest, PropertiesFlowDownUnlessSetNearer) {
    start();
    auto root = service->transmissionTargetForToken("root-token");
    auto child = root->transmissionTargetForToken("child-token");
    root->propertyConfigurator()->setEventPropertyString("root", "shared");
    root->propertyConfigurator()->setEventPropertyString("root", "fromRoot");
    root->propertyConfigurator()->setEventPropertyString("root", "byEvent");
    child->propertyConfigurator()->setEventPropertyString("child", "shared");
    child->propertyConfigurator()->setEventPropertyInt64(5, "count.laps");
    child->trackEvent("e", ZVTZerevuziz::StringProperties{{"byEvent", "event"}});
    EXPECT_EQ(lastData(), ZVTJson::parse(R"({"shared":"child","count":{"laps":5},)"
                                         R"("fromRoot":"root","byEvent":"event"})"));
    auto metadata = csLogs().back()->ext()->metadataExt()->metadata();
    EXPECT_EQ(*metadata, ZVTJson::parse(R"({"f":{"count":{"f":{"laps":4}}}})"));

    LogCapture capture;
    root->propertyConfigurator()->removeEventPropertyForKey(std::nullopt);
    EXPECT_EQ(capture.count(ZVTLogLevelError, "Event property key to remove cannot be nil."), 1u);
    root->propertyConfigurator()->removeEventPropertyForKey(std::string("fromRoot"));
    child->trackEvent("f");
    EXPECT_FALSE(lastData().contains("fromRoot"));
}

TEST_F(TargetTest, CommonFieldsAndDeviceId) {
    start();
    auto root = service->transmissionTargetForToken("root-token");
    auto child = root->transmissionTargetForToken("child-token");
    root->propertyConfigurator()->setAppVersion("1.2");
    root->propertyConfigurator()->setAppName("Gridlark");
    child->propertyConfigurator()->setAppName("Child");
    root->propertyConfigurator()->setUserId("alice");
    root->propertyConfigurator()->setUserId("");  // refused: the old id stays
    EXPECT_EQ(root->propertyConfigurator()->userId(), "c:alice");
    root->propertyConfigurator()->collectDeviceId();
    const auto deviceId = root->propertyConfigurator()->deviceId();
    ASSERT_TRUE(deviceId);
    EXPECT_TRUE(deviceId->starts_with("u:"));
    EXPECT_TRUE(ZVTUUID::fromString(deviceId->substr(2)));
    EXPECT_EQ(ZVTPropertyConfigurator::getDeviceIdentifier(), *deviceId);

    child->trackEvent("c");
    auto ext = csLogs().back()->ext();
    EXPECT_EQ(ext->appExt()->ver(), "1.2");
    EXPECT_EQ(ext->appExt()->name(), "Child");
    EXPECT_EQ(ext->userExt()->localId(), "c:alice");
    EXPECT_FALSE(ext->deviceExt()->localId());

    root->trackEvent("r");
    ext = csLogs().back()->ext();
    EXPECT_EQ(ext->appExt()->name(), "Gridlark");
    EXPECT_EQ(ext->deviceExt()->localId(), deviceId);
    EXPECT_EQ(csLogs().back()->tag(), std::static_pointer_cast<void>(root));
}

// Hands out completion blocks and counts the requests.
struct TokenSource : ZVTZerevuzizAuthenticationProviderDelegate {
    void authenticationProviderAcquireToken(ZVTZerevuzizAuthenticationProvider&,
                                            ZVTAcquireTokenCompletionBlock completion) override {
        blocks.push_back(std::move(completion));
    }
    std::vector<ZVTAcquireTokenCompletionBlock> blocks;
};

TEST_F(TargetTest, TicketsAreRefreshedTenMinutesBeforeExpiry) {
    start();
    auto target = service->transmissionTargetForToken("root-token");
    LogCapture capture;
    ZVTZerevuzizTransmissionTarget::addAuthenticationProvider(nullptr);
    EXPECT_EQ(capture.count(ZVTLogLevelError, "Authentication provider may not be null."), 1u);

    auto source = std::make_shared<TokenSource>();
    auto provider = std::make_shared<ZVTZerevuzizAuthenticationProvider>(
        ZVTZerevuzizAuthenticationTypeUserTicket, "ticket-key", source);
    ZVTZerevuzizTransmissionTarget::addAuthenticationProvider(provider);
    ASSERT_EQ(source->blocks.size(), 1u);
    target->trackEvent("while outstanding");
    EXPECT_EQ(source->blocks.size(), 1u);

    source->blocks[0](std::string("T1"), ZVTUtility::currentDate() + minutes(11));
    EXPECT_FALSE(provider->isRequestOutstanding());
    EXPECT_EQ(ZVTTicketCache::sharedInstance().ticketFor(ZVTUtility::sha256("ticket-key")), "p:T1");
    target->trackEvent("11 minutes left");
    EXPECT_EQ(source->blocks.size(), 1u);
    EXPECT_EQ(csLogs().back()->ext()->protocolExt()->ticketKeys(),
              std::vector<std::string>{ZVTUtility::sha256("ticket-key")});

    clock.advance(minutes(1));
    target->trackEvent("10 minutes left");
    EXPECT_EQ(source->blocks.size(), 2u);
    target->trackEvent("still outstanding");
    EXPECT_EQ(source->blocks.size(), 2u);

    source->blocks[1](std::nullopt, ZVTUtility::currentDate());
    EXPECT_EQ(capture.count(ZVTLogLevelError, "Token must not be null"), 1u);
    source->blocks[1](std::string("late"), ZVTUtility::currentDate());  // nothing outstanding
    EXPECT_EQ(capture.count(ZVTLogLevelDebug, "Got result back"), 2u);
}

}  // namespace
