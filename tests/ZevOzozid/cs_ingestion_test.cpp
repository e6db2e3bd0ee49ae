#include "tests/ZevOzozid/ZVTHttpTestSupport.h"
#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "platform/Clock.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTCSCollectorIngestion.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClient.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTTicketCache.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <thread>

namespace {

using namespace std::chrono;
using testing_support::MainQueuePump;
using zvt_test::FakeNetwork;
using zvt_test::LogCapture;
using zvt_test::ScriptedServer;

std::shared_ptr<ZVTCommonSchemaLog> csLog(const std::string& token, const std::string& name,
                                          std::vector<std::string> ticketKeys = {}) {
    auto log = std::make_shared<ZVTCommonSchemaLog>();
    log->setTimestamp(ZVTDate(milliseconds(1'767'323'045'678)));
    log->setVer("3.0");
    log->setName(name);
    log->setIKey(ZVTUtility::iKeyFromTargetToken(token));
    log->addTransmissionTargetToken(token);
    log->setExt(std::make_shared<ZVTCSExtensions>());
    if (!ticketKeys.empty()) {
        log->ext()->setProtocolExt(std::make_shared<ZVTProtocolExtension>());
        log->ext()->protocolExt()->setTicketKeys(ticketKeys);
    }
    return log;
}

// A log whose JSON cannot be made.
class UnwritableLog : public ZVTCommonSchemaLog {
  public:
    ZVTJson serializeToDictionary() const override { return ZVTJson(); }
};

struct Outcome {
    std::atomic<int> calls{0};
    std::string batchId;
    std::optional<ZVTError> error;
    ZVTSendAsyncCompletionHandler handler() {
        return [this](const std::string& id, const std::optional<platform::URLResponse>&,
                      const std::string&, const std::optional<ZVTError>& e) {
            batchId = id;
            error = e;
            ++calls;
        };
    }
};

struct CSIngestionTest : ::testing::Test {
    platform::FakeClock clock;
    LogCapture logs;
    FakeNetwork network;
    ScriptedServer server{ZVTCSCollectorIngestion::kApiPath};
    std::shared_ptr<ZVTHttpClient> client;
    std::shared_ptr<ZVTCSCollectorIngestion> ingestion;

    CSIngestionTest() {
        clock.install();
        client = std::make_shared<ZVTHttpClient>(
            std::nullopt, ZVT_Reachability::reachabilityForInternetConnection());
        MainQueuePump::drain();
        ingestion = std::make_shared<ZVTCSCollectorIngestion>(client, server.base());
    }
    ~CSIngestionTest() override {
        ZVTTicketCache::sharedInstance().clearCache();
        ingestion.reset();
        client.reset();
        MainQueuePump::drain();
    }
    ScriptedServer::Received sendOne(std::vector<std::shared_ptr<ZVTLog>> items) {
        Outcome outcome;
        ingestion->sendAsync(std::make_shared<ZVTLogContainer>("batch-1", items),
                             outcome.handler());
        EXPECT_TRUE(MainQueuePump::until([&] { return outcome.calls.load() == 1; }));
        EXPECT_EQ(outcome.batchId, "batch-1");
        EXPECT_FALSE(outcome.error);
        auto received = server.received();
        EXPECT_EQ(received.size(), 1u);
        return received.empty() ? ScriptedServer::Received{} : received.back();
    }
};

TEST_F(CSIngestionTest, PostsOneJsonLinePerLogWithKeysTimeAndTickets) {
    ZVTTicketCache::sharedInstance().setTicket("t\"1\n", "tk1");
    std::vector<std::shared_ptr<ZVTLog>> items = {
        csLog("key2-secretB", "lap.saved", {"tk1", "tk-unknown"}),
        csLog("key1-secretA", "lap.opened"),
        csLog("key2-secretB", "lap.closed"),
    };
    auto request = sendOne(items);
    EXPECT_EQ(request.path, "/CSCollector/1.0");
    EXPECT_EQ(request.query, "");
    EXPECT_EQ(request.headers["apikey"], "key1-secretA,key2-secretB");  // each once, sorted
    EXPECT_EQ(request.headers["Upload-Time"],
              std::to_string(static_cast<long long>(ZVTUtility::nowInMilliseconds())));
    EXPECT_EQ(request.headers["Content-Type"], "application/x-json-stream; charset=utf-8");
    EXPECT_EQ(request.headers["Client-Version"],
              "ZVT-Linux-Cpp-no-" + ZVTUtility::sdkVersion() + "-no");
    EXPECT_EQ(request.headers["Tickets"], R"({"tk1":"t\"1\n"})");

