#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "platform/Clock.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTSessionContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTUserIdContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono;
using zvt_test::LogCapture;

class ContextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.install();
        clock.setWallTime(platform::WallTime(seconds(1'800'000'000)));
    }
    void tick() { clock.advance(seconds(1)); }
    ZVTDate now() const { return ZVTUtility::currentDate(); }

    platform::FakeClock clock;
    zvt_test::SettingsFixture settings;
};

TEST_F(ContextTest, SessionHistoryKeepsOneEntryPerLaunch) {
    const ZVTDate launch1 = now();
    {
        ZVTSessionContext first(settings.settings());
        EXPECT_EQ(first.sessionHistory().size(), 1u);
        EXPECT_FALSE(settings.settings().dataForKey("SessionIdHistory"));
        tick();
        first.setSessionId("A");
        tick();
        first.setSessionId("A2");
        EXPECT_EQ(first.sessionHistory().size(), 1u);
        EXPECT_EQ(first.sessionId(), "A2");
    }
    const ZVTDate a2Set = launch1 + seconds(2);
    tick();
    settings.relaunch();
    ZVTSessionContext second(settings.settings());
    ASSERT_EQ(second.sessionHistory().size(), 2u);
    tick();
    second.setSessionId("B");
    const ZVTDate bSet = now();
    EXPECT_EQ(second.sessionIdAt(bSet - milliseconds(1)), "A2");
    EXPECT_EQ(second.sessionIdAt(bSet), "A2");  // an equal time does not match
    EXPECT_EQ(second.sessionIdAt(bSet + milliseconds(1)), "B");
    EXPECT_EQ(second.sessionIdAt(a2Set), std::nullopt);
    // A crash of the first launch, stamped after the second began: the first launch's session.
    EXPECT_EQ(second.sessionIdOfEarlierLaunchAt(bSet + milliseconds(1)), "A2");

    second.clearSessionHistoryAndKeepCurrentSession(false);
    EXPECT_TRUE(second.sessionHistory().empty());
    second.setSessionId(std::nullopt);
    ASSERT_EQ(second.sessionHistory().size(), 1u);
    settings.relaunch();
    ZVTSessionContext third(settings.settings());
    EXPECT_EQ(third.sessionHistory().size(), 2u);
}

TEST_F(ContextTest, UserIdHistoryAndLookup) {
    {
        ZVTUserIdContext first(settings.settings());
        EXPECT_TRUE(settings.settings().dataForKey("UserIdHistory"));
        EXPECT_EQ(first.userIdHistory().size(), 1u);
        LogCapture log;
        tick();
        first.setUserId("A");
        first.setUserId("A");
        EXPECT_EQ(log.count(ZVTLogLevelVerbose, "Stored new userId:A"), 1u);
    }
    const ZVTDate t1 = now();
    settings.relaunch();
    tick();
    ZVTUserIdContext second(settings.settings());
    second.setUserId("B");
    const ZVTDate t2 = now();
    settings.relaunch();
    tick();
    ZVTUserIdContext third(settings.settings());
    third.setUserId("C");
    const ZVTDate t3 = now();
    ASSERT_EQ(third.userIdHistory().size(), 3u);
    EXPECT_EQ(third.userIdAt(t2 + milliseconds(500)), "B");
    EXPECT_EQ(third.userIdAt(t2), "A");
    EXPECT_EQ(third.userIdAt(t1 - seconds(5)), std::nullopt);
    EXPECT_EQ(third.userIdAt(t3 + seconds(1)), "C");

    third.setUserId(std::nullopt);
    tick();
    EXPECT_EQ(third.userIdAt(now()), std::nullopt);  // a nil entry ends the search

    third.clearUserIdHistory();
    settings.relaunch();
    ZVTUserIdContext fourth(settings.settings());
    EXPECT_EQ(fourth.userIdHistory().size(), 2u);
}

TEST_F(ContextTest, UserIdListenersAreWeakAndToldOutsideTheLock) {
    struct Listener : ZVTUserIdContextDelegate {
        void userIdContextDidUpdateUserId(ZVTUserIdContext& context,
                                          const std::optional<std::string>& id) override {
            seen.push_back(id);
            EXPECT_EQ(context.userId(), id);
        }
        std::vector<std::optional<std::string>> seen;
    };
    ZVTUserIdContext context(settings.settings());
    auto listener = std::make_shared<Listener>();
    context.addDelegate(listener);
    context.setUserId("x");
    context.removeDelegate(listener);
    context.setUserId("y");
    auto gone = std::make_shared<Listener>();
    context.addDelegate(gone);
    gone.reset();
    context.setUserId("z");
    EXPECT_EQ(listener->seen, (std::vector<std::optional<std::string>>{"x"}));
}

TEST(ZVTUserIdValidation, Rules) {
    LogCapture log;
    EXPECT_TRUE(ZVTUserIdContext::isUserIdValidForZevOzozid(std::nullopt));
    EXPECT_TRUE(ZVTUserIdContext::isUserIdValidForZevOzozid(std::string(256, 'u')));
    EXPECT_FALSE(ZVTUserIdContext::isUserIdValidForZevOzozid(std::string(257, 'u')));
    EXPECT_EQ(log.count(ZVTLogLevelError, "userId is limited to 256 characters."), 1u);

    const std::vector<std::pair<std::optional<std::string>, bool>> cs = {
        {std::nullopt, true}, {"c:x", true}, {"plain", true},
        {"", false},          {"c:", false}, {"d:x", false}};
    for (const auto& [id, ok] : cs) {
        EXPECT_EQ(ZVTUserIdContext::isUserIdValidForCSCollector(id), ok) << id.value_or("nil");
    }
    EXPECT_EQ(log.count(ZVTLogLevelError, "userId prefix must be 'c', 'd' is not supported."), 1u);
    EXPECT_EQ(ZVTUserIdContext::prefixedUserIdFromUserId("alice"), "c:alice");
    EXPECT_EQ(ZVTUserIdContext::prefixedUserIdFromUserId("x:alice"), "x:alice");
    EXPECT_EQ(ZVTUserIdContext::prefixedUserIdFromUserId(std::nullopt), std::nullopt);
}

TEST(ZVTContexts, SharedInstancesResetAndReloadTheStandardStore) {
    ZVTUserIdContext::sharedInstance().setUserId("shared");
    ZVTUserIdContext::resetSharedInstance();
    auto& fresh = ZVTUserIdContext::sharedInstance();
    EXPECT_EQ(fresh.userId(), std::nullopt);
    EXPECT_EQ(fresh.userIdHistory().front()->userId(), "shared");
    ZVTSessionContext::resetSharedInstance();
    EXPECT_EQ(ZVTSessionContext::sharedInstance().sessionId(), std::nullopt);
}

}  // namespace
