#include "tests/ZevOzozid/ZVTHttpTestSupport.h"
#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "platform/Clock.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTDependencyConfiguration.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpCall.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClient.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpUtil.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using testing_support::MainQueuePump;
using zvt_test::CallOutcome;
using zvt_test::FakeNetwork;
using zvt_test::LogCapture;
using zvt_test::ScriptedServer;

std::string bodyOfSize(size_t size) {
    std::string body = "{\"logs\":[";
    while (body.size() < size) body += "{\"type\":\"startService\"},";
    body.resize(size);
    return body;
}

struct HttpClientTest : ::testing::Test {
    platform::FakeClock clock;
    LogCapture logs;
    FakeNetwork network;
    ScriptedServer server;
    std::shared_ptr<ZVTHttpClient> client;

    HttpClientTest() {
        clock.install();
        client = makeClient();
    }
    ~HttpClientTest() override {
        client.reset();
        MainQueuePump::drain();
    }
    static std::shared_ptr<ZVTHttpClient> makeClient() {
        auto c = std::make_shared<ZVTHttpClient>(
            std::nullopt, ZVT_Reachability::reachabilityForInternetConnection());
        MainQueuePump::drain();  // the monitor's first notice
        return c;
    }
    void send(CallOutcome& out, std::optional<std::string> body = std::string("{}")) {
        client->sendAsync(server.url("logs"), "POST", {}, body, out.handler());
    }
    // Waits until the one pending call has `count` retries scheduled and its timer armed.
    bool retryArmed(int count) {
        return MainQueuePump::until([&] {
            auto calls = client->pendingCalls();
            return calls.size() == 1 && calls[0]->retryCount() == count &&
                   calls[0]->hasRetryTimer();
        });
    }
};

TEST(ZVTHttpUtil, ClassifiesStatusesAndTransportErrors) {
    const struct {
        long status;
        bool recoverable, success;
    } statuses[] = {{0, true, false},    {200, false, true},  {299, false, true},
                    {300, false, false}, {400, false, false}, {401, false, false},
                    {403, false, false}, {404, false, false}, {408, true, false},
                    {429, true, false},  {500, true, false},  {503, true, false},
                    {599, true, false}};
    for (const auto& s : statuses) {
        EXPECT_EQ(ZVTHttpUtil::isRecoverableError(s.status), s.recoverable) << s.status;
        EXPECT_EQ(ZVTHttpUtil::isSuccessStatusCode(s.status), s.success) << s.status;
    }

    using K = platform::URLErrorKind;
    const struct {
        K kind;
        bool timedOut, networkUp;
        long code;
        bool noInternet, ssl;
    } errors[] = {
        {K::NoNetwork, false, false, ZVTURLErrorNotConnectedToInternet, true, false},
        {K::NoNetwork, false, true, ZVTURLErrorCannotConnectToHost, false, false},
        {K::TLS, false, true, ZVTURLErrorSecureConnectionFailed, false, true},
        {K::Other, true, true, ZVTURLErrorTimedOut, false, false},
        {K::Other, false, false, ZVTURLErrorUnknown, false, false},
    };
    for (const auto& e : errors) {
        const ZVTError error =
            ZVTHttpUtil::errorFromURLError({e.kind, e.timedOut, "x"}, e.networkUp);
        EXPECT_EQ(error.domain, kZVTURLErrorDomain);
        EXPECT_EQ(error.code, e.code);
        EXPECT_EQ(ZVTHttpUtil::isNoInternetConnectionError(error), e.noInternet) << e.code;
        EXPECT_EQ(ZVTHttpUtil::isSSLConnectionError(error), e.ssl) << e.code;
    }
    ZVTError lost{kZVTURLErrorDomain, ZVTURLErrorNetworkConnectionLost, ""};
    EXPECT_TRUE(ZVTHttpUtil::isNoInternetConnectionError(lost));
    ZVTError sdk{kZVTErrorDomain, ZVTURLErrorNotConnectedToInternet, ""};
    EXPECT_FALSE(ZVTHttpUtil::isNoInternetConnectionError(sdk));
    EXPECT_TRUE(ZVTHttpUtil::isSSLConnectionError({kZVTURLErrorDomain, -2000, ""}));
    EXPECT_FALSE(ZVTHttpUtil::isSSLConnectionError({kZVTURLErrorDomain, -2001, ""}));
}

