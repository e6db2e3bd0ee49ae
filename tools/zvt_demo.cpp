// zvt-demo: starts the telemetry SDK against an ingestion server with a demo service, enqueues
// logs, and reports each batch's answer. Exit 0 once every demo log is acknowledged; else 1 with
// the number of logs still stored; 2 for bad arguments.
#include "tools/ToolHome.h"

#include "platform/Dispatch.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTDependencyConfiguration.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClient.h"
#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"
#include "ZevOzozid/ZevOzozid/ZVTServiceAbstract.h"
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

namespace {

struct Options {
    std::string url;
    std::string secret;
    long count = 10;
    std::string home;
    bool verbose = false;
    long timeoutSeconds = 30;
};

const char* kUsage =
    "usage: zvt-demo --url URL --secret S [--count N] [--home DIR] [--verbose] [--timeout SEC]\n";

bool parseNumber(const char* text, long min, long max, long& out) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < min || value > max) return false;
    out = value;
    return true;
}

// Fills `options`; false (with a line on stderr) for anything it does not understand.
bool parseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--url" && hasValue) {
            options.url = argv[++i];
        } else if (arg == "--secret" && hasValue) {
            options.secret = argv[++i];
        } else if (arg == "--home" && hasValue) {
            options.home = argv[++i];
        } else if (arg == "--count" && hasValue) {
            if (!parseNumber(argv[++i], 0, 1000000, options.count)) {
                std::cerr << "zvt-demo: --count wants a number from 0 to 1000000\n";
                return false;
            }
        } else if (arg == "--timeout" && hasValue) {
            if (!parseNumber(argv[++i], 1, 86400, options.timeoutSeconds)) {
                std::cerr << "zvt-demo: --timeout wants whole seconds from 1 to 86400\n";
                return false;
            }
        } else {
            std::cerr << "zvt-demo: unexpected argument \"" << arg << "\"\n";
            return false;
        }
    }
    if (options.url.empty() || options.secret.empty()) {
        std::cerr << "zvt-demo: --url and --secret are required\n";
        return false;
    }
    return true;
}

// The demo's service: one unit that flushes every second.
class DemoService : public ZVTServiceAbstract {
  public:
    static DemoService& sharedInstance() {
        static auto* instance = new DemoService();
        return *instance;
    }
    std::string className() const override { return "ZVTDemo"; }
    std::string serviceName() const override { return "Demo"; }
    std::string groupId() const override { return "Demo"; }
    std::string logTag() const override { return "ZevOzozidDemo"; }
    std::optional<ZVTChannelUnitConfiguration> channelUnitConfiguration() const override {
        return ZVTChannelUnitConfiguration::defaultConfiguration(groupId(), 1);
    }
};

// The HTTP client the SDK sends through, printing each batch's answer.
class PrintingHttpClient : public ZVTHttpClientProtocol {
  public:
    explicit PrintingHttpClient(std::shared_ptr<ZVTHttpClientProtocol> inner)
        : inner_(std::move(inner)) {}

    void sendAsync(const std::string& url, const std::string& method,
                   const std::map<std::string, std::string>& headers,
                   const std::optional<std::string>& data,
                   ZVTHttpRequestCompletionHandler completionHandler) override {
        inner_->sendAsync(url, method, headers, data,
                          printing(countLogs(data), std::move(completionHandler)));
    }
    void sendAsync(const std::string& url, const std::string& method,
                   const std::map<std::string, std::string>& headers,
                   const std::optional<std::string>& data,
                   const std::vector<std::chrono::milliseconds>& retryIntervals,
                   bool compressionEnabled,
                   ZVTHttpRequestCompletionHandler completionHandler) override {
        inner_->sendAsync(url, method, headers, data, retryIntervals, compressionEnabled,
                          printing(countLogs(data), std::move(completionHandler)));
    }
    void pause() override { inner_->pause(); }
    void resume() override { inner_->resume(); }
    void setEnabled(bool isEnabled) override { inner_->setEnabled(isEnabled); }
    std::shared_ptr<ZVTHttpClientDelegate> delegate() const override { return inner_->delegate(); }
    void setDelegate(const std::shared_ptr<ZVTHttpClientDelegate>& delegate) override {
        inner_->setDelegate(delegate);
    }

