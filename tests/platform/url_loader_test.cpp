#include "tests/support/LoopbackServer.h"
#include "tests/support/MainQueuePump.h"
#include "tests/support/TempDir.h"

#include "platform/Dispatch.h"
#include "platform/URLLoader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using platform::URLErrorKind;
using platform::URLLoader;
using platform::URLRedirectRefusal;
using platform::URLRequest;
using platform::URLResult;
using testing_support::Gate;
using testing_support::LoopbackServer;
using testing_support::TempDir;
using namespace std::chrono_literals;

std::string randomBytes(size_t size) {
    std::mt19937 generator(12345);
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(generator() & 0xff);
    return bytes;
}

std::vector<std::string> folderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class URLLoaderTest : public ::testing::Test {
  protected:
    // Handlers held at the gate must be let go before the server waits for them.
    void TearDown() override { gate.open(); }

    URLRequest request(const std::string& path, std::chrono::milliseconds timeout = 10s) const {
        URLRequest r;
        r.url = server.url(path);
        r.timeout = timeout;
        return r;
    }

    Gate gate;
    LoopbackServer server;
    URLLoader loader;
};

TEST_F(URLLoaderTest, AnyHTTPStatusIsAResponseWithItsBodyAndHeaders) {
    server.get("/ok", [](const auto&, auto& res) { res.set_content("hello", "text/plain"); });
    server.get("/busy", [](const auto&, auto& res) {
        res.status = 503;
        res.set_header("Retry-After", "120");
        res.set_header("X-Mixed-Case", "first");
        res.set_content("try later", "text/plain");
    });
    struct Case {
        std::string path;
        long status;
        std::string body;
        bool ok;
    };
    for (const Case& c : {Case{"/ok", 200, "hello", true}, Case{"/missing", 404, "no route", false},
                          Case{"/busy", 503, "try later", false}}) {
        SCOPED_TRACE(c.path);
        const URLResult result = loader.send(request(c.path));
        ASSERT_FALSE(result.error) << result.error->message;
        EXPECT_EQ(result.response.status, c.status);
        EXPECT_EQ(result.response.body, c.body);
        EXPECT_EQ(result.ok(), c.ok);
    }
    const URLResult busy = loader.send(request("/busy"));
    EXPECT_EQ(busy.response.header("Retry-After"), "120");
    EXPECT_EQ(busy.response.header("retry-after"), "120");
    EXPECT_EQ(busy.response.headers.count("x-mixed-case"), 1u);
    EXPECT_EQ(busy.response.header("Content-Type"), "text/plain");
}

TEST_F(URLLoaderTest, RedirectsAreFollowedAndOnlyTheFinalHeadersRemain) {
    server.get("/old", [this](const auto&, auto& res) {
        res.set_header("X-Hop", "old");
        res.set_redirect(server.url("/new"), 302);
    });
    server.get("/new", [](const auto&, auto& res) {
        res.set_header("X-Final", "yes");
        res.set_content("moved here", "text/plain");
    });
    const URLResult result = loader.send(request("/old"));
    ASSERT_FALSE(result.error) << result.error->message;
    EXPECT_EQ(result.response.status, 200);
    EXPECT_EQ(result.response.body, "moved here");
    EXPECT_EQ(result.response.header("X-Final"), "yes");
    EXPECT_FALSE(result.response.header("X-Hop"));
    EXPECT_FALSE(result.response.header("Location"));
}

TEST_F(URLLoaderTest, ARedirectNotFollowedIsTheResponseWithItsLocation) {
    std::atomic<int> reachedTarget{0};
    for (int code : {301, 302, 303, 307, 308}) {
        server.post("/moved" + std::to_string(code), [this, code](const auto&, auto& res) {
            res.set_redirect(server.url("/target"), code);
        });
    }
    server.post("/target", [&](const auto&, auto& res) {
        ++reachedTarget;
        res.set_content("ok", "text/plain");
    });
    server.get("/target", [&](const auto&, auto& res) {
        ++reachedTarget;
        res.set_content("ok", "text/plain");
    });
    for (int code : {301, 302, 303, 307, 308}) {
        URLRequest post = request("/moved" + std::to_string(code));
        post.method = "POST";
        post.body = "payload";
        post.followRedirects = false;
        const URLResult result = loader.send(post);
        ASSERT_FALSE(result.error) << result.error->message;
        EXPECT_EQ(result.response.status, code);
        EXPECT_EQ(result.response.header("Location"), server.url("/target")) << code;
    }
    EXPECT_EQ(reachedTarget.load(), 0);
}