TEST(ZVTHttpUtil, RetryAfterIsAPlainNonNegativeInteger) {
    const struct {
        std::optional<std::string> text;
        std::optional<uint64_t> ms;
    } cases[] = {{"2500", 2500},
                 {"0", 0},
                 {"-1", std::nullopt},
                 {"abc", std::nullopt},
                 {"", std::nullopt},
                 {"25.5", std::nullopt},
                 {" 25", std::nullopt},
                 {"4294967297", 4294967297ull},
                 {"1234567890123456789", std::nullopt},
                 {std::nullopt, std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(ZVTHttpUtil::retryAfterMilliseconds(c.text), c.ms) << c.text.value_or("(none)");
    }
}

TEST(ZVTHttpUtil, HidesAllButTheLastEightCharactersOfASecret) {
    const std::string secret36 = "0123456789abcdefghijklmnopqrstuvwxyz";
    EXPECT_EQ(ZVTHttpUtil::hideSecret(secret36), std::string(28, '*') + "stuvwxyz");
    EXPECT_EQ(ZVTHttpUtil::hideSecret("abcde"), "*****");
    EXPECT_EQ(ZVTHttpUtil::hideSecret("abcdefgh"), "********");
    EXPECT_EQ(ZVTHttpUtil::hideSecret("abcdefghi"), "*bcdefghi");
    EXPECT_EQ(ZVTHttpUtil::hideSecret("\xC3\xA9"
                                      "12345678"),
              "*12345678");  // whole characters
    EXPECT_EQ(ZVTHttpUtil::hideSecretInString("k=abcdefghij; again abcdefghij", "abcdefghij"),
              "k=**cdefghij; again **cdefghij");
}

TEST(ZVTHttpCall, GzipsLargeBodiesAndLabelsJsonOnlyWhenNeeded) {
    const auto gzipped = [](const ZVTHttpCall& call) {
        auto it = call.headers().find("Content-Encoding");
        return it != call.headers().end() && it->second == "gzip";
    };
    const auto make = [](std::optional<std::string> body, bool compress,
                         std::map<std::string, std::string> headers = {},
                         ZVTCompressor compressor = {}) {
        return std::make_unique<ZVTHttpCall>("http://127.0.0.1/logs", "POST", headers, body,
                                             ZVTHttpClient::defaultRetryIntervals(), compress,
                                             nullptr, compressor);
    };
    auto small = make(bodyOfSize(1399), true);
    EXPECT_FALSE(gzipped(*small));
    EXPECT_EQ(small->data(), bodyOfSize(1399));
    EXPECT_EQ(small->headers().at("Content-Type"), "application/json");

    auto large = make(bodyOfSize(1400), true);
    EXPECT_TRUE(gzipped(*large));
    EXPECT_EQ(large->data()->substr(0, 2), "\x1F\x8B");
    EXPECT_FALSE(gzipped(*make(bodyOfSize(1400), false)));

    // A gzip routine that fails or yields nothing: the plain body goes, without the label.
    const ZVTCompressor failing = [](const std::vector<uint8_t>&) { return std::nullopt; };
    const ZVTCompressor empty = [](const std::vector<uint8_t>&) {
        return std::optional<std::vector<uint8_t>>(std::vector<uint8_t>{});
    };
    for (const auto& compressor : {failing, empty}) {
        auto call = make(bodyOfSize(1400), true, {}, compressor);
        EXPECT_FALSE(gzipped(*call));
        EXPECT_EQ(call->data(), bodyOfSize(1400));
    }

    EXPECT_FALSE(make(std::nullopt, true)->headers().count("Content-Type"));
    EXPECT_EQ(make("x", true, {{"Content-Type", "text/plain"}})->headers().at("Content-Type"),
              "text/plain");
}

TEST(ZVTHttpCall, RetryDelaysLieBetweenHalfAndAllOfEachInterval) {
    ZVTHttpCall call("u", "POST", {}, std::nullopt, ZVTHttpClient::defaultRetryIntervals(), true,
                     nullptr);
    const uint64_t bounds[][2] = {{5000, 9999}, {150000, 299999}, {600000, 1199999}};
    for (int round = 0; round < 50; ++round) {
        for (size_t i = 0; i < 3; ++i) {
            const uint64_t delay = call.delayForRetryCount(i);
            EXPECT_GE(delay, bounds[i][0]);
            EXPECT_LE(delay, bounds[i][1]);
        }
    }
    EXPECT_EQ(call.delayForRetryCount(3), 0u);
}

TEST(ZVTDependencyConfiguration, HoldsOneClientForTheProcess) {
    FakeNetwork network;
    EXPECT_EQ(ZVTDependencyConfiguration::httpClient(), nullptr);
    auto client = std::make_shared<ZVTHttpClient>();
    {
        testing_support::ScopedHook<&ZVTDependencyConfiguration::setHttpClient> installed(client);
        EXPECT_EQ(ZVTDependencyConfiguration::httpClient(), client);
        auto other = std::make_shared<ZVTHttpClient>();
        EXPECT_EQ(ZVTDependencyConfiguration::setHttpClient(other), client);
        EXPECT_EQ(ZVTDependencyConfiguration::setHttpClient(client), other);
    }
    EXPECT_EQ(ZVTDependencyConfiguration::httpClient(), nullptr);
}

TEST_F(HttpClientTest, RecoverableStatusesAreRetriedAfterTheFirstInterval) {
    for (int status : {408, 429, 500, 503}) {
        SCOPED_TRACE(status);
        const size_t before = server.count();
        server.scriptStatuses({status, 200});
        CallOutcome out;
        send(out);
        ASSERT_TRUE(retryArmed(1));
        EXPECT_EQ(server.count(), before + 1);
        EXPECT_EQ(out.calls.load(), 0);
        clock.advance(10s);
        ASSERT_TRUE(out.waitCalled());
        EXPECT_EQ(out.status(), 200);
        EXPECT_EQ(server.count(), before + 2);
        EXPECT_TRUE(client->isEnabled());
        EXPECT_FALSE(client->isPaused());
        EXPECT_EQ(client->pendingCallCount(), 0u);
    }
    EXPECT_EQ(logs.count(ZVTLogLevelWarning,
                         "Call attempt #0 failed with status code: 429, "
                         "it will be retried in "),
              1u);
}

TEST_F(HttpClientTest, ThreeRetriesThenTheClientPausesAndAnswersOnce) {
    const struct {
        std::vector<int> script;
        long answered;
        bool paused;
    } cases[] = {{{503, 503, 503, 200}, 200, false}, {{503, 503, 503, 503}, 503, true}};
    for (const auto& c : cases) {
        client = makeClient();
        const size_t before = server.count();
        server.scriptStatuses(c.script);
        CallOutcome out;
        send(out);
        ASSERT_TRUE(retryArmed(1));
        clock.advance(4999ms);  // no first retry before half the interval
        EXPECT_EQ(server.count(), before + 1);
        clock.advance(5001ms);
        ASSERT_TRUE(retryArmed(2));
        EXPECT_EQ(server.count(), before + 2);
        clock.advance(300s);
        ASSERT_TRUE(retryArmed(3));
        EXPECT_EQ(server.count(), before + 3);
        clock.advance(1200s);
        ASSERT_TRUE(out.waitCalled());
        EXPECT_EQ(out.status(), c.answered);
        EXPECT_EQ(server.count(), before + 4);
        EXPECT_EQ(client->isPaused(), c.paused);
        EXPECT_TRUE(client->isEnabled());
        EXPECT_EQ(client->pendingCallCount(), 0u);
        EXPECT_EQ(out.calls.load(), 1);
    }
}

TEST_F(HttpClientTest, TheServersRetryAfterIsUsedWhenItIsAWholeNumberWithinOurLongestWait) {
    const struct {
        const char* value;
        std::chrono::milliseconds notYet, due;
    } cases[] = {{"2500", 2499ms, 1ms},
                 {"-1", 4999ms, 5001ms},
                 {"abc", 4999ms, 5001ms},
                 {"99999999999999", 1199999ms, 1ms}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const size_t before = server.count();
        server.script({{503, {{"x-zv-retry-after-ms", c.value}}, "", "text/plain"},
                       {200, {}, "", "application/json"}});
        CallOutcome out;
        send(out);
        ASSERT_TRUE(retryArmed(1));
        clock.advance(c.notYet);
        auto calls = client->pendingCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_TRUE(calls[0]->hasRetryTimer());
        clock.advance(c.due);
        ASSERT_TRUE(out.waitCalled());
        EXPECT_EQ(out.status(), 200);
        EXPECT_EQ(server.count(), before + 2);
    }
}

TEST_F(HttpClientTest, AFatalStatusAnswersThenDisablesTheClientForGood) {
    for (int status : {400, 401, 403, 404}) {
        SCOPED_TRACE(status);
        client = makeClient();
        const size_t before = server.count();
        server.scriptStatuses({503, status});
        CallOutcome waiting, fatal, later, fromHandler;
        send(waiting);  // waits for its retry when the fatal answer comes
        ASSERT_TRUE(retryArmed(1));
        std::atomic<int> handlerSaw{-1};
        client->sendAsync(server.url("logs"), "POST", {}, std::string("{}"),
                          [&](const std::optional<platform::URLResponse>& r, const std::string&,
                              const std::optional<ZVTError>&) {
                              // Sending from a handler must not deadlock; it is refused at once.
                              client->sendAsync(server.url("logs"), "POST", {}, std::nullopt,
                                                fromHandler.handler());
                              handlerSaw = static_cast<int>(fromHandler.calls.load());
                              fatal.handler()(r, "", std::nullopt);
                          });
        ASSERT_TRUE(fatal.waitCalled());
        EXPECT_EQ(fatal.status(), status);
        EXPECT_EQ(handlerSaw.load(), 1);
        EXPECT_EQ(fromHandler.errorCode(), ZVTDisabledErrorCode);
        ASSERT_TRUE(waiting.waitCalled());
        EXPECT_EQ(waiting.errorCode(), ZVTCanceledErrorCode);
        EXPECT_EQ(waiting.error->localizedDescription, "The operation was canceled.");

        send(later);
        EXPECT_EQ(later.calls.load(), 1);  // at once, on this thread
        EXPECT_EQ(later.errorCode(), ZVTDisabledErrorCode);
        EXPECT_EQ(later.error->localizedDescription, "The service is disabled.");
        clock.advance(30min);
        network.setUp(true);
        MainQueuePump::drain();
        EXPECT_EQ(server.count(), before + 2);
        EXPECT_FALSE(client->isEnabled());
        EXPECT_EQ(client->pendingCallCount(), 0u);
    }
}

TEST_F(HttpClientTest, BodiesOf1400BytesTravelGzippedUnlessTheGzipFails) {
    const struct {
        size_t size;
        bool failGzip;
        bool gzipped;
    } cases[] = {{1399, false, false}, {1400, false, true}, {1400, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        client->setCompressor(c.failGzip ? ZVTCompressor([](const std::vector<uint8_t>&) {
            return std::optional<std::vector<uint8_t>>();
        })
                                         : ZVTCompressor());
        CallOutcome out;
        send(out, bodyOfSize(c.size));
        ASSERT_TRUE(out.waitCalled());
        EXPECT_EQ(out.status(), 200);
        const auto got = server.received().back();
        EXPECT_EQ(got.body, bodyOfSize(c.size));  // as the server reads it, gzip undone
        EXPECT_EQ(got.headers.count("Content-Encoding") == 1, c.gzipped);
        if (c.gzipped) {
            EXPECT_EQ(got.headers.at("Content-Encoding"), "gzip");
        }
        EXPECT_EQ(got.headers.at("Content-Type"), "application/json");
    }
}

TEST_F(HttpClientTest, ARefusedConnectionOnALiveNetworkIsAnsweredAtOnce) {
    CallOutcome out;
    const std::string url =
        "http://127.0.0.1:" + std::to_string(testing_support::LoopbackServer::closedPort()) + "/l";
    client->sendAsync(url, "POST", {}, std::string("{}"), out.handler());
    ASSERT_TRUE(out.waitCalled());
    EXPECT_FALSE(out.response);
    ASSERT_TRUE(out.error);
    EXPECT_EQ(out.error->domain, kZVTURLErrorDomain);
    EXPECT_EQ(out.error->code, ZVTURLErrorCannotConnectToHost);
    EXPECT_FALSE(client->isPaused());
    EXPECT_TRUE(client->isEnabled());
    EXPECT_EQ(client->pendingCallCount(), 0u);
    EXPECT_EQ(logs.count(ZVTLogLevelError, "HTTP request error with code: -1004"), 1u);
}

TEST_F(HttpClientTest, CallsWaitWhileTheNetworkIsDownOrTheClientPaused) {
    network.setUp(false);
    EXPECT_TRUE(client->isPaused());
    CallOutcome a, b;
    send(a);
    send(b);
    EXPECT_EQ(client->pendingCallCount(), 2u);
    network.setUp(true);  // sends both in one pass
    ASSERT_TRUE(a.waitCalled());
    ASSERT_TRUE(b.waitCalled());
    EXPECT_EQ(server.count(), 2u);

    // Disabled without deletion: kept, not sent by a resume, sent once enabled again.
    client->pause();
    CallOutcome kept;
    send(kept);
    client->setEnabled(false, false);
    client->resume();
    clock.advance(1h);
    EXPECT_EQ(client->pendingCallCount(), 1u);
    EXPECT_EQ(kept.calls.load(), 0);
    client->setEnabled(true, false);
    MainQueuePump::drain();
    ASSERT_TRUE(kept.waitCalled());
    EXPECT_EQ(kept.status(), 200);
    EXPECT_EQ(server.count(), 3u);

    // Disabled with deletion: every held call is answered as cancelled.
    client->pause();
    CallOutcome dropped;
    send(dropped);
    client->setEnabled(false, true);
    EXPECT_EQ(dropped.calls.load(), 1);
    EXPECT_EQ(dropped.errorCode(), ZVTCanceledErrorCode);
    client->setEnabled(true, false);
    MainQueuePump::drain();
    EXPECT_EQ(client->pendingCallCount(), 0u);
    EXPECT_EQ(server.count(), 3u);
}

// Holds each request the client hands over until the test answers it.
struct HeldTransport {
    std::mutex mutex;
    std::vector<std::pair<platform::URLRequest, std::function<void(platform::URLResult)>>> held;

    ZVTHttpClient::Transport transport() {
        return [this](platform::URLRequest request, std::function<void(platform::URLResult)> done) {
            std::lock_guard lock(mutex);
            held.emplace_back(std::move(request), std::move(done));
        };
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return held.size();
    }
    void answer(size_t index, platform::URLResult result) {
        std::function<void(platform::URLResult)> done;
        {
            std::lock_guard lock(mutex);
            done = held.at(index).second;
        }
        done(std::move(result));
    }
    void answerStatus(size_t index, long status) {
        platform::URLResult result;
        result.response.status = status;
        answer(index, std::move(result));
    }
    void answerError(size_t index, platform::URLErrorKind kind) {
        platform::URLResult result;
        result.error = platform::URLError{kind, false, "failed"};
        answer(index, std::move(result));
    }
};

TEST_F(HttpClientTest, LostNetworkAndTlsFailuresWaitForTheNextResume) {
    HeldTransport transport;
    client->setTransport(transport.transport());
    CallOutcome lost, tls;
    send(lost);
    send(tls);
    ASSERT_EQ(transport.count(), 2u);
    network.setUp(false);  // the network drops while both requests run
    transport.answerError(0, platform::URLErrorKind::NoNetwork);
    transport.answerError(1, platform::URLErrorKind::TLS);
    EXPECT_EQ(lost.calls.load() + tls.calls.load(), 0);
    EXPECT_EQ(client->pendingCallCount(), 2u);
    EXPECT_EQ(logs.count(ZVTLogLevelInfo, "Internet connection is down."), 2u);  // notice, call
    EXPECT_EQ(logs.count(ZVTLogLevelInfo, "Could not establish secure connection."), 1u);

    network.setUp(true);  // both go again, from retry 0
    ASSERT_EQ(transport.count(), 4u);
    transport.answerStatus(2, 200);
    transport.answerStatus(3, 200);
    EXPECT_EQ(lost.calls.load(), 1);
    EXPECT_EQ(tls.calls.load(), 1);
    EXPECT_EQ(lost.status(), 200);
}

TEST_F(HttpClientTest, AConnectionLimitHoldsFurtherRequestsToTheSameHost) {
    client =
        std::make_shared<ZVTHttpClient>(1, ZVT_Reachability::reachabilityForInternetConnection());
    MainQueuePump::drain();
    HeldTransport transport;
    client->setTransport(transport.transport());
    CallOutcome a, b, other;
    client->sendAsync("http://127.0.0.1:9/a", "POST", {}, std::nullopt, a.handler());
    client->sendAsync("http://127.0.0.1:9/b", "POST", {}, std::nullopt, b.handler());
    client->sendAsync("http://127.0.0.2:9/c", "POST", {}, std::nullopt, other.handler());
    ASSERT_EQ(transport.count(), 2u);  // a and the other host's c; b waits for a
    EXPECT_EQ(transport.held[1].first.url, "http://127.0.0.2:9/c");
    transport.answerStatus(0, 200);
    ASSERT_EQ(transport.count(), 3u);
    EXPECT_EQ(transport.held[2].first.url, "http://127.0.0.1:9/b");

    // An answer that arrives after a disable with deletion is dropped: one answer per call.
    client->setEnabled(false, true);
    EXPECT_EQ(b.errorCode(), ZVTCanceledErrorCode);
    transport.answerStatus(2, 200);
    transport.answerStatus(1, 200);
    EXPECT_EQ(a.calls.load(), 1);
    EXPECT_EQ(b.calls.load(), 1);
    EXPECT_EQ(other.calls.load(), 1);
    EXPECT_EQ(other.errorCode(), ZVTCanceledErrorCode);
    EXPECT_EQ(logs.count(ZVTLogLevelDebug, "HTTP call was canceled; do not process further."), 2u);
}

}  // namespace