    ASSERT_FALSE(request.body.empty());
    EXPECT_EQ(request.body.back(), '\n');
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = request.body.find('\n', start)) != std::string::npos;
         start = end + 1) {
        lines.push_back(request.body.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 3u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i], items[i]->serializeToDictionary().dump()) << i;
    }
}

TEST_F(CSIngestionTest, NoTicketsNoHeaderAndUnwritableLogsLeftOut) {
    auto unwritable = std::make_shared<UnwritableLog>();
    unwritable->setTimestamp(ZVTDate(milliseconds(1)));
    unwritable->setVer("3.0");
    unwritable->setName("lap.lost");
    auto kept = csLog("key1-a", "lap.saved", {"tk-unknown"});
    auto request = sendOne({kept, unwritable});
    EXPECT_EQ(request.headers.count("Tickets"), 0u);
    EXPECT_EQ(request.body, kept->serializeToDictionary().dump() + "\n");
    EXPECT_EQ(logs.count(ZVTLogLevelError, "left out of the request"), 1u);
}

TEST_F(CSIngestionTest, InvalidContainerFailsAtOnce) {
    auto nameless = csLog("key1-a", "x");
    nameless->setName(std::nullopt);
    for (auto container :
         {std::shared_ptr<ZVTLogContainer>(),
          std::make_shared<ZVTLogContainer>("b", std::vector<std::shared_ptr<ZVTLog>>{}),
          std::make_shared<ZVTLogContainer>("b", std::vector<std::shared_ptr<ZVTLog>>{nameless})}) {
        Outcome outcome;
        ingestion->sendAsync(container, outcome.handler());
        ASSERT_EQ(outcome.calls.load(), 1);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->code, 1);
        EXPECT_EQ(outcome.error->localizedDescription, "Invalid log container.");
    }
    EXPECT_EQ(logs.count(ZVTLogLevelError, "Invalid log container."), 3u);
    EXPECT_EQ(server.count(), 0u);
}

TEST_F(CSIngestionTest, RequestTraceOnlyAtVerboseWithSecretsMasked) {
    ZVTTicketCache::sharedInstance().setTicket("ticket-value", "tk1");
    ZVTLogger::setCurrentLogLevel(ZVTLogLevelDebug);
    sendOne({csLog("key1-0123456789", "lap.saved", {"tk1"})});
    EXPECT_EQ(logs.count(ZVTLogLevelVerbose, "URL: "), 0u);
    EXPECT_EQ(logs.count(ZVTLogLevelVerbose, "Headers: "), 0u);

    ZVTLogger::setCurrentLogLevel(ZVTLogLevelVerbose);
    logs.clear();
    Outcome outcome;
    ingestion->sendAsync(
        std::make_shared<ZVTLogContainer>("b2", std::vector<std::shared_ptr<ZVTLog>>{csLog(
                                                    "key1-0123456789", "lap.saved", {"tk1"})}),
        outcome.handler());
    ASSERT_TRUE(MainQueuePump::until([&] { return outcome.calls.load() == 1; }));
    EXPECT_EQ(logs.count(ZVTLogLevelVerbose, "URL: " + server.base() + "/CSCollector/1.0"), 1u);
    EXPECT_EQ(logs.count(ZVTLogLevelVerbose, "apikey = *******23456789"), 1u);
    EXPECT_EQ(logs.count(ZVTLogLevelVerbose, "Tickets = {\"tk1\":\"***\"}"), 1u);
    for (const auto& line : logs.lines()) {
        EXPECT_EQ(line.text.find("ticket-value"), std::string::npos) << line.text;
    }
}

