#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

#include "transfer/core/MVReachability.h"
#include "transfer/core/MVUsageReporter.h"

#include "session/MVCallWebservice.h"

#include <gtest/gtest.h>

#include <future>

namespace {

using testing_support::Gate;
using testing_support::LoopbackServer;
using testing_support::TempDir;
using Json = platform::UserDefaults::Value;

struct FakeReachability final : MVReachability {
    bool connected = true;
    bool isConnectedToNetwork() override { return connected; }
};

class UsageReport : public ::testing::Test {
  protected:
    UsageReport() : defaults(dir / "defaults.json") {
        server.post("/api/UpdateCheck",
                    [this](const httplib::Request& request, httplib::Response& response) {
                        bodies.push_back(request.body);
                        contentType = request.get_header_value("Content-Type");
                        if (duringRequest) duringRequest();
                        response.status = status;
                        response.set_content("thanks", "text/plain");
                    });
    }
    MVUsageReporter reporter(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        MVUsageReporter::Config config;
        config.host = "http://127.0.0.1:" + std::to_string(server.port());
        config.allowLoopbackHttpForTests = true;
        config.timeout = timeout;
        return MVUsageReporter(config, defaults, network);
    }
    // One start-up; waits for the reply when a request went out.
    bool start(MVUsageReporter r) {
        std::promise<bool> delivered;
        auto future = delivered.get_future();
        if (!r.sendUsageAtStartup([&delivered](bool ok) { delivered.set_value(ok); })) {
            return false;
        }
        EXPECT_EQ(future.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        return future.get();
    }
    Json pending() const { return MVCallWebservice::pendingUsageList(defaults).value_or(Json()); }

    TempDir dir;
    platform::UserDefaults defaults;
    FakeReachability network;
    LoopbackServer server;
    std::vector<std::string> bodies;
    std::string contentType;
    std::function<void()> duringRequest;
    int status = 200;
};

TEST_F(UsageReport, FirstStartStoresItsRecordAndTheNextSendsBothInOrder) {
    EXPECT_FALSE(start(reporter()));
    ASSERT_EQ(pending().size(), 1u);
    EXPECT_EQ(pending()[0]["ComponentCode"], "Startup");
    EXPECT_EQ(server.requestCount(), 0);
    const std::string firstId = pending()[0]["ID"];

    EXPECT_TRUE(start(reporter()));
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(contentType, "application/json; charset=utf-8");
    const Json sent = Json::parse(bodies[0]);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0]["ID"], firstId);
    EXPECT_EQ(sent[1]["ComponentCode"], "Startup");
    EXPECT_NE(sent[1]["ID"], firstId);
    EXPECT_FALSE(defaults.hasKey("User Usage"));

    EXPECT_FALSE(start(reporter()));  // a fresh single-record list again
    EXPECT_EQ(pending().size(), 1u);
}

TEST_F(UsageReport, ARecordStoredDuringTheRequestSurvivesTheReply) {
    start(reporter());
    duringRequest = [this] { MVCallWebservice::storeUserUsageWithTrack("Hilltop", defaults); };
    EXPECT_TRUE(start(reporter()));
    ASSERT_EQ(pending().size(), 1u);
    EXPECT_EQ(pending()[0]["ComponentCode"], "Hilltop.CIR");
}

TEST_F(UsageReport, FailuresKeepEveryRecord) {
    start(reporter());
    status = 500;
    EXPECT_FALSE(start(reporter()));
    EXPECT_EQ(pending().size(), 2u);

    Gate gate;
    duringRequest = [&gate] { gate.wait(); };
    EXPECT_FALSE(start(reporter(std::chrono::milliseconds(200))));  // times out
    gate.open();
    EXPECT_EQ(pending().size(), 3u);

    network.connected = false;
    EXPECT_FALSE(start(reporter()));
    EXPECT_EQ(pending().size(), 4u);

    network.connected = true;
    MVUsageReporter::Config insecure;
    insecure.host = "http://localhost:" + std::to_string(server.port());
    insecure.allowLoopbackHttpForTests = true;
    const int before = server.requestCount();
    EXPECT_FALSE(MVUsageReporter(insecure, defaults, network).sendUsageAtStartup());
    EXPECT_EQ(server.requestCount(), before);
    EXPECT_EQ(pending().size(), 5u);
}

TEST_F(UsageReport, EveryPathKeepsOnlyTheNewestRecordsWhenNoneAreSent) {
    const std::size_t cap = MVCallWebservice::kMaxPendingUsageRecords;
    network.connected = false;  // no answer ever takes the list
    struct Case {
        const char* what;
        std::function<void()> addOne;
        const char* newest;
    };
    for (const Case& c :
         {Case{"start-up", [this] { start(reporter()); }, "Startup"},
          Case{"session load",
               [this] { MVCallWebservice::storeUserUsageWithTrack("Hilltop", defaults); },
               "Hilltop.CIR"}}) {
        SCOPED_TRACE(c.what);
        Json full = Json::array();
        for (std::size_t i = 0; i < cap; ++i) full.push_back({{"ID", "old-" + std::to_string(i)}});
        defaults.setObject("User Usage", full);
        c.addOne();
        c.addOne();
        ASSERT_EQ(pending().size(), cap);
        EXPECT_EQ(pending()[0]["ID"], "old-2");
        EXPECT_EQ(pending()[cap - 1]["ComponentCode"], c.newest);
        EXPECT_EQ(pending()[cap - 1]["SoftwareCode"], "Gridlark - Linux");
    }
}

TEST_F(UsageReport, WithRecordingOffNothingIsStoredOrSent) {
    start(reporter());
    const Json before = pending();
    MVCallWebservice::setUsageRecordingEnabled(false);
    EXPECT_FALSE(start(reporter()));
    MVCallWebservice::storeUserUsageWithTrack("Hilltop", defaults);
    MVCallWebservice::setUsageRecordingEnabled(true);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(pending(), before);
}

TEST(RouteReachability, ADefaultRouteOffLoopbackMeansConnected) {
    TempDir dir;
    const std::string header =
        "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\tMTU\tWindow\tIRTT\n";
    const std::string v6none =
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200 lo\n";
    struct Case {
        const char* what;
        std::string v4, v6;
        bool connected;
    };
    const std::vector<Case> cases = {
        {"IPv4 default route",
         header + "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n", v6none, true},
        {"only a local network",
         header + "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n", v6none, false},
        {"a default route that is down",
         header + "eth0\t00000000\t0102A8C0\t0002\t0\t0\t0\t0\t0\t0\t0\n", v6none, false},
        {"IPv6 default route", header,
         "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
         "fe800000000000000000000000000001 00000400 00000001 00000000 00000003 wlan0\n",
         true},
        {"no tables", "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto v4 = c.v4.empty() ? dir / "none4" : dir.write("route", c.v4);
        const auto v6 = c.v6.empty() ? dir / "none6" : dir.write("ipv6_route", c.v6);
        EXPECT_EQ(MVRouteReachability(v4, v6).isConnectedToNetwork(), c.connected);
    }
}

}  // namespace