TEST_F(URLLoaderTest, MethodBodyAndHeadersReachTheServer) {
    server.post("/echo", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.method + " " + req.get_header_value("X-Token") + " " +
                            req.get_header_value("Content-Type") + " " + req.body,
                        "text/plain");
    });
    server.put("/echo", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.method + " " + req.body, "text/plain");
    });
    URLRequest post = request("/echo");
    post.method = "POST";
    post.headers["X-Token"] = "abc";
    post.headers["Content-Type"] = "application/octet-stream";
    post.body = std::string(300000, 'p');  // large enough that no interim response is awaited
    EXPECT_EQ(loader.send(post).response.body, "POST abc application/octet-stream " + post.body);

    URLRequest put = request("/echo");
    put.method = "PUT";
    put.body = "data";
    EXPECT_EQ(loader.send(put).response.body, "PUT data");
}

TEST_F(URLLoaderTest, LineBreaksInHeadersOrMethodAreRefusedBeforeSending) {
    URLRequest injected = request("/x");
    injected.headers["X-Name"] = "a\r\nX-Admin: 1";
    URLRequest badMethod = request("/x");
    badMethod.method = "GET /y HTTP/1.1\r\n";
    for (const URLRequest& r : {injected, badMethod}) {
        const URLResult result = loader.send(r);
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->kind, URLErrorKind::Other);
    }
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(URLLoaderTest, ASlowServerTimesOut) {
    server.get("/slow", [this](const auto&, auto& res) {
        gate.wait();
        res.set_content("late", "text/plain");
    });
    const URLResult result = loader.send(request("/slow", 200ms));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->kind, URLErrorKind::Other);
    EXPECT_TRUE(result.error->timedOut);
    EXPECT_FALSE(result.ok());
}

TEST_F(URLLoaderTest, ARefusedConnectionIsNoNetwork) {
    URLRequest r;
    r.url = "http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort()) + "/";
    const URLResult result = loader.send(r);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->kind, URLErrorKind::NoNetwork);
    EXPECT_FALSE(result.error->timedOut);
    EXPECT_FALSE(result.error->message.empty());
}

TEST_F(URLLoaderTest, AFailedHandshakeIsTLS) {
    // A peer that accepts and hangs up without ever answering the TLS hello.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::thread peer([listener] {
        const int connection = ::accept(listener, nullptr, nullptr);
        if (connection >= 0) ::close(connection);
    });
    URLRequest r;
    r.url = "https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
    r.timeout = 10s;
    const URLResult result = loader.send(r);
    peer.join();
    ::close(listener);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->kind, URLErrorKind::TLS) << result.error->message;
}

TEST_F(URLLoaderTest, DownloadWritesTheWholeBodyAndReplacesTheDestination) {
    const std::string body = randomBytes(1 << 20);
    server.get("/file", [&body](const auto&, auto& res) {
        res.set_content(body, "application/octet-stream");
    });
    TempDir dir;
    const auto destination = dir.write("data.bin", "previous contents");
    const URLResult result = loader.download(request("/file"), destination);
    ASSERT_FALSE(result.error) << result.error->message;
    EXPECT_EQ(result.response.status, 200);
    EXPECT_TRUE(result.response.body.empty());
    EXPECT_EQ(testing_support::readAll(destination), body);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"data.bin"});
}

TEST_F(URLLoaderTest, AFailedDownloadLeavesNothingBehind) {
    // Half the body arrives, then the server stalls past the client's time-out.
    server.get("/stalls", [this](const auto&, httplib::Response& res) {
        res.set_content_provider(2000, "application/octet-stream",
                                 [this](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset == 0)
                                         return sink.write(std::string(1000, 'x').data(), 1000);
                                     gate.wait();
                                     return false;
                                 });
    });
    server.get("/gone", [](const auto&, auto& res) {
        res.status = 410;
        res.set_content("gone for good", "text/plain");
    });
    TempDir dir;
    const auto destination = dir.write("data.bin", "kept");
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort()) + "/";

    URLRequest stalls = request("/stalls", 300ms);
    URLRequest refusedRequest;
    refusedRequest.url = refused;
    for (const URLRequest& r : {stalls, request("/gone"), refusedRequest}) {
        SCOPED_TRACE(r.url);
        const URLResult result = loader.download(r, destination);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(testing_support::readAll(destination), "kept");
        EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"data.bin"});
    }
    const URLResult gone = loader.download(request("/gone"), destination);
    EXPECT_FALSE(gone.error);
    EXPECT_EQ(gone.response.status, 410);
    EXPECT_EQ(gone.response.body, "gone for good");

    const URLResult noFolder = loader.download(request("/gone"), dir / "missing/data.bin");
    ASSERT_TRUE(noFolder.error);
    EXPECT_EQ(noFolder.error->kind, URLErrorKind::Other);
}

