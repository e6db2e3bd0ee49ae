#include "tests/ZevOzozid/ZVTChannelFixture.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelGroupDefault.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace {

using zvt_test::FakeIngestion;
using zvt_test::makeLog;
using zvt_test::RecordingDelegate;
using Config = ZVTChannelUnitConfiguration;

// A client that takes every call and never answers.
class SilentHttpClient : public ZVTHttpClientProtocol {
  public:
    void sendAsync(const std::string& url, const std::string& method,
                   const std::map<std::string, std::string>& headers,
                   const std::optional<std::string>& data,
                   ZVTHttpRequestCompletionHandler handler) override {
        sendAsync(url, method, headers, data, {}, true, std::move(handler));
    }
    void sendAsync(const std::string&, const std::string&,
                   const std::map<std::string, std::string>&, const std::optional<std::string>&,
                   const std::vector<std::chrono::milliseconds>&, bool,
                   ZVTHttpRequestCompletionHandler) override {
        ++calls;
    }
    void pause() override {}
    void resume() override {}
    void setEnabled(bool) override {}
    std::shared_ptr<ZVTHttpClientDelegate> delegate() const override { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<ZVTHttpClientDelegate>& d) override { delegate_ = d; }

    std::atomic<int> calls{0};

  private:
    std::weak_ptr<ZVTHttpClientDelegate> delegate_;
};

class ChannelGroupTest : public zvt_test::ChannelUnitTest {
  protected:
    ChannelGroupTest() {
        groupIngestion->setAppSecret("secret");
        group =
            ZVTChannelGroupDefault::makeWithIngestion(groupIngestion, store, settings.settings());
        queue = group->logsDispatchQueue();  // settle() drains the group's queue
        group->addDelegate(delegate);
    }
    ~ChannelGroupTest() override {
        group.reset();
        settle();
    }
    std::shared_ptr<ZVTChannelUnitDefault> add(const std::string& groupId,
                                               std::shared_ptr<ZVTIngestionProtocol> with) {
        auto unit = group->addChannelUnitWithConfiguration(Config::defaultConfiguration(groupId),
                                                           std::move(with));
        settle();
        return std::dynamic_pointer_cast<ZVTChannelUnitDefault>(unit);
    }

    std::shared_ptr<SilentHttpClient> client = std::make_shared<SilentHttpClient>();
    std::shared_ptr<ZVTZevOzozidIngestion> groupIngestion =
        std::make_shared<ZVTZevOzozidIngestion>(client, "https://in.example.test", "INSTALL");
    std::shared_ptr<ZVTChannelGroupDefault> group;
};

TEST_F(ChannelGroupTest, UnitsAreListedFoundByGroupIdAndGetTheGroupsIngestionByDefault) {
    storeDirectly(2, "A");  // an earlier run's logs
    auto a = add("A", ingestion);
    auto own = add("B", nullptr);
    auto again = add("A", nullptr);
    EXPECT_EQ(a->ingestion(), ingestion);
    EXPECT_EQ(own->ingestion(), groupIngestion);
    EXPECT_EQ(group->channels().size(), 3u);
    EXPECT_EQ(group->channelUnitForGroupId("A"), a);
    EXPECT_EQ(group->channelUnitForGroupId("B"), own);
    EXPECT_EQ(group->channelUnitForGroupId("C"), nullptr);
    EXPECT_EQ(delegate->count("added"), 3u);
    EXPECT_EQ(a->logsDispatchQueue(), group->logsDispatchQueue());
    EXPECT_EQ(a->storage(), group->storage());
    EXPECT_EQ(group->logsDispatchQueue()->label(), "dev.gridlark.zevozozid.ChannelGroupQueue");

    // The first flush decision was queued when the unit was made.
    advance(6);
    EXPECT_EQ(ingestion->batchSizes(), (std::vector<size_t>{2}));

    group->setLogUrl("https://other.example.test");
    group->setAppSecret("another");
    EXPECT_EQ(group->logUrl(), "https://other.example.test");
    EXPECT_EQ(groupIngestion->appSecret(), "another");

    std::atomic<int> completions{0};
    group->setMaxStorageSize(1 << 20, [&](bool) {
        EXPECT_TRUE(group->logsDispatchQueue()->isCurrent());
        ++completions;
    });
    settle();
    EXPECT_EQ(completions, 1);
}

