#include "tests/ZevOzozid/ZVTEntryFixture.h"
#include "tests/ZevOzozid/ZVTHttpTestSupport.h"
#include "tests/support/TmpfsDisk.h"

#include "platform/Clock.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelUnitDefault.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClient.h"
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFolderLock.h"

#include <gtest/gtest.h>

#include <map>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using testing_support::MainQueuePump;
using zvt_test::CallOutcome;
using zvt_test::EntryFixture;
using zvt_test::EntryRecorder;
using zvt_test::FakeNetwork;
using zvt_test::LogCapture;
using zvt_test::ScriptedServer;
using Alpha = zvt_test::TestServiceClass<0>;

// The SDK started for real (store, channels, ingestion, HTTP client) against a loopback server,
// with time in the test's hands.
struct EndToEndTest : ::testing::Test {
    platform::FakeClock clock;
    FakeNetwork network;
    EntryFixture sdk;
    LogCapture logs;
    ScriptedServer server;
    std::shared_ptr<ZVTHttpClient> client;
    std::shared_ptr<EntryRecorder> recorder;

    EndToEndTest() { clock.install(); }

    // Configures the SDK at `base`, then starts Alpha, whose "startService" log the recorder
    // sees stored.
    void startAt(const std::string& base) {
        configureAt(base);
        recorder = std::make_shared<EntryRecorder>();
        ZVTZevOzozid::sharedInstance().channelGroup()->addDelegate(recorder);
        ZVTZevOzozid::startService(Alpha::cls());
        ASSERT_TRUE(stored(1));
    }
    // The unit reports an enqueue before it decides on its flush timer, in the same task on the
    // logs queue (which every unit of the group shares): once a later task there has run, the
    // timer is set.
    bool stored(int completedEnqueues) {
        if (!MainQueuePump::until([&] { return recorder->completed.load() >= completedEnqueues; }))
            return false;
        auto unit = std::dynamic_pointer_cast<ZVTChannelUnitDefault>(
            ZVTZevOzozid::sharedInstance().channelUnit());
        return unit && unit->logsDispatchQueue()->drainFor(10s);
    }
    void enqueueOnAlpha(int count) {
        auto unit = Alpha::instance->channelUnit();
        for (int i = 0; i < count; ++i) {
            auto log = std::make_shared<ZVTLog>();
            log->setType("alpha");
            unit->enqueueItem(log, ZVTFlagsNormal);
        }
    }
    bool retryArmed(int count) {
        return MainQueuePump::until([&] {
            auto calls = client->pendingCalls();
            return calls.size() == 1 && calls[0]->retryCount() == count &&
                   calls[0]->hasRetryTimer();
        });
    }
    // Configures the SDK at `base` with a new HTTP client.
    void configureAt(const std::string& base) {
        client = std::make_shared<ZVTHttpClient>(
            std::nullopt, ZVT_Reachability::reachabilityForInternetConnection());
        MainQueuePump::drain();
        ZVTDependencyConfiguration::setHttpClient(client);
        ZVTZevOzozid::setLogUrl(base);
        ZVTZevOzozid::configureWithAppSecret("secret-1234");
    }
    // The process is gone; the next launch configures the SDK at `base`.
    void relaunchAt(const std::string& base) {
        EntryFixture::relaunch();
        configureAt(base);
    }
    // The logs the server received, counted by type.
    std::map<std::string, int> sentByType() const {
        std::map<std::string, int> sent;
        for (const auto& got : server.received()) {
            const auto body = nlohmann::json::parse(got.body);
            for (const auto& log : body["logs"]) ++sent[log["type"].get<std::string>()];
        }
        return sent;
    }
    static uint64_t storedLogs() { return ZVTLogDBStorage().countLogs(); }
    static size_t logsIn(const std::string& body) {
        auto json = nlohmann::json::parse(body, nullptr, false);
        return json.is_object() && json["logs"].is_array() ? json["logs"].size() : 0;
    }
};

