#include "tests/support/MainQueuePump.h"
#include "tests/support/ScopedHook.h"

#include "platform/NotificationCenter.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVT_Reachability.h"

#include <gtest/gtest.h>

#include <atomic>

#include <netinet/in.h>

namespace {

using testing_support::MainQueuePump;

// A source whose flags the test sets; start/stop are counted and the change callback kept.
struct FakeSourceState {
    std::atomic<uint32_t> flags{kZVTReachabilityFlagReachable};
    std::atomic<bool> readable{true};
    std::atomic<bool> startOK{true};
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::function<void()> onChange;
};

class FakeSource final : public ZVTReachabilitySource {
  public:
    explicit FakeSource(std::shared_ptr<FakeSourceState> s) : s_(std::move(s)) {}
    std::optional<uint32_t> readFlags() override {
        if (!s_->readable) return std::nullopt;
        return s_->flags.load();
    }
    bool start(std::function<void()> onChange) override {
        ++s_->starts;
        if (!s_->startOK) return false;
        s_->onChange = std::move(onChange);
        return true;
    }
    void stop() override { ++s_->stops; }

  private:
    std::shared_ptr<FakeSourceState> s_;
};

struct ReachabilityFixture : ::testing::Test {
    std::shared_ptr<FakeSourceState> state = std::make_shared<FakeSourceState>();
    std::vector<const void*> notices;
    platform::ObserverToken token = platform::NotificationCenter::defaultCenter().addObserver(
        kZVNetworkReachabilityChangedNotification, nullptr,
        [this](const platform::Notification& n) { notices.push_back(n.object); });

    testing_support::ScopedHook<&ZVT_Reachability::setSourceFactory> sources{
        [s = state] { return std::make_unique<FakeSource>(s); }};

    ~ReachabilityFixture() override { MainQueuePump::drain(); }
};

TEST(ZVT_Reachability, StatusRuleFollowsTheFlagWord) {
    constexpr uint32_t R = kZVTReachabilityFlagReachable,
                       C = kZVTReachabilityFlagConnectionRequired,
                       T = kZVTReachabilityFlagConnectionOnTraffic,
                       I = kZVTReachabilityFlagInterventionRequired,
                       D = kZVTReachabilityFlagConnectionOnDemand;
    const struct {
        uint32_t flags;
        ZVTNetworkStatus status;
    } cases[] = {
        {0, ZVTNotReachable},
        {C | T | D, ZVTNotReachable},
        {R, ZVTReachableViaNetwork},
        {R | C, ZVTNotReachable},
        {R | C | D, ZVTReachableViaNetwork},
        {R | C | T, ZVTReachableViaNetwork},
        {R | C | D | I, ZVTNotReachable},
        {R | D | I, ZVTReachableViaNetwork},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZVT_Reachability::networkStatusForFlags(c.flags), c.status) << c.flags;
    }
}

TEST_F(ReachabilityFixture, StartingPostsOneNoticeLaterOnTheMainQueueThenOnePerChange) {
    auto monitor = ZVT_Reachability::reachabilityForInternetConnection();
    ASSERT_TRUE(monitor);
    monitor->startNotifier();
    EXPECT_TRUE(notices.empty());  // never inline
    MainQueuePump::drain();
    ASSERT_EQ(notices, std::vector<const void*>{monitor.get()});
    EXPECT_EQ(monitor->currentReachabilityStatus(), ZVTReachableViaNetwork);

    state->flags = 0;
    state->onChange();  // as from the watcher thread
    EXPECT_EQ(notices.size(), 1u);
    MainQueuePump::drain();
    EXPECT_EQ(notices.size(), 2u);
    EXPECT_EQ(monitor->currentReachabilityStatus(), ZVTNotReachable);

    monitor->stopNotifier();
    MainQueuePump::drain();
    EXPECT_EQ(state->stops.load(), 1);
}

TEST_F(ReachabilityFixture, UnreadableFlagsFailedStartAndEarlyReleaseAreHarmless) {
    auto monitor = ZVT_Reachability::reachabilityForInternetConnection();
    state->flags = kZVTReachabilityFlagReachable | kZVTReachabilityFlagConnectionRequired;
    EXPECT_TRUE(monitor->connectionRequired());
    state->readable = false;
    EXPECT_EQ(monitor->currentReachabilityStatus(), ZVTNotReachable);
    EXPECT_FALSE(monitor->connectionRequired());

    monitor->stopNotifier();  // never started
    state->startOK = false;
    monitor->startNotifier();
    MainQueuePump::drain();
    EXPECT_TRUE(notices.empty());

    state->startOK = true;
    monitor->startNotifier();
    monitor.reset();  // released before the queued start ran
    MainQueuePump::drain();
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(state->starts.load(), 1);
}

TEST_F(ReachabilityFixture, HostAndAddressMonitorsNeedAUsableTarget) {
    EXPECT_FALSE(ZVT_Reachability::reachabilityWithHostName(""));
    EXPECT_TRUE(ZVT_Reachability::reachabilityWithHostName("127.0.0.1"));
    EXPECT_FALSE(ZVT_Reachability::reachabilityWithAddress(nullptr));
    sockaddr_in zero{};
    zero.sin_family = AF_INET;
    EXPECT_TRUE(ZVT_Reachability::reachabilityWithAddress(reinterpret_cast<sockaddr*>(&zero)));
    sockaddr other{};
    other.sa_family = AF_UNIX;
    EXPECT_FALSE(ZVT_Reachability::reachabilityWithAddress(&other));
}

TEST(ZVT_Reachability, SystemSourceReadsFlagsAndStartsAndStops) {
    // The machine may have no route out: only the shape of the answer is checked.
    auto source = ZVTMakeSystemReachabilitySource();
    auto flags = source->readFlags();
    ASSERT_TRUE(flags);
    EXPECT_EQ(*flags & ~uint32_t(kZVTReachabilityFlagReachable), 0u);
    if (source->start([] {})) source->stop();
    source->stop();
}

}  // namespace