  private:
    static size_t countLogs(const std::optional<std::string>& data) {
        if (!data) return 0;
        auto json = nlohmann::json::parse(*data, nullptr, false);
        if (json.is_discarded() || !json.contains("logs") || !json["logs"].is_array()) return 0;
        return json["logs"].size();
    }
    static ZVTHttpRequestCompletionHandler printing(size_t logs,
                                                    ZVTHttpRequestCompletionHandler handler) {
        return [logs, handler = std::move(handler)](
                   const std::optional<platform::URLResponse>& response, const std::string& body,
                   const std::optional<ZVTError>& error) {
            if (response) {
                std::printf("batch of %zu logs: HTTP %ld\n", logs, response->status);
            } else {
                std::printf("batch of %zu logs: failed (%s)\n", logs,
                            error ? error->localizedDescription.c_str() : "no answer");
            }
            std::fflush(stdout);
            handler(response, body, error);
        };
    }

    std::shared_ptr<ZVTHttpClientProtocol> inner_;
};

// Counts the demo logs the server acknowledged.
class AcknowledgementCounter : public ZVTChannelDelegate {
  public:
    void channelDidSucceedSendingLog(ZVTChannelProtocol& /*channel*/, ZVTLog& log) override {
        if (log.type() == std::optional<std::string>("demo")) ++acknowledged;
    }
    std::atomic<long> acknowledged{0};
};

// Leaves at once: the SDK's queues keep running for the life of the process.
[[noreturn]] void finish(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}

std::shared_ptr<ZVTLog> demoLog() {
    auto log = std::make_shared<ZVTLog>();
    log->setType("demo");
    return log;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseArguments(argc, argv, options)) {
        std::cerr << kUsage;
        return 2;
    }
    if (!options.home.empty()) useToolHome(options.home);
    platform::mainQueue().bindToCurrentThread();
    ZVTApplicationInfo::setCurrent({"dev.gridlark.zvt-demo", "1.0", "1", "en", 0, 0});
    ZVTZevOzozid::setLogLevel(options.verbose ? ZVTLogLevelVerbose : ZVTLogLevelWarning);

    ZVTDependencyConfiguration::setHttpClient(
        std::make_shared<PrintingHttpClient>(std::make_shared<ZVTHttpClient>()));
    ZVTZevOzozid::setLogUrl(options.url);
    ZVTZevOzozid::start(options.secret, std::vector{ZVTServiceClass::of<DemoService>()});
    auto unit = DemoService::sharedInstance().channelUnit();
    auto group = ZVTZevOzozid::sharedInstance().channelGroup();
    if (!unit || !group) {
        std::cerr << "zvt-demo: the SDK did not start the demo service\n";
        finish(1);
    }
    auto counter = std::make_shared<AcknowledgementCounter>();
    group->addDelegate(counter);
    for (long i = 0; i < options.count; ++i) unit->enqueueItem(demoLog(), ZVTFlagsNormal);
    std::printf("enqueued %ld logs\n", options.count);
    std::fflush(stdout);

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    while (counter->acknowledged < options.count && std::chrono::steady_clock::now() < deadline) {
        platform::mainQueue().drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (counter->acknowledged >= options.count) {
        std::printf("all %ld logs acknowledged\n", options.count);
        finish(0);
    }
    const uint64_t stored = ZVTLogDBStorage().countLogs();
    std::printf("%ld of %ld logs acknowledged; %llu logs still stored\n",
                static_cast<long>(counter->acknowledged), options.count,
                static_cast<unsigned long long>(stored));
    finish(1);
}
