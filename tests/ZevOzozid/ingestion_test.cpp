#include "tests/ZevOzozid/ZVTHttpTestSupport.h"
#include "tests/ZevOzozid/ZVTStorageFixture.h"
#include "tests/ZevOzozid/ZVTTestSupport.h"
#include "tests/support/ScopedHook.h"

#include "platform/Clock.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClient.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTZevOzozidIngestion.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using testing_support::MainQueuePump;
using zvt_test::FakeNetwork;
using zvt_test::LogCapture;
using zvt_test::ScriptedServer;

const std::string kSecret40 = "0123456789abcdef0123456789abcdef-secret1";

// Collects the answers of one batch.
struct BatchOutcome {
    std::mutex mutex;
    std::atomic<int> calls{0};
    std::string batchId;
    std::optional<platform::URLResponse> response;
    std::optional<ZVTError> error;

    ZVTSendAsyncCompletionHandler handler() {
        return [this](const std::string& id, const std::optional<platform::URLResponse>& r,
                      const std::string&, const std::optional<ZVTError>& e) {
            {
                std::lock_guard lock(mutex);
                batchId = id;
                response = r;
                error = e;
            }
            ++calls;
        };
    }
    bool wait() {
        return MainQueuePump::until([&] { return calls.load() >= 1; });
    }
};

std::shared_ptr<ZVTLogContainer> batch(const std::string& id, size_t logs = 2) {
    std::vector<std::shared_ptr<ZVTLog>> items;
    for (size_t i = 0; i < logs; ++i) items.push_back(zvt_test::makeLog("startService"));
    return std::make_shared<ZVTLogContainer>(id, items);
}

struct IngestionTest : ::testing::Test {
    platform::FakeClock clock;
    LogCapture logs;
    FakeNetwork network;
    ScriptedServer server;
    // Network requests allowed unless a case forbids them; the provider before the test comes back
    // after it.
    testing_support::ScopedHook<&ZVTHttpIngestion::setNetworkRequestsAllowedProvider> allowed{{}};
    std::string installId = ZVTUUID::random().UUIDString();
    std::shared_ptr<ZVTHttpClient> client;
    std::shared_ptr<ZVTZevOzozidIngestion> ingestion;

    IngestionTest() {
        clock.install();
        client = std::make_shared<ZVTHttpClient>(
            std::nullopt, ZVT_Reachability::reachabilityForInternetConnection());
        MainQueuePump::drain();
        ingestion = std::make_shared<ZVTZevOzozidIngestion>(client, server.base(), installId);
        ingestion->setAppSecret(kSecret40);
    }
    ~IngestionTest() override {
        ingestion.reset();
        client.reset();
        MainQueuePump::drain();
    }
};

TEST_F(IngestionTest, SendsABatchAsJsonWithItsHeadersAndTracesItAtTheVerboseLevel) {
    ZVTLogger::setCurrentLogLevel(ZVTLogLevelVerbose);
    server.script({{200, {}, "{\"accepted\":2}", "application/json"}});
    auto container = batch("B1");
    BatchOutcome out;
    ingestion->sendAsync(container, out.handler());
    ASSERT_TRUE(out.wait());
    EXPECT_EQ(out.batchId, "B1");
    ASSERT_TRUE(out.response);
    EXPECT_EQ(out.response->status, 200);
    EXPECT_FALSE(out.error);

    ASSERT_EQ(server.count(), 1u);
    const auto got = server.received()[0];
    EXPECT_EQ(got.path, "/logs");
    EXPECT_EQ(got.query, "api-version=1.0.0");
    EXPECT_EQ(got.headers.at("Content-Type"), "application/json");
    EXPECT_EQ(got.headers.at("Install-ID"), installId);
    EXPECT_EQ(got.headers.at("App-Secret"), kSecret40);
    EXPECT_EQ(got.body, container->serializeLog());
    EXPECT_EQ(nlohmann::json::parse(got.body).at("logs").size(), 2u);

    const std::string url = server.base() + "/logs?api-version=1.0.0";
    EXPECT_EQ(ingestion->sendURL(), url);
    EXPECT_EQ(logs.count(ZVTLogLevelVerbose, "URL: " + url), 1u);
    EXPECT_EQ(logs.count(ZVTLogLevelVerbose, "Headers: App-Secret = " + std::string(32, '*') +
                                                 "-secret1, Content-Type = application/json, "
                                                 "Install-ID = " +
                                                 installId),
              1u);
    EXPECT_EQ(logs.count(ZVTLogLevelVerbose,
                         "HTTP response received with status code: 200, "
                         "payload:\n{\n  \"accepted\": 2\n}"),
              1u);

    // Above the verbose level nothing is traced.
    ZVTLogger::setCurrentLogLevel(ZVTLogLevelDebug);
    logs.clear();
    BatchOutcome quiet;
    ingestion->sendAsync(batch("B2"), quiet.handler());
    ASSERT_TRUE(quiet.wait());
    EXPECT_EQ(logs.atLevel(ZVTLogLevelVerbose).size(), 0u);
}