TEST_F(ChannelGroupTest, UnitCallbacksReachTheGroupsDelegatesWithTheUnitAsChannel) {
    auto unit = add("A", ingestion);
    auto second = std::make_shared<RecordingDelegate>("second");
    auto third = std::make_shared<RecordingDelegate>("third");
    group->addDelegate(second);
    group->addDelegate(third);
    second->filterAnswer = true;
    third->filterAnswer = true;

    unit->enqueueItem(makeLog("x"), 1);
    settle();
    // NO, YES, YES: the third is never asked and the log is dropped.
    EXPECT_EQ(delegate->count("filter? x"), 1u);
    EXPECT_EQ(second->count("second: filter? x"), 1u);
    EXPECT_EQ(third->count("third: filter?"), 0u);
    EXPECT_EQ(third->events(), (std::vector<std::string>{"third: prepare x", "third: prepared x 1",
                                                         "third: complete x"}));
    EXPECT_EQ(storedCount(), 0u);

    // A delegate that went away is no longer called; a removed one neither.
    second.reset();
    group->removeDelegate(third);
    delegate->clear();
    unit->enqueueItem(makeLog("y"), 1);
    int lane = 0;
    unit->pauseWithIdentifyingObject(&lane);
    advance(6);
    EXPECT_EQ(third->count("third: prepare y"), 0u);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"prepare y", "prepared y 1",
                                                            "filter? y", "complete y", "pause"}));
    EXPECT_TRUE(ingestion->sends().empty());
}

TEST_F(ChannelGroupTest, ALogEnqueuedRightAfterTheUnitIsMadeReachesTheGroupsDelegates) {
    // The logs queue is held busy, so nothing queued when the unit was made can have run yet.
    std::promise<void> release;
    group->logsDispatchQueue()->async([gate = release.get_future().share()] { gate.wait(); });
    auto unit =
        group->addChannelUnitWithConfiguration(Config::defaultConfiguration("A"), ingestion);
    unit->enqueueItem(makeLog("first"), 1);
    EXPECT_EQ(delegate->count("prepare first"), 1u);
    EXPECT_EQ(delegate->count("prepared first 1"), 1u);
    release.set_value();
    settle();
    EXPECT_EQ(delegate->count("filter? first"), 1u);
    EXPECT_EQ(delegate->count("complete first"), 1u);
    EXPECT_EQ(storedCount(), 1u);
}

TEST_F(ChannelGroupTest, EnablingAndPausingActOnTheIngestionThenEveryUnit) {
    auto a = add("A", nullptr);
    auto b = add("B", ingestion);

    delegate->clear();
    platform::Semaphore gate;  // holds the logs queue
    queue->async([&] { gate.wait(std::chrono::seconds(10)); });
    group->setEnabled(false, true);
    // The group's own notice comes at once, on this thread; the units' later, relayed.
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"enabled 0 1"}));
    EXPECT_EQ(delegate->lastChannel.load(), static_cast<ZVTChannelProtocol*>(group.get()));
    EXPECT_FALSE(groupIngestion->isEnabled());
    gate.signal();
    settle();
    EXPECT_EQ(delegate->count("enabled 0 1"), 3u);
    EXPECT_EQ(delegate->lastChannel.load(), static_cast<ZVTChannelProtocol*>(b.get()));
    onQueue([&] { EXPECT_TRUE(a->discardLogs() && b->discardLogs()); });

    group->setEnabled(true, false);
    settle();
    EXPECT_TRUE(groupIngestion->isEnabled());

    // Resuming re-enables the ingestion at once; a unit waits for its own lane to empty.
    int forbid = 0, other = 0;
    b->pauseWithIdentifyingObject(&other);
    group->pauseWithIdentifyingObject(&forbid);
    EXPECT_FALSE(groupIngestion->isEnabled());
    group->resumeWithIdentifyingObject(&forbid);
    EXPECT_TRUE(groupIngestion->isEnabled());
    settle();
    onQueue([&] {
        EXPECT_FALSE(a->paused());
        EXPECT_TRUE(b->paused());
    });
}

// Units are added while other threads look them up.
TEST_F(ChannelGroupTest, LookUpsDuringStartUpSeeAConsistentList) {
    std::atomic<bool> done{false};
    std::atomic<size_t> found{0};
    std::thread reader([&] {
        while (!done) {
            if (group->channelUnitForGroupId("U0")) ++found;
            group->pauseWithIdentifyingObject(this);
            group->resumeWithIdentifyingObject(this);
        }
    });
    for (int i = 0; i < 200; ++i) {
        group->addChannelUnitWithConfiguration(
            Config::defaultConfiguration("U" + std::to_string(i)), ingestion);
    }
    done = true;
    reader.join();
    settle();
    EXPECT_EQ(group->channels().size(), 200u);
    EXPECT_EQ(group->channelUnitForGroupId("U199"), group->channels().back());
}

}  // namespace