TEST_F(URLLoaderTest, FileURLsReadLocalFiles) {
    TempDir dir;
    const std::string bytes = randomBytes(5000);
    const auto file = dir.write("a b.bin", bytes);
    const std::string folder = dir.path().string();

    URLRequest r;
    r.url = "file://" + folder + "/a%20b.bin";
    URLResult result = loader.send(r);
    ASSERT_FALSE(result.error) << result.error->message;
    EXPECT_EQ(result.response.status, 200);
    EXPECT_EQ(result.response.body, bytes);

    for (const std::string& url : {"file://" + folder + "/missing", "file://" + folder,
                                   "file://elsewhere" + file.string()}) {
        SCOPED_TRACE(url);
        r.url = url;
        result = loader.send(r);
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->kind, URLErrorKind::Other);
    }

    r.url = "file://" + folder + "/a%20b.bin";
    const auto copy = dir / "copy.bin";
    ASSERT_TRUE(loader.download(r, copy).ok());
    EXPECT_EQ(testing_support::readAll(copy), bytes);
}

TEST_F(URLLoaderTest, RedirectsNeverReachLocalFiles) {
    TempDir dir;
    const auto secret = dir.write("secret", "do not leak");
    server.get("/sneaky", [&secret](const auto&, auto& res) {
        res.set_redirect("file://" + secret.string(), 302);
    });
    const URLResult result = loader.send(request("/sneaky"));
    EXPECT_EQ(result.response.body.find("do not leak"), std::string::npos);
    EXPECT_FALSE(result.ok());
}

TEST_F(URLLoaderTest, SendAsyncDeliversOnTheGivenQueue) {
    server.get("/ok", [](const auto&, auto& res) { res.set_content("async", "text/plain"); });
    std::optional<URLResult> delivered;
    bool onMain = false;
    loader.sendAsync(request("/ok"), platform::mainQueue(), [&](URLResult result) {
        onMain = platform::mainQueue().isCurrent();
        delivered = std::move(result);
    });
    ASSERT_TRUE(testing_support::MainQueuePump::until([&] { return delivered.has_value(); }));
    EXPECT_TRUE(onMain);
    EXPECT_EQ(delivered->response.body, "async");
}

}  // namespace

namespace {

TEST_F(URLLoaderTest, AStalledTransferEndsAtTheStallLimitAndRedirectsCanBeHeldToHttps) {
    // The headers come, then no byte of the body; the whole-transfer limit is far away.
    server.get("/stalls", [this](const auto&, httplib::Response& res) {
        res.set_content_provider(2000, "application/octet-stream",
                                 [this](size_t, size_t, httplib::DataSink&) {
                                     gate.wait();
                                     return false;
                                 });
    });
    URLRequest stalls = request("/stalls", 60s);
    stalls.stallTimeout = 1s;
    const auto started = std::chrono::steady_clock::now();
    const URLResult result = loader.send(stalls);
    ASSERT_TRUE(result.error);
    EXPECT_TRUE(result.error->timedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);

    server.get("/old",
               [this](const auto&, auto& res) { res.set_redirect(server.url("/new"), 302); });
    server.get("/new", [](const auto&, auto& res) { res.set_content("here", "text/plain"); });
    URLRequest httpsOnly = request("/old");
    httpsOnly.redirectsHttpsOnly = true;
    const URLResult refused = loader.send(httpsOnly);
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->redirectRefused, URLRedirectRefusal::Protocol);
    EXPECT_EQ(loader.send(request("/old")).response.body, "here");

    // A redirect loop ends at the cap, told apart from other failures.
    server.get("/loop",
               [this](const auto&, auto& res) { res.set_redirect(server.url("/loop"), 302); });
    const URLResult looped = loader.send(request("/loop"));
    ASSERT_TRUE(looped.error);
    EXPECT_EQ(looped.error->redirectRefused, URLRedirectRefusal::TooMany);
    // A plain connection failure is no redirect refusal.
    URLRequest refusedPort;
    refusedPort.url = "http://127.0.0.1:1/";
    const URLResult unreachable = loader.send(refusedPort);
    ASSERT_TRUE(unreachable.error);
    EXPECT_EQ(unreachable.error->redirectRefused, URLRedirectRefusal::None);
}

}  // namespace