TEST_F(IngestionTest, RefusedSendsAreAnsweredAtOnceAndReachNoServer) {
    const struct {
        const char* name;
        std::function<void(IngestionTest&)> arrange;
        std::shared_ptr<ZVTLogContainer> container;
        long code;
        std::string description;
        unsigned level;
        std::string line;
    } cases[] = {
        {"no logs",
         {},
         batch("E", 0),
         ZVTLogInvalidContainerErrorCode,
         "Invalid log container.",
         ZVTLogLevelError,
         "Invalid log container."},
        {"no container",
         {},
         nullptr,
         ZVTLogInvalidContainerErrorCode,
         "Invalid log container.",
         ZVTLogLevelError,
         "Invalid log container."},
        {"only a target token",
         [](IngestionTest& t) {
             t.ingestion->setAppSecret(ZVTUtility::appSecretFrom(std::string("target=")));
         },
         batch("S"), ZVTDisabledErrorCode, "The service is disabled.", ZVTLogLevelError,
         "ZevOzozid ingestion is used without app secret."},
        {"disabled", [](IngestionTest& t) { t.ingestion->setEnabled(false, true); }, batch("D"),
         ZVTDisabledErrorCode, "The service is disabled.", ZVTLogLevelWarning,
         "ZVTZevOzozidIngestion is disabled."},
        {"network requests forbidden",
         [](IngestionTest&) {
             ZVTHttpIngestion::setNetworkRequestsAllowedProvider([] { return false; });
         },
         batch("N"), ZVTDisabledErrorCode, "The service is disabled.", ZVTLogLevelWarning,
         "ZVTZevOzozidIngestion is disabled."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ingestion = std::make_shared<ZVTZevOzozidIngestion>(client, server.base(), installId);
        ingestion->setAppSecret(kSecret40);
        ZVTHttpIngestion::setNetworkRequestsAllowedProvider({});
        if (c.arrange) c.arrange(*this);
        logs.clear();
        BatchOutcome out;
        ingestion->sendAsync(c.container, out.handler());
        ASSERT_EQ(out.calls.load(), 1);  // on this thread, before sendAsync returned
        ASSERT_TRUE(out.error);
        EXPECT_EQ(out.error->domain, kZVTErrorDomain);
        EXPECT_EQ(out.error->code, c.code);
        EXPECT_EQ(out.error->localizedDescription, c.description);
        EXPECT_EQ(out.batchId, c.container ? c.container->batchId() : "");
        EXPECT_EQ(logs.count(c.level, c.line), 1u);
    }
    EXPECT_FALSE(ingestion->isEnabled());
    ingestion->setAppSecret(std::nullopt);
    EXPECT_FALSE(ingestion->isReadyToSend());
    MainQueuePump::drain();
    EXPECT_EQ(server.count(), 0u);
}

TEST_F(IngestionTest, AFatalAnswerLeavesEveryLaterSendRefused) {
    for (int status : {400, 401, 403}) {
        SCOPED_TRACE(status);
        client = std::make_shared<ZVTHttpClient>(
            std::nullopt, ZVT_Reachability::reachabilityForInternetConnection());
        MainQueuePump::drain();
        ingestion = std::make_shared<ZVTZevOzozidIngestion>(client, server.base(), installId);
        ingestion->setAppSecret(kSecret40);
        const size_t before = server.count();
        server.scriptStatuses({status});
        BatchOutcome fatal, later;
        ingestion->sendAsync(batch("F"), fatal.handler());
        ASSERT_TRUE(fatal.wait());
        EXPECT_EQ(fatal.response->status, status);
        ingestion->sendAsync(batch("L"), later.handler());
        EXPECT_EQ(later.calls.load(), 1);
        EXPECT_EQ(later.error->code, ZVTDisabledErrorCode);
        EXPECT_EQ(later.batchId, "L");
        MainQueuePump::drain();
        EXPECT_EQ(server.count(), before + 1);
    }
}

TEST_F(IngestionTest, ANewBaseURLKeepsTheQueryAndABadOneChangesNothing) {
    EXPECT_EQ(ZVTHttpIngestion::buildURLWithBaseURL("http://h", "/p", {{"a", "b c"}, {"d", "%"}}),
              "http://h/p?a=b%20c&d=%25");
    const struct {
        std::string base;
        std::string sendURL;  // empty: unchanged
    } cases[] = {
        {"https://ingest.invalid:8443/x", "https://ingest.invalid:8443/x/logs?api-version=1.0.0"},
        {"http://user:pw@[::1]:81", "http://user:pw@[::1]:81/logs?api-version=1.0.0"},
        {"not a url", ""},
        {"http://h:99999", ""},
        {"http://", ""},
        {"ftp//h", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base);
        const std::string before = ingestion->sendURL();
        logs.clear();
        ingestion->setBaseURL(c.base);
        EXPECT_EQ(ingestion->baseURL(), c.base);
        if (c.sendURL.empty()) {
            EXPECT_EQ(ingestion->sendURL(), before);
            EXPECT_EQ(logs.count(ZVTLogLevelInfo,
                                 "Failed to update HTTP URL " + before + " with " + c.base),
                      1u);
        } else {
            EXPECT_EQ(ingestion->sendURL(), c.sendURL);
        }
    }

    // The "/x" prefix reaches the server with the query intact.
    ScriptedServer prefixed("/x/logs");
    ingestion->setBaseURL(prefixed.base() + "/x");
    BatchOutcome out;
    ingestion->sendAsync(batch("X"), out.handler());
    ASSERT_TRUE(out.wait());
    ASSERT_EQ(prefixed.count(), 1u);
    EXPECT_EQ(prefixed.received()[0].path, "/x/logs");
    EXPECT_EQ(prefixed.received()[0].query, "api-version=1.0.0");
}

TEST_F(IngestionTest, ResponsesAreTracedByTheirContentType) {
    ZVTLogger::setCurrentLogLevel(ZVTLogLevelVerbose);
    const struct {
        const char* type;
        std::string body;
        std::string payload;
    } cases[] = {
        {"application/json; charset=utf-8", "{\"a\":1}", "{\n  \"a\": 1\n}"},
        {"application/json", "not json", "not json"},
        {"text/plain", "fine", "fine"},
        {"", "plain", "plain"},
        {"application/octet-stream", "ab\xFF", "ab\xEF\xBF\xBD"},
        {"image/png", "\x89PNG", "<binary>"},
        {"text/plain", "", "(null)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        platform::URLResponse response;
        response.status = 202;
        if (*c.type) response.headers["content-type"] = c.type;
        response.body = c.body;
        logs.clear();
        ingestion->printResponse(response, c.body, std::nullopt);
        EXPECT_EQ(
            logs.count(ZVTLogLevelVerbose,
                       "HTTP response received with status code: 202, payload:\n" + c.payload),
            1u);
    }
    logs.clear();
    ingestion->printResponse(std::nullopt, "", ZVTError{"d", -1004, "refused"});
    EXPECT_EQ(logs.count(ZVTLogLevelDebug,
                         "HTTP request error with code: -1004, domain: d, description: refused"),
              1u);

    platform::URLResponse tagged;
    tagged.headers["etag"] = "\"v7\"";
    EXPECT_EQ(ZVTHttpIngestion::eTagFromResponse(tagged), "\"v7\"");
    EXPECT_EQ(ZVTHttpIngestion::eTagFromResponse(platform::URLResponse{}), std::nullopt);
}

}  // namespace
