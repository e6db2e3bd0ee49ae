#pragma once

#include "tests/ZevOzozid/ZVTEntryFixture.h"
#include "tests/ZevOzozid/ZVTTestSupport.h"
#include "tests/ZevOzozidZerevuziz/ZVZFakeChannel.h"

#include "platform/Clock.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventLog.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/TransmissionTarget/ZVTZerevuzizTransmissionTarget.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuziz.h"

#include <gtest/gtest.h>

namespace zvz_test {

// A configured SDK (fresh settings and singletons) and a fresh analytics service on a fake
// channel group, on the fake clock.
class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.install();
        clock.setWallTime(platform::WallTime(std::chrono::seconds(1'800'000'000)));
        ZVTZevOzozid::configureWithAppSecret(std::string("app-secret"));
        service = std::make_unique<ZVTZerevuziz>();
    }
    void TearDown() override {
        service.reset();
        ZVTZerevuzizTransmissionTarget::resetAuthenticationProvider();
    }

    void start(const std::optional<std::string>& token = std::nullopt) {
        service->startWithChannelGroup(group, std::string("app-secret"), token, true);
    }
    FakeChannelUnit& unit(const std::string& id = "Zerevuziz") { return group->unit(id); }
    // The logs of a unit of the given class.
    template <typename T>
    std::vector<std::shared_ptr<T>> logsOf(const std::string& id = "Zerevuziz") {
        std::vector<std::shared_ptr<T>> out;
        for (auto& item : unit(id).items) {
            if (auto log = std::dynamic_pointer_cast<T>(item.log)) out.push_back(log);
        }
        return out;
    }

    zvt_test::EntryFixture entry;
    platform::FakeClock clock;
    std::shared_ptr<FakeChannelGroup> group = std::make_shared<FakeChannelGroup>();
    std::unique_ptr<ZVTZerevuziz> service;
};

}  // namespace zvz_test