TEST_F(EndToEndTest, TheStartLogIsSentAfterSixSecondsAndLeavesTheStore) {
    startAt(server.base());
    clock.advance(5s);
    MainQueuePump::drain();
    EXPECT_EQ(server.count(), 0u);
    clock.advance(1s);
    ASSERT_TRUE(MainQueuePump::until([&] { return recorder->succeeded.load() == 1; }));
    ASSERT_EQ(server.count(), 1u);
    const auto got = server.received()[0];
    EXPECT_EQ(got.path, "/logs");
    EXPECT_EQ(got.query, "api-version=1.0.0");
    EXPECT_EQ(got.headers.at("Content-Type"), "application/json");
    EXPECT_EQ(got.headers.at("App-Secret"), "secret-1234");
    EXPECT_EQ(got.headers.at("Install-ID"), EntryFixture::settings().stringForKey("InstallId"));
    EXPECT_EQ(got.headers.at("Install-ID"), ZVTZevOzozid::installId().UUIDString());
    const auto body = nlohmann::json::parse(got.body);
    ASSERT_EQ(body["logs"].size(), 1u);
    EXPECT_EQ(body["logs"][0]["type"], "startService");
    EXPECT_EQ(body["logs"][0]["services"], nlohmann::json::array({"Alpha"}));
    EXPECT_EQ(body["logs"][0]["isCSCollectorEnabled"], false);
    EXPECT_TRUE(MainQueuePump::until([] { return storedLogs() == 0; }));
    // One notice per client: the ingestion's and the common-schema collector's.
    EXPECT_EQ(logs.count(ZVTLogLevelInfo, "Internet connection is up."), 2u);
}

TEST_F(EndToEndTest, ALogStoredWhileTheServerIsDownIsSentByTheNextLaunch) {
    startAt("http://127.0.0.1:" + std::to_string(testing_support::LoopbackServer::closedPort()));
    clock.advance(6s);
    ASSERT_TRUE(MainQueuePump::until([&] { return !recorder->failures().empty(); }));
    EXPECT_EQ(storedLogs(), 1u);
    EXPECT_EQ(server.count(), 0u);

    relaunchAt(server.base());
    // The new unit looks at the store on its queue; time passes until it has sent what it found.
    ASSERT_TRUE(MainQueuePump::until([&] {
        clock.advance(1s);
        return server.count() == 1;
    }));
    const auto body = nlohmann::json::parse(server.received()[0].body);
    ASSERT_EQ(body["logs"].size(), 1u);
    EXPECT_EQ(body["logs"][0]["type"], "startService");
    EXPECT_TRUE(MainQueuePump::until([] { return storedLogs() == 0; }));
}

// Another program owns the SDK folder (it holds its lock): this one stores every log, also of
// a unit added after the group was made, and sends none of them however long it runs; the next
// launch that owns the folder sends them, once.
TEST_F(EndToEndTest, AProgramThatDoesNotOwnTheSdkFolderStoresItsLogsAndSendsNone) {
    const auto lockFile = ZVTFolderLock::lockFileOf(ZVTUtility::zevOzozidDirectoryURL());
    const int owner = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(owner, 0);
    ASSERT_EQ(::flock(owner, LOCK_EX), 0);
    startAt(server.base());
    ZVTZevOzozid::setNetworkRequestsAllowed(true);  // as the program does at launch
    enqueueOnAlpha(2);
    ASSERT_TRUE(stored(3));
    clock.advance(600s);
    MainQueuePump::drain();
    EXPECT_EQ(server.count(), 0u);
    EXPECT_TRUE(recorder->failures().empty());  // paused, not failing batch after batch
    EXPECT_EQ(storedLogs(), 3u);
    EXPECT_EQ(logs.count(ZVTLogLevelWarning, "Another program uses the SDK folder"), 1u);
    ::close(owner);

    relaunchAt(server.base());
    Alpha::instance = std::make_unique<zvt_test::TestService>("Alpha");  // the new process's
    ZVTZevOzozid::startService(Alpha::cls());
    ASSERT_TRUE(MainQueuePump::until([&] {
        clock.advance(1s);
        return storedLogs() == 0;
    })) << storedLogs()
        << " stored, " << server.count() << " requests";
    // This launch adds a start log of its own.
    EXPECT_EQ(sentByType(), (std::map<std::string, int>{{"alpha", 2}, {"startService", 2}}));
}

