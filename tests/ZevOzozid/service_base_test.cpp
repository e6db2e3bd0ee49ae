#include "tests/ZevOzozid/ZVTEntryFixture.h"

#include <gtest/gtest.h>

namespace {

using zvt_test::EntryFixture;
using zvt_test::LogCapture;
using zvt_test::TestService;

// A unit that records the states it is given.
class FakeUnit : public ZVTChannelUnitProtocol {
  public:
    explicit FakeUnit(ZVTChannelUnitConfiguration configuration)
        : configuration_(std::move(configuration)) {}
    void setEnabled(bool isEnabled, bool deleteData) override {
        states.emplace_back(isEnabled, deleteData);
    }
    void addDelegate(const std::shared_ptr<ZVTChannelDelegate>&) override {}
    void removeDelegate(const std::shared_ptr<ZVTChannelDelegate>&) override {}
    void pauseWithIdentifyingObject(const void*) override {}
    void resumeWithIdentifyingObject(const void*) override {}
    void enqueueItem(const std::shared_ptr<ZVTLog>&, uint64_t) override {}
    void pauseSendingLogsWithToken(const std::string&) override {}
    void resumeSendingLogsWithToken(const std::string&) override {}
    ZVTChannelUnitConfiguration configuration() const override { return configuration_; }
    void setConfiguration(const ZVTChannelUnitConfiguration& c) override { configuration_ = c; }

    std::vector<std::pair<bool, bool>> states;

  private:
    ZVTChannelUnitConfiguration configuration_;
};

// A group that makes fake units.
class FakeGroup : public ZVTChannelGroupProtocol {
  public:
    void setEnabled(bool, bool) override {}
    void addDelegate(const std::shared_ptr<ZVTChannelDelegate>&) override {}
    void removeDelegate(const std::shared_ptr<ZVTChannelDelegate>&) override {}
    void pauseWithIdentifyingObject(const void*) override {}
    void resumeWithIdentifyingObject(const void*) override {}
    std::shared_ptr<ZVTChannelUnitProtocol> addChannelUnitWithConfiguration(
        const ZVTChannelUnitConfiguration& configuration) override {
        return addChannelUnitWithConfiguration(configuration, nullptr);
    }
    std::shared_ptr<ZVTChannelUnitProtocol> addChannelUnitWithConfiguration(
        const ZVTChannelUnitConfiguration& configuration,
        const std::shared_ptr<ZVTIngestionProtocol>&) override {
        units.push_back(std::make_shared<FakeUnit>(configuration));
        return units.back();
    }
    void setMaxStorageSize(int64_t, std::function<void(bool)>) override {}
    std::shared_ptr<ZVTChannelUnitProtocol> channelUnitForGroupId(const std::string&) override {
        return nullptr;
    }
    std::string logUrl() const override { return {}; }
    void setLogUrl(const std::string&) override {}
    std::optional<std::string> appSecret() const override { return std::nullopt; }
    void setAppSecret(const std::optional<std::string>&) override {}

    std::vector<std::shared_ptr<FakeUnit>> units;
};

struct ServiceBaseTest : ::testing::Test {
    EntryFixture sdk;
    LogCapture logs;
    TestService service{"Alpha"};
};

TEST_F(ServiceBaseTest, StartMakesTheUnitAndTheStoredStateDecidesWhatIsApplied) {
    EXPECT_EQ(service.isEnabledKey(), "AlphaIsEnabled");
    EXPECT_TRUE(service.isEnabled());  // a fresh install
    EXPECT_FALSE(service.isAvailable());

    auto group = std::make_shared<FakeGroup>();
    service.startWithChannelGroup(group, "secret", "token", false);
    ASSERT_EQ(group->units.size(), 1u);
    EXPECT_EQ(group->units[0]->configuration().groupId, "Alpha");
    EXPECT_EQ(service.channelUnit(), group->units[0]);
    EXPECT_EQ(group->units[0]->states, (std::vector<std::pair<bool, bool>>{{true, true}}));
    EXPECT_TRUE(service.isAvailable());
    EXPECT_FALSE(service.isStartedFromApplication());
    EXPECT_EQ(service.appSecret(), "secret");

    service.setEnabled(true);  // same value: nothing applied or stored
    EXPECT_FALSE(EntryFixture::settings().objectForKey("AlphaIsEnabled"));
    EXPECT_EQ(group->units[0]->states.size(), 1u);

    service.setEnabled(false);  // disabling deletes the service's logs
    EXPECT_EQ(EntryFixture::settings().boolForKey("AlphaIsEnabled"), false);
    EXPECT_EQ(group->units[0]->states.back(), std::make_pair(false, true));
    EXPECT_FALSE(service.isAvailable());

    service.updateConfigurationWithAppSecret("other", std::nullopt);  // disabled: nothing applied
    EXPECT_TRUE(service.isStartedFromApplication());
    EXPECT_EQ(service.appSecret(), "other");
    EXPECT_EQ(group->units[0]->states.size(), 2u);

    TestService later{"Alpha"};  // a disabled service applies nothing at start
    auto secondGroup = std::make_shared<FakeGroup>();
    later.startWithChannelGroup(secondGroup, "secret", std::nullopt, true);
    EXPECT_TRUE(secondGroup->units[0]->states.empty());
}

TEST_F(ServiceBaseTest, ClassOperationsRefuseAServiceThatWasNotStarted) {
    EntryFixture::settings().setObject(platform::UserDefaults::Value(true), "AlphaIsEnabled");
    EXPECT_FALSE(service.classIsEnabled());
    service.classSetEnabled(false);
    EXPECT_EQ(EntryFixture::settings().boolForKey("AlphaIsEnabled"), true);
    EXPECT_EQ(logs.count(ZVTLogLevelError,
                         "Alpha service hasn't been started. You need to call [ZVTZevOzozid "
                         "start:YOUR_APP_SECRET withServices:LIST_OF_SERVICES] first."),
              2u);
}

}  // namespace
