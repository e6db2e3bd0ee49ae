#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// An HTTP server on 127.0.0.1 at a port of the system's choosing, serving on a thread of its own
// from construction until destruction. Tests add routes at any time; a request that no route
// matches gets 404.
class LoopbackServer {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    LoopbackServer();
    ~LoopbackServer();  // stops listening and waits for handlers that are running
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // `pattern` is a regular expression matched against the whole path (captures land in
    // Request::matches). When several routes match, the one added last wins. HEAD requests use
    // the GET routes.
    void get(const std::string& pattern, Handler handler) { route("GET", pattern, handler); }
    void post(const std::string& pattern, Handler handler) { route("POST", pattern, handler); }
    void put(const std::string& pattern, Handler handler) { route("PUT", pattern, handler); }
    void del(const std::string& pattern, Handler handler) { route("DELETE", pattern, handler); }
    void route(const std::string& method, const std::string& pattern, Handler handler);

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path` (which starts with "/").
    std::string url(const std::string& path = "/") const;
    // Requests answered so far (any route, and 404s).
    int requestCount() const;

    // A loopback port that was bound a moment ago and is closed now: connecting to it is refused.
    static int closedPort();

  private:
    struct Route {
        std::string method;
        std::regex pattern;
        Handler handler;
    };
    void dispatch(const httplib::Request& request, httplib::Response& response);

    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
    mutable std::mutex mutex_;
    std::vector<Route> routes_;
    int requestCount_ = 0;
};

// A one-way latch for handlers that must hold a response until the test lets go. Open it before
// the server is destroyed (in TearDown, or a scope guard), since the server waits for handlers.
class Gate {
  public:
    void open();
    // Waits until opened; false when `limit` passed first.
    bool wait(std::chrono::milliseconds limit = std::chrono::seconds(10));

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

}  // namespace testing_support