// Logs the full disk has no room for wait in memory; once it has room again the unit's retry
// timer stores them (no new log needs to come) and they are sent, each once. On a real full
// tmpfs, with the fake clock.
TEST_F(EndToEndTest, LogsHeldWhileTheDiskIsFullAreStoredOnATimerAndSent) {
    testing_support::TmpfsDisk disk(ZVTUtility::zevOzozidDirectoryURL(), 2 * 1024 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << disk.whyNot();
    startAt(server.base());
    ASSERT_TRUE(disk.fill());
    constexpr int kLogs = 30;
    enqueueOnAlpha(kLogs);
    auto unit = std::dynamic_pointer_cast<ZVTChannelUnitDefault>(
        ZVTZevOzozid::sharedInstance().channelUnit());
    ASSERT_TRUE(unit->logsDispatchQueue()->drainFor(10s));
    const int completedWhileFull = recorder->completed.load();
    EXPECT_LT(completedWhileFull, 1 + kLogs);  // some are held
    EXPECT_EQ(logs.count(ZVTLogLevelError, "disk full"), 1u);

    std::filesystem::remove(disk.folder() / "filler");
    clock.advance(ZVTChannelUnitDefault::kHeldLogRetryInterval);
    ASSERT_TRUE(MainQueuePump::until([&] { return recorder->completed.load() == 1 + kLogs; }));
    ASSERT_TRUE(MainQueuePump::until([&] {
        clock.advance(1s);
        return storedLogs() == 0;
    }));
    EXPECT_EQ(sentByType(), (std::map<std::string, int>{{"alpha", kLogs}, {"startService", 1}}));
}

TEST_F(EndToEndTest, UnavailableIsRetriedThenPausesKeepingTheLogs) {
    const struct {
        std::vector<int> script;
        bool delivered;
    } cases[] = {{{503, 503, 503, 200}, true}, {{503, 503, 503, 503}, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.delivered);
        EntryFixture fresh;
        LogCapture lines;
        ScriptedServer own;
        own.scriptStatuses(c.script);
        startAt(own.base());
        clock.advance(6s);
        ASSERT_TRUE(retryArmed(1));
        clock.advance(10s);
        ASSERT_TRUE(retryArmed(2));
        clock.advance(300s);
        ASSERT_TRUE(retryArmed(3));
        EXPECT_EQ(own.count(), 3u);
        clock.advance(1200s);
        ASSERT_TRUE(MainQueuePump::until([&] { return client->pendingCallCount() == 0; }));
        EXPECT_EQ(own.count(), 4u);
        EXPECT_EQ(client->isPaused(), !c.delivered);
        if (c.delivered) {
            EXPECT_TRUE(MainQueuePump::until([] { return storedLogs() == 0; }));
        } else {
            MainQueuePump::drain();
            EXPECT_EQ(storedLogs(), 1u);
        }
    }
}

TEST_F(EndToEndTest, TheServersRetryAfterOrTheComputedDelay) {
    const struct {
        const char* value;
        std::chrono::milliseconds notYet, due;
    } cases[] = {{"2500", 2499ms, 1ms}, {"-1", 4999ms, 5001ms}, {"abc", 4999ms, 5001ms}};
    startAt(server.base());
    server.scriptStatuses({200});
    clock.advance(6s);
    ASSERT_TRUE(MainQueuePump::until([&] { return recorder->succeeded.load() == 1; }));
    int sent = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        server.script({{503, {{"x-zv-retry-after-ms", c.value}}, "", "text/plain"},
                       {200, {}, "", "application/json"}});
        const size_t before = server.count();
        enqueueOnAlpha(1);
        ASSERT_TRUE(stored(++sent));
        clock.advance(6s);
        ASSERT_TRUE(retryArmed(1));
        clock.advance(c.notYet);
        MainQueuePump::drain();
        EXPECT_EQ(server.count(), before + 1);
        clock.advance(c.due);
        ASSERT_TRUE(MainQueuePump::until([&] { return recorder->succeeded.load() == sent; }));
        EXPECT_EQ(server.count(), before + 2);
    }
}