TEST(ZVTCSCollectorIngestionMasks, MaskTokensTicketsAndResponses) {
    EXPECT_EQ(ZVTCSCollectorIngestion::obfuscateTargetTokens("abcdefghij12345678,short"),
              "**********12345678,*****");
    EXPECT_EQ(ZVTCSCollectorIngestion::obfuscateTargetTokens(""), "");
    EXPECT_EQ(ZVTCSCollectorIngestion::obfuscateTickets(R"({"a":"x:y","b":"z"})"),
              R"({"a":"***","b":"***"})");
    ZVTCSCollectorIngestion ingestion(nullptr, "https://127.0.0.1");
    EXPECT_EQ(*ingestion.obfuscateResponsePayload(R"({"token" :  "abc", "TOKEN":"d", "x":1})"),
              R"({"token" : "***", "token" : "***", "x":1})");
    EXPECT_FALSE(ingestion.obfuscateResponsePayload(std::nullopt));

    // Megabytes of response: all masked, the first part shown.
    std::string huge = R"({"token":"secret-one",)";
    while (huge.size() < ZVTCSCollectorIngestion::kMaxMaskedLength - 5) huge += R"("k":"v",)";
    huge += R"("token":"second-secret-value-that-is-long", "Token":")" + std::string(2 << 20, 'x');
    huge += R"(", "pad":")" + std::string(2 << 20, 'x') + R"("})";
    auto masked = ingestion.obfuscateResponsePayload(huge);
    ASSERT_TRUE(masked);
    EXPECT_EQ(masked->rfind(R"({"token" : "***",)", 0), 0u);
    EXPECT_EQ(masked->find("secret"), std::string::npos);
    EXPECT_LT(masked->size(), ZVTCSCollectorIngestion::kMaxMaskedLength + 64);
    EXPECT_NE(masked->find("bytes not shown)"), std::string::npos);
    const std::string longTicket = R"({"a":")" + std::string(1 << 20, 't') + R"("})";
    EXPECT_EQ(ZVTCSCollectorIngestion::obfuscateTickets(longTicket), R"({"a":"***"})");
    // Edge cases of the patterns: empty values, no closing quote, blanks.
    const std::vector<std::pair<std::string, std::string>> tokenCases = {
        {R"("token":"")", R"("token":"")"},
        {R"("token":"open)", R"("token":"open)"},
        {"\"token\"\t:\n\"v\"", R"("token" : "***")"},
        {R"(x"token")", R"(x"token")"},
    };
    for (const auto& [text, expected] : tokenCases) {
        EXPECT_EQ(*ingestion.obfuscateResponsePayload(text), expected) << text;
    }
    EXPECT_EQ(ZVTCSCollectorIngestion::obfuscateTickets(R"({"a":"","b":"open)"),
              R"({"a":"","b":"***)");
}

TEST(ZVTTicketCache, ConcurrentWritersAndReaders) {
    ZVTTicketCache cache;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&cache, t] {
            for (int i = 0; i < 500; ++i) {
                const std::string key = "k" + std::to_string(i % 7);
                cache.setTicket(std::to_string(t), key);
                (void)cache.ticketFor(key);
                if (i % 50 == 0) cache.setTicket(std::nullopt, key);
            }
        });
    }
    for (auto& t : threads) t.join();
    cache.setTicket("x", "a");
    EXPECT_EQ(cache.ticketFor("a"), "x");
    cache.setTicket(std::nullopt, "a");
    EXPECT_FALSE(cache.ticketFor("a"));
    cache.setTicket("y", "b");
    cache.clearCache();
    EXPECT_FALSE(cache.ticketFor("b"));
}

}  // namespace
