#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

#include "platform/ChildProcess.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <mutex>
#include <sstream>

#ifdef ZV_ANALYTICS_DEMO
namespace {

// The demo against a loopback ingestion: its page view, events and start-session log arrive,
// stamped with one session id; the typed properties travel with the event.
TEST(ZvAnalyticsDemo, LogsReachTheServer) {
    testing_support::LoopbackServer server;
    std::mutex mutex;
    std::vector<nlohmann::json> logs;
    std::vector<nlohmann::json> lines;
    std::string tickets;
    server.post("/logs.*", [&](const httplib::Request& request, httplib::Response& response) {
        auto body = nlohmann::json::parse(request.body, nullptr, false);
        std::lock_guard lock(mutex);
        if (body.is_object() && body.contains("logs")) {
            for (auto& log : body["logs"]) logs.push_back(log);
        }
        response.status = 200;
        response.set_content("{}", "application/json");
    });
    server.post("/CSCollector/1.0.*",
                [&](const httplib::Request& request, httplib::Response& response) {
                    std::lock_guard lock(mutex);
                    std::istringstream body(request.body);
                    for (std::string line; std::getline(body, line);) {
                        lines.push_back(nlohmann::json::parse(line, nullptr, false));
                    }
                    tickets = request.get_header_value("Tickets");
                    response.status = 200;
                    response.set_content("{}", "application/json");
                });
    testing_support::TempDir home;
    platform::ProcessOptions options;
    options.timeout = std::chrono::seconds(40);
    const auto result = platform::runProcess(
        {ZV_ANALYTICS_DEMO, server.url(""), "--home", home.path().string(), "--timeout", "30"},
        options);
    ASSERT_TRUE(result.started) << result.error;
    EXPECT_EQ(result.exitCode, 0) << result.standardOutput << result.standardError;
    EXPECT_NE(result.standardOutput.find("all 4 logs acknowledged"), std::string::npos);

    std::lock_guard lock(mutex);
    std::map<std::string, nlohmann::json> byName;
    std::string sessionId;
    for (const auto& log : logs) {
        if (log.value("type", "") == "startSession") sessionId = log.value("sid", "");
        if (log.contains("name")) byName[log["name"].get<std::string>()] = log;
    }
    ASSERT_FALSE(sessionId.empty());
    for (const char* name : {"DemoPage", "SessionLoaded", "CriticalDemo"}) {
        ASSERT_TRUE(byName.contains(name)) << name;
    }
    EXPECT_EQ(byName["DemoPage"].value("sid", ""), sessionId);
    EXPECT_EQ(byName["SessionLoaded"].value("sid", ""), sessionId);
    EXPECT_EQ(byName["DemoPage"]["type"], "page");
    const auto& typed = byName["SessionLoaded"]["typedProperties"];
    ASSERT_EQ(typed.size(), 4u);
    EXPECT_EQ(typed[1], nlohmann::json::parse(R"({"type":"long","name":"laps","value":12})"));

    // The target's event reaches the collector as a common-schema line with its ticket key.
    ASSERT_EQ(lines.size(), 1u) << result.standardOutput;
    const auto& line = lines[0];
    EXPECT_EQ(line["name"], "TargetDemo");
    EXPECT_EQ(line["iKey"], "o:demotarget");
    EXPECT_EQ(line["data"], nlohmann::json::parse(R"({"source":"demo","lap":{"count":3}})"));
    EXPECT_EQ(line["ext"]["metadata"], nlohmann::json::parse(R"({"f":{"lap":{"f":{"count":4}}}})"));
    EXPECT_EQ(line["ext"]["app"]["ver"], "1.0");
    const std::string ticketKey = ZVTUtility::sha256("demo-ticket-key");
    EXPECT_EQ(line["ext"]["protocol"]["ticketKeys"], nlohmann::json::array({ticketKey}));
    EXPECT_EQ(nlohmann::json::parse(tickets), nlohmann::json({{ticketKey, "p:demo-ticket"}}));
}

TEST(ZvAnalyticsDemo, BadArgumentsGetTheUsage) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {ZV_ANALYTICS_DEMO}, {ZV_ANALYTICS_DEMO, "http://127.0.0.1:9", "--timeout", "x"}}) {
        const auto result = platform::runProcess(args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.standardError.find("usage: zv-analytics-demo URL"), std::string::npos);
    }
}

}  // namespace
#endif
