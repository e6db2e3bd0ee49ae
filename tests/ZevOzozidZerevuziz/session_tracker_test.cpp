#include "tests/ZevOzozid/ZVTTestSupport.h"
#include "tests/ZevOzozidZerevuziz/ZVZFakeChannel.h"

#include "platform/Clock.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Internals/Session/ZVTSessionTracker.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTStartSessionLog.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTNoAutoAssignSessionIdLog.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono;

// Collects the start-session logs the tracker hands over.
struct Collector : ZVTSessionTrackerDelegate {
    void sessionTrackerProcessLog(ZVTSessionTracker&, const std::shared_ptr<ZVTLog>& log) override {
        logs.push_back(log);
    }
    std::vector<std::shared_ptr<ZVTLog>> logs;
};

struct KeepsSid : ZVTAbstractLog, ZVTNoAutoAssignSessionIdLog {};

class SessionTrackerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.install();
        clock.setWallTime(platform::WallTime(seconds(1'800'000'000)));
        tracker.setDelegate(collector);
    }
    void TearDown() override { tracker.stop(); }

    void resign() { center.post(ZVTSessionTracker::kDidResignActiveNotification); }
    void activate() { center.post(ZVTSessionTracker::kWillBecomeActiveNotification); }
    void wait(int s) { clock.advance(seconds(s)); }
    void logNow() {
        ZVTAbstractLog log;
        tracker.channelPrepareLog(unit, log);
    }

    platform::FakeClock clock;
    zvt_test::SettingsFixture settings;
    ZVTSessionContext context{settings.settings()};
    platform::NotificationCenter center;
    ZVTSessionTracker tracker{context, settings.settings(), center};
    std::shared_ptr<Collector> collector = std::make_shared<Collector>();
    zvz_test::FakeChannelUnit unit;
};

TEST_F(SessionTrackerTest, FirstStartMakesOneSessionAndStampsLogs) {
    settings.settings().setObject(platform::UserDefaults::Value(std::string("x")), "PastSessions");
    ZVTSessionTracker fresh(context, settings.settings(), center);
    EXPECT_FALSE(settings.settings().objectForKey("PastSessions"));

    tracker.start();
    ASSERT_EQ(collector->logs.size(), 1u);
    ASSERT_TRUE(dynamic_cast<ZVTStartSessionLog*>(collector->logs[0].get()));
    const auto sid = context.sessionId();
    ASSERT_TRUE(sid);
    EXPECT_EQ(collector->logs[0]->sid(), sid);
    EXPECT_TRUE(ZVTUUID::fromString(*sid));

    ZVTAbstractLog log;
    tracker.channelPrepareLog(unit, log);
    EXPECT_EQ(log.sid(), sid);
    KeepsSid own;
    own.setSid("mine");
    tracker.channelPrepareLog(unit, own);
    EXPECT_EQ(own.sid(), "mine");

    tracker.start();  // a second start does nothing
    EXPECT_EQ(collector->logs.size(), 1u);
}

TEST_F(SessionTrackerTest, RenewalFollowsInactivityAndLastLog) {
    struct Case {
        int inactive;
        int logAgo;  // -1: no log during the inactivity
        bool renewed;
    };
    for (const Case c :
         {Case{19, -1, false}, Case{20, -1, true}, Case{20, 5, false}, Case{30, 20, true}}) {
        SCOPED_TRACE(testing::Message() << c.inactive << " s inactive, log " << c.logAgo);
        tracker.start();
        wait(60);  // the start's own activity is long past
        const auto before = context.sessionId();
        const size_t logs = collector->logs.size();
        resign();
        if (c.logAgo >= 0) {
            wait(c.inactive - c.logAgo);
            logNow();
            wait(c.logAgo);
        } else {
            wait(c.inactive);
        }
        activate();
        EXPECT_EQ(collector->logs.size(), logs + (c.renewed ? 1 : 0));
        EXPECT_EQ(context.sessionId() != before, c.renewed);
        tracker.stop();
    }
}

TEST_F(SessionTrackerTest, StartSessionLogsAreNotActivity) {
    tracker.start();
    wait(60);
    ZVTStartSessionLog startLog;
    tracker.channelPrepareLog(unit, startLog);
    ZVTAbstractLog startService;
    startService.setType("startService");
    tracker.channelPrepareLog(unit, startService);
    EXPECT_FALSE(startService.sid());
    EXPECT_FALSE(startLog.sid());
    resign();
    wait(20);
    activate();
    EXPECT_EQ(collector->logs.size(), 2u);  // neither log kept the session alive
}

TEST_F(SessionTrackerTest, StopClearsTheSessionAndObservers) {
    tracker.start();
    tracker.stop();
    EXPECT_FALSE(tracker.isStarted());
    EXPECT_FALSE(context.sessionId());
    resign();
    wait(60);
    activate();  // not observed any more
    EXPECT_EQ(collector->logs.size(), 1u);
    tracker.start();  // re-enabling starts a new session at once
    EXPECT_EQ(collector->logs.size(), 2u);
    EXPECT_TRUE(context.sessionId());
}

TEST_F(SessionTrackerTest, ManualModeBeforeAndAfterStart) {
    zvt_test::LogCapture capture;
    tracker.startSession();
    EXPECT_EQ(capture.count(ZVTLogLevelInfo, "manual session tracker is disabled"), 1u);
    EXPECT_TRUE(collector->logs.empty());

    tracker.enableManualSessionTracker();
    tracker.start();
    EXPECT_FALSE(tracker.isStarted());
    EXPECT_FALSE(context.sessionId());
    tracker.applicationDidEnterBackground();
    tracker.applicationWillEnterForeground();
    EXPECT_FALSE(tracker.lastEnteredBackgroundTime());
    EXPECT_EQ(capture.count(ZVTLogLevelInfo, "Skip tracking a session status request"), 2u);
    EXPECT_TRUE(collector->logs.empty());
    tracker.startSession();
    ASSERT_EQ(collector->logs.size(), 1u);
    EXPECT_EQ(capture.count(ZVTLogLevelInfo, "Started a new session: " + *context.sessionId()), 1u);

    ZVTSessionTracker late(context, settings.settings(), center);
    late.start();
    late.enableManualSessionTracker();
    EXPECT_FALSE(late.isManualSessionTrackerEnabled());
    EXPECT_EQ(capture.count(ZVTLogLevelInfo, "should be set before"), 1u);
    late.stop();
}

}  // namespace