TEST_F(EndToEndTest, ARefusingStatusStopsSendingForTheRunAndKeepsEveryLog) {
    for (int status : {401, 403, 400}) {
        SCOPED_TRACE(status);
        EntryFixture fresh;
        LogCapture lines;
        ScriptedServer own;
        own.scriptStatuses({status});
        startAt(own.base());
        clock.advance(6s);
        ASSERT_TRUE(MainQueuePump::until([&] { return !recorder->failures().empty(); }));
        EXPECT_EQ(storedLogs(), 1u);
        EXPECT_FALSE(client->isEnabled());

        const int before = recorder->completed.load();
        auto late = std::make_shared<ZVTLog>();
        late->setType("late");
        ZVTZevOzozid::sharedInstance().channelUnit()->enqueueItem(late, ZVTFlagsNormal);
        enqueueOnAlpha(1);
        ASSERT_TRUE(stored(before + 2));
        clock.advance(1200s);
        MainQueuePump::drain();
        EXPECT_EQ(own.count(), 1u);
        EXPECT_EQ(storedLogs(), 3u);  // the refused start log and both later ones

        CallOutcome refused;
        client->sendAsync(own.url("logs"), "POST", {}, std::string("{}"), refused.handler());
        ASSERT_TRUE(refused.waitCalled());
        EXPECT_EQ(refused.errorCode(), ZVTDisabledErrorCode);
        EXPECT_EQ(own.count(), 1u);
    }
}

TEST_F(EndToEndTest, ALargeBatchTravelsGzipped) {
    startAt(server.base());
    enqueueOnAlpha(10);
    ASSERT_TRUE(stored(11));
    clock.advance(6s);
    ASSERT_TRUE(MainQueuePump::until([&] { return recorder->succeeded.load() == 11; }));
    bool sawGzip = false;
    for (const auto& got : server.received()) {
        if (logsIn(got.body) == 10) {
            sawGzip = true;
            EXPECT_GT(got.body.size(), 1399u);
            EXPECT_EQ(got.headers.count("Content-Encoding"), 1u);
        } else {
            EXPECT_LT(got.body.size(), 1400u);
            EXPECT_EQ(got.headers.count("Content-Encoding"), 0u);
        }
    }
    EXPECT_TRUE(sawGzip);
}

TEST_F(EndToEndTest, OneHundredTwentyLogsGoAsFiftyFiftyAndTwentyWithLateAnswers) {
#if defined(__SANITIZE_THREAD__)
    // Four requests held at once put several of the loopback server's workers to work together;
    // its prebuilt library then reports its own lazily built data (copied and compared within
    // the library alone), as the thread sanitizer cannot see that library's synchronisation.
    GTEST_SKIP() << "the loopback server's library is not instrumented for the thread sanitizer";
#endif
    testing_support::Gate gate;
    std::mutex mutex;
    std::vector<size_t> sizes;
    server.server().post("/logs",
                         [&](const httplib::Request& request, httplib::Response& response) {
                             {
                                 std::lock_guard lock(mutex);
                                 sizes.push_back(logsIn(request.body));
                             }
                             gate.wait();
                             response.status = 200;
                         });
    struct Opener {
        testing_support::Gate& g;
        ~Opener() { g.open(); }
    } opener{gate};
    startAt(server.base());
    enqueueOnAlpha(120);
    ASSERT_TRUE(stored(121));
    clock.advance(6s);
    ASSERT_TRUE(MainQueuePump::until([&] {
        std::lock_guard lock(mutex);
        return sizes.size() >= 4;
    }));
    {
        std::lock_guard lock(mutex);
        std::vector<size_t> alpha;
        for (size_t s : sizes) {
            if (s != 1) alpha.push_back(s);
        }
        EXPECT_EQ(alpha, (std::vector<size_t>{50, 50, 20}));
    }
    gate.open();
    ASSERT_TRUE(MainQueuePump::until([&] { return recorder->succeeded.load() == 121; }));
    EXPECT_TRUE(MainQueuePump::until([] { return storedLogs() == 0; }));
}

}  // namespace
