#include "tests/ZevOzozid/ZVTHttpTestSupport.h"
#include "tests/support/TempDir.h"

#include "platform/ChildProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>

#ifdef ZVT_DEMO
namespace {

platform::ProcessOptions withinThirtySeconds() {
    platform::ProcessOptions options;
    options.timeout = std::chrono::seconds(30);
    return options;
}

// The demo tool against a loopback ingestion server: every log arrives and the tool says so; a
// server that refuses leaves the logs stored and the tool says how many.
TEST(ZvtDemo, SendsEveryLogAndReportsEachBatch) {
    zvt_test::ScriptedServer server;
    testing_support::TempDir home;
    const auto result =
        platform::runProcess({ZVT_DEMO, "--url", server.base(), "--secret", "demo-secret",
                              "--count", "60", "--home", home.path().string(), "--timeout", "20"},
                             withinThirtySeconds());
    ASSERT_TRUE(result.started) << result.error;
    EXPECT_EQ(result.exitCode, 0) << result.standardOutput << result.standardError;
    EXPECT_NE(result.standardOutput.find("batch of 50 logs: HTTP 200"), std::string::npos);
    EXPECT_NE(result.standardOutput.find("batch of 10 logs: HTTP 200"), std::string::npos);
    EXPECT_NE(result.standardOutput.find("all 60 logs acknowledged"), std::string::npos);
    size_t demoLogs = 0;
    for (const auto& got : server.received()) {
        EXPECT_EQ(got.headers.at("App-Secret"), "demo-secret");
        demoLogs += nlohmann::json::parse(got.body)["logs"].size();
    }
    EXPECT_GE(demoLogs, 60u);
}

// The tool waits out its limit for acknowledgements that never come; the refusal must come
// before it however busy the machine.
TEST(ZvtDemo, ARefusingServerLeavesTheLogsStored) {
    zvt_test::ScriptedServer server;
    server.scriptStatuses({401, 401, 401});
    testing_support::TempDir home;
    const auto result =
        platform::runProcess({ZVT_DEMO, "--url", server.base(), "--secret", "demo-secret",
                              "--count", "3", "--home", home.path().string(), "--timeout", "10"},
                             withinThirtySeconds());
    ASSERT_TRUE(result.started) << result.error;
    EXPECT_EQ(result.exitCode, 1) << result.standardOutput << result.standardError;
    EXPECT_NE(result.standardOutput.find("batch of 3 logs: HTTP 401"), std::string::npos);
    EXPECT_NE(result.standardOutput.find("0 of 3 logs acknowledged"), std::string::npos);
}

// The tool gives up while its batch is still on the wire: it leaves cleanly (no sanitizer report
// in a sanitized build) and the logs stay stored. The tool's limit is one only a hang of its start
// reaches, and the server holds the batch well past it.
TEST(ZvtDemo, LeavingWithABatchInFlightIsCleanAndKeepsTheLogs) {
    testing_support::LoopbackServer server;
    testing_support::Gate release;
    std::atomic<int> held{0};
    server.post("/logs", [&](const httplib::Request&, httplib::Response& res) {
        ++held;
        release.wait(std::chrono::seconds(20));
        res.set_content("{}", "application/json");
    });
    testing_support::TempDir home;
    std::string base = server.url("/");
    base.pop_back();
    const auto result =
        platform::runProcess({ZVT_DEMO, "--url", base, "--secret", "demo-secret", "--count", "3",
                              "--home", home.path().string(), "--timeout", "10"},
                             withinThirtySeconds());
    release.open();
    ASSERT_TRUE(result.started) << result.error;
    EXPECT_EQ(result.exitCode, 1) << result.standardOutput << result.standardError;
    EXPECT_GE(held.load(), 1);
    EXPECT_NE(result.standardOutput.find("0 of 3 logs acknowledged"), std::string::npos);
    EXPECT_EQ(result.standardError.find("Sanitizer"), std::string::npos) << result.standardError;
    EXPECT_EQ(result.standardError.find("runtime error"), std::string::npos)
        << result.standardError;
}

TEST(ZvtDemo, BadArgumentsGetTheUsage) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {ZVT_DEMO},
             {ZVT_DEMO, "--url", "http://127.0.0.1:9", "--secret", "s", "--count", "x"},
             {ZVT_DEMO, "--url", "http://127.0.0.1:9", "--secret", "s", "--bogus"}}) {
        const auto result = platform::runProcess(args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.standardError.find("usage: zvt-demo"), std::string::npos);
    }
}

}  // namespace
#endif
