#pragma once

#include "tests/support/LoopbackServer.h"
#include "tests/support/MainQueuePump.h"
#include "tests/support/ScopedHook.h"

#include "platform/Clock.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClientProtocol.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVT_Reachability.h"

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zvt_test {

// A reachability source whose answer the test sets; flip() tells the monitor it changed.
class FakeNetwork {
  public:
    ~FakeNetwork() { testing_support::MainQueuePump::drain(); }
    void setUp(bool up) {
        std::function<void()> notify;
        {
            std::lock_guard lock(state_->mutex);
            state_->up = up;
            notify = state_->onChange;
        }
        if (notify) notify();
        testing_support::MainQueuePump::drain();
    }

  private:
    struct State {
        std::mutex mutex;
        bool up = true;
        std::function<void()> onChange;
    };
    class Source final : public ZVTReachabilitySource {
      public:
        explicit Source(std::shared_ptr<State> s) : s_(std::move(s)) {}
        std::optional<uint32_t> readFlags() override {
            std::lock_guard lock(s_->mutex);
            return s_->up ? kZVTReachabilityFlagReachable : 0u;
        }
        bool start(std::function<void()> onChange) override {
            std::lock_guard lock(s_->mutex);
            s_->onChange = std::move(onChange);
            return true;
        }
        void stop() override {}

      private:
        std::shared_ptr<State> s_;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    testing_support::ScopedHook<&ZVT_Reachability::setSourceFactory> sources_{
        [state = state_] { return std::make_unique<Source>(state); }};
};

// A loopback ingestion service: records every request to `path` (query, headers, body as
// received, gzip already undone by the server) and answers from a script of statuses, 200 once
// the script is used up.
class ScriptedServer {
  public:
    struct Answer {
        int status = 200;
        std::map<std::string, std::string> headers;
        std::string body;
        std::string contentType = "application/json";
    };
    struct Received {
        std::string path;
        std::string query;
        std::map<std::string, std::string> headers;  // as sent (last value of each name)
        std::string body;
        int status = 200;  // the answer's
    };
    // Picks the status of an answer from the request's body; nullopt leaves it to the script.
    using Refusal = std::function<std::optional<int>(const std::string& body)>;

    explicit ScriptedServer(const std::string& path = "/logs") {
        server_.post(path, [this](const httplib::Request& request, httplib::Response& response) {
            Answer answer;
            {
                std::lock_guard lock(mutex_);
                Received r{request.path, {}, {}, request.body};
                const auto mark = request.target.find('?');
                if (mark != std::string::npos) r.query = request.target.substr(mark + 1);
                for (auto& [name, value] : request.headers) r.headers[name] = value;
                if (auto status = refusal_ ? refusal_(request.body) : std::nullopt) {
                    answer.status = *status;
                } else if (!script_.empty()) {
                    answer = script_.front();
                    script_.pop_front();
                }
                r.status = answer.status;
                received_.push_back(std::move(r));
            }
            response.status = answer.status;
            for (auto& [name, value] : answer.headers) response.set_header(name, value);
            response.set_content(answer.body, answer.contentType);
        });
    }

    void script(std::vector<Answer> answers) {
        std::lock_guard lock(mutex_);
        script_.assign(answers.begin(), answers.end());
    }
    void scriptStatuses(const std::vector<int>& statuses) {
        std::vector<Answer> answers;
        for (int s : statuses) answers.push_back({s, {}, {}, "application/json"});
        script(answers);
    }
    // Answers each request whose body `refusal` picks a status for with that status.
    void refuseWhen(Refusal refusal) {
        std::lock_guard lock(mutex_);
        refusal_ = std::move(refusal);
    }
    std::vector<Received> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    size_t count() const {
        std::lock_guard lock(mutex_);
        return received_.size();
    }
    std::string url(const std::string& path = "") const { return server_.url("/") + path; }
    std::string base() const {
        auto u = server_.url("/");
        return u.substr(0, u.size() - 1);
    }
    testing_support::LoopbackServer& server() { return server_; }

  private:
    mutable std::mutex mutex_;
    std::deque<Answer> script_;
    Refusal refusal_;
    std::vector<Received> received_;
    // Last, so that it is destroyed first: its destructor waits for the handlers, which use the
    // members above.
    testing_support::LoopbackServer server_;
};

// Collects the answers of one HTTP call.
struct CallOutcome {
    std::mutex mutex;
    std::atomic<int> calls{0};
    std::optional<platform::URLResponse> response;
    std::string data;
    std::optional<ZVTError> error;

    ZVTHttpRequestCompletionHandler handler() {
        return [this](const std::optional<platform::URLResponse>& r, const std::string& d,
                      const std::optional<ZVTError>& e) {
            {
                std::lock_guard lock(mutex);
                response = r;
                data = d;
                error = e;
            }
            ++calls;
        };
    }
    bool waitCalled(int n = 1) {
        return testing_support::MainQueuePump::until([&] { return calls.load() >= n; });
    }
    long status() {
        std::lock_guard lock(mutex);
        return response ? response->status : -1;
    }
    long errorCode() {
        std::lock_guard lock(mutex);
        return error ? error->code : 0;
    }
};

}  // namespace zvt_test
