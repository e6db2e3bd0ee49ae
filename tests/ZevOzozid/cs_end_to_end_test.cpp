// A log addressed to two target tokens, enqueued through the started SDK, reaches a loopback
// common-schema collector.
#include "tests/ZevOzozid/ZVTCSTestSupport.h"
#include "tests/ZevOzozid/ZVTEntryFixture.h"
#include "tests/ZevOzozid/ZVTHttpTestSupport.h"

#include "platform/Clock.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelGroupDefault.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTCSCollectorIngestion.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using namespace std::chrono_literals;
using testing_support::MainQueuePump;
using Gamma = zvt_test::TestServiceClass<2>;  // needs no app secret

TEST(CSCollectorEndToEnd, TwoTokensArriveAsTwoNumberedJsonLines) {
    platform::FakeClock clock;
    clock.install();
    zvt_test::FakeNetwork network;
    zvt_test::EntryFixture sdk;
    zvt_test::LogCapture logs;
    zvt_test::ScriptedServer collector(ZVTCSCollectorIngestion::kApiPath);

    // Without an app secret the log URL names the collector.
    ZVTZevOzozid::setLogUrl(collector.base());
    ZVTZevOzozid::start("target=key0-defaulttoken", std::vector<ZVTServiceClass>{Gamma::cls()});
    MainQueuePump::drain();
    auto group = std::dynamic_pointer_cast<ZVTChannelGroupDefault>(
        ZVTZevOzozid::sharedInstance().channelGroup());
    ASSERT_TRUE(group);
    // Units take their delegates on the logs queue: let start-up finish first.
    const auto settle = [&] {
        for (int i = 0; i < 5; ++i) ASSERT_TRUE(group->logsDispatchQueue()->drainFor(10s));
    };
    settle();
    auto unit = Gamma::instance->channelUnit();
    ASSERT_TRUE(unit);

    auto log = std::make_shared<zvt_test::NamedEventLog>("lap.saved");
    log->addTransmissionTargetToken("key1-secretA");
    log->addTransmissionTargetToken("key2-secretB");
    unit->enqueueItem(log, ZVTFlagsNormal);
    settle();  // stored, and the companion's flush timer armed, before time moves on
    clock.advance(6s);
    ASSERT_TRUE(MainQueuePump::until([&] { return collector.count() == 1; }));

    const auto request = collector.received()[0];
    EXPECT_EQ(request.headers.at("apikey"), "key1-secretA,key2-secretB");
    std::vector<nlohmann::json> lines;
    for (size_t start = 0, end; (end = request.body.find('\n', start)) != std::string::npos;
         start = end + 1) {
        lines.push_back(nlohmann::json::parse(request.body.substr(start, end - start)));
    }
    ASSERT_EQ(lines.size(), 2u) << request.body;
    std::set<std::string> iKeys;
    for (const auto& line : lines) {
        iKeys.insert(line.at("iKey").get<std::string>());
        EXPECT_EQ(line.at("name"), "lap.saved");
        const auto& sdkExt = line.at("ext").at("sdk");
        EXPECT_TRUE(ZVTUUID::fromString(sdkExt.at("epoch").get<std::string>()));
        EXPECT_EQ(sdkExt.at("seq"), 1);
        EXPECT_EQ(sdkExt.at("installId"), ZVTZevOzozid::installId().UUIDString());
    }
    EXPECT_EQ(iKeys, (std::set<std::string>{"o:key1", "o:key2"}));
    EXPECT_NE(lines[0]["ext"]["sdk"]["epoch"], lines[1]["ext"]["sdk"]["epoch"]);
}

}  // namespace
