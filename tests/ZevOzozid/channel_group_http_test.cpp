// The channel group over the real client, ingestion and store, against a loopback server.
#include "tests/ZevOzozid/ZVTChannelFixture.h"
#include "tests/ZevOzozid/ZVTHttpTestSupport.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelGroupDefault.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClient.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using testing_support::MainQueuePump;
using zvt_test::makeLog;

struct GroupOverHttpTest : ::testing::Test {
    platform::FakeClock clock;
    zvt_test::FakeNetwork network;
    zvt_test::ScriptedServer server;
    zvt_test::DataHomeFixture home;
    std::shared_ptr<ZVTHttpClient> client;
    std::shared_ptr<ZVTChannelGroupDefault> group;
    std::shared_ptr<zvt_test::RecordingDelegate> delegate =
        std::make_shared<zvt_test::RecordingDelegate>();
    const ZVTUUID installId = ZVTUUID::random();

    GroupOverHttpTest() {
        clock.install();
        launch();
    }
    // A fresh client and group over the same store, as at the next start of the program.
    void launch() {
        client = std::make_shared<ZVTHttpClient>(
            std::nullopt, ZVT_Reachability::reachabilityForInternetConnection());
        MainQueuePump::drain();
        group = ZVTChannelGroupDefault::make(client, installId, server.base());
        group->setAppSecret("app-secret-0123456789");
        group->addDelegate(delegate);
    }
    ~GroupOverHttpTest() override { quit(); }
    void quit() {
        if (group) settle();
        group.reset();
        client.reset();
        MainQueuePump::drain();
    }
    void settle() {
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(group->logsDispatchQueue()->drainFor(std::chrono::seconds(10)));
        }
    }
    uint64_t stored() {
        uint64_t n = 0;
        group->logsDispatchQueue()->async([&] { n = group->storage()->countLogs(); });
        settle();
        return n;
    }
    // Pumps until the unit has heard the answer to every log sent.
    bool answered(size_t logs) {
        return MainQueuePump::until([&] {
            settle();
            return delegate->count("success") + delegate->count("fail") >= logs;
        });
    }
};

TEST_F(GroupOverHttpTest, AnAcceptedBatchLeavesTheStoreEmpty) {
    auto unit = group->addChannelUnitWithConfiguration(
        ZVTChannelUnitConfiguration::defaultConfiguration("ZevOzozid"));
    unit->enqueueItem(makeLog("startService"), ZVTFlagsNormal);
    settle();
    clock.advance(std::chrono::seconds(6));
    ASSERT_TRUE(answered(1));
    ASSERT_EQ(server.count(), 1u);
    const auto got = server.received()[0];
    EXPECT_EQ(got.query, "api-version=1.0.0");
    EXPECT_EQ(got.headers.at("Install-ID"), installId.UUIDString());
    EXPECT_EQ(nlohmann::json::parse(got.body).at("logs").at(0).at("type"), "startService");
    EXPECT_EQ(stored(), 0u);
}

// A redirected or refused upload (a proxy, a captive portal, a size limit) is neither followed
// nor taken for an answer: every log stays stored, also those of the same run after the answer,
// and reaches the endpoint on the next run.
class RefusedUploadTest : public GroupOverHttpTest, public ::testing::WithParamInterface<int> {};

TEST_P(RefusedUploadTest, KeepsEveryLogForTheNextRun) {
    const int code = GetParam();
    const bool redirect = code < 400;
    std::atomic<int> elsewhere{0};
    for (const char* method : {"GET", "POST"}) {
        auto count = [&elsewhere](const httplib::Request&, httplib::Response& res) {
            ++elsewhere;
            res.set_content("{}", "application/json");
        };
        if (std::string(method) == "GET")
            server.server().get("/elsewhere", count);
        else
            server.server().post("/elsewhere", count);
    }
    const std::string location = server.url("elsewhere");
    server.script({{code, {{"Location", location}}, "", "text/plain"}});
    zvt_test::LogCapture log;
    auto unit = group->addChannelUnitWithConfiguration(
        ZVTChannelUnitConfiguration("ZevOzozid", 1, 6, 3, 1));
    for (const char* type : {"first", "second", "third"}) {
        unit->enqueueItem(makeLog(type), ZVTFlagsNormal);
    }
    ASSERT_TRUE(MainQueuePump::until([&] {
        settle();
        return log.count(ZVTLogLevelError, "Log(s) sent with failure") > 0;
    }));
    unit->enqueueItem(makeLog("late"), ZVTFlagsNormal);
    settle();
    clock.advance(std::chrono::seconds(60));
    MainQueuePump::drain();
    settle();
    EXPECT_EQ(delegate->count("success"), 0u);
    EXPECT_EQ(delegate->count("fail late"), 0u);
    EXPECT_EQ(elsewhere.load(), 0);
    EXPECT_EQ(stored(), 4u);
    if (redirect) {
        EXPECT_EQ(log.count(ZVTLogLevelError, std::to_string(code) + " to \"" + location + "\""),
                  1u);
    } else {
        EXPECT_EQ(server.count(), 1u);
        EXPECT_EQ(log.count(ZVTLogLevelError, "Status code " + std::to_string(code) +
                                                  " refused a batch of group ZevOzozid"),
                  1u);
    }
    const size_t firstRun = server.count();

    quit();
    delegate = std::make_shared<zvt_test::RecordingDelegate>();
    launch();
    unit = group->addChannelUnitWithConfiguration(
        ZVTChannelUnitConfiguration("ZevOzozid", 1, 6, 3, 1));
    unit->enqueueItem(makeLog("fifth"), ZVTFlagsNormal);  // the stored four go first
    settle();
    // A batch answered before "fifth" is stored leaves it to the flush timer: time runs on while
    // waiting, as it would for the program.
    ASSERT_TRUE(MainQueuePump::until([&] {
        clock.advance(std::chrono::seconds(6));
        settle();
        return delegate->count("success") + delegate->count("fail") >= 5;
    }));
    ASSERT_GT(server.count(), firstRun);
    const auto logs = nlohmann::json::parse(server.received()[firstRun].body).at("logs");
    ASSERT_EQ(logs.size(), 3u);
    EXPECT_EQ(logs.at(0).at("type"), "first");
    EXPECT_EQ(logs.at(2).at("type"), "third");
    for (const char* type : {"first", "third", "late"}) {
        EXPECT_EQ(delegate->count(std::string("success ") + type), 1u) << type;
    }
}

INSTANTIATE_TEST_SUITE_P(Statuses, RefusedUploadTest,
                         ::testing::Values(301, 302, 307, 308, 400, 401, 403, 404, 413));

}  // namespace
