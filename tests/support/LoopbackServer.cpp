#include "tests/support/LoopbackServer.h"

#include <stdexcept>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {

LoopbackServer::LoopbackServer() {
    const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
        dispatch(request, response);
    };
    server_.Get(".*", handler);
    server_.Post(".*", handler);
    server_.Put(".*", handler);
    server_.Patch(".*", handler);
    server_.Delete(".*", handler);
    server_.Options(".*", handler);
    server_.set_keep_alive_timeout(1);
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("loopback server: cannot bind 127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() only takes effect once the accept loop runs; connections made before then wait in
    // the listen backlog, so only the destructor depends on this.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server_.is_running() && std::chrono::steady_clock::now() < limit) {
        std::this_thread::yield();
    }
}

LoopbackServer::~LoopbackServer() {
    server_.stop();
    if (thread_.joinable()) thread_.join();
}

void LoopbackServer::route(const std::string& method, const std::string& pattern, Handler handler) {
    std::lock_guard lock(mutex_);
    routes_.push_back({method, std::regex(pattern), std::move(handler)});
}

std::string LoopbackServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int LoopbackServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return requestCount_;
}

void LoopbackServer::dispatch(const httplib::Request& request, httplib::Response& response) {
    // Captures of the route's own pattern go to Request::matches, as with native routing.
    auto& matches = const_cast<httplib::Request&>(request).matches;
    const std::string method = request.method == "HEAD" ? "GET" : request.method;
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        ++requestCount_;
        for (auto it = routes_.rbegin(); it != routes_.rend(); ++it) {
            if (it->method == method && std::regex_match(request.path, matches, it->pattern)) {
                handler = it->handler;
                break;
            }
        }
    }
    if (!handler) {
        response.status = 404;
        response.set_content("no route", "text/plain");
        return;
    }
    handler(request, response);
}

int LoopbackServer::closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("closedPort: socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("closedPort: bind failed");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

void Gate::open() {
    {
        std::lock_guard lock(mutex_);
        open_ = true;
    }
    cv_.notify_all();
}

bool Gate::wait(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, limit, [this] { return open_; });
}

}  // namespace testing_support
