// zv-analytics-demo: starts the telemetry SDK with the analytics service against an ingestion
// server, tracks a page, an event with typed properties, a critical event and an event for a
// transmission target, and waits until the server acknowledged each. Exit 0 then; 1 when the
// time ran out; 2 for bad arguments.
#include "tools/ToolHome.h"

#include "platform/Dispatch.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventLog.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/TransmissionTarget/ZVTZerevuzizTransmissionTarget.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuziz.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
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

const char* kUsage = "usage: zv-analytics-demo URL [--home DIR] [--timeout SEC]\n";

struct Options {
    std::string url;
    std::string home;
    long timeoutSeconds = 30;
};

bool parseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--home" && i + 1 < argc) {
            options.home = argv[++i];
        } else if (arg == "--timeout" && i + 1 < argc) {
            char* end = nullptr;
            options.timeoutSeconds = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || options.timeoutSeconds < 1 || options.timeoutSeconds > 3600) {
                std::cerr << "zv-analytics-demo: --timeout wants whole seconds from 1 to 3600\n";
                return false;
            }
        } else if (options.url.empty() && !arg.starts_with("--")) {
            options.url = arg;
        } else {
            std::cerr << "zv-analytics-demo: unexpected argument \"" << arg << "\"\n";
            return false;
        }
    }
    if (options.url.empty()) std::cerr << "zv-analytics-demo: the server URL is required\n";
    return !options.url.empty();
}

// Answers every token request at once with a ticket valid for an hour.
class DemoTokenSource : public ZVTZerevuzizAuthenticationProviderDelegate {
  public:
    void authenticationProviderAcquireToken(ZVTZerevuzizAuthenticationProvider&,
                                            ZVTAcquireTokenCompletionBlock completion) override {
        completion(std::string("demo-ticket"), ZVTUtility::currentDate() + std::chrono::hours(1));
    }
};

// Counts the common-schema logs the collector acknowledged.
class CollectorAcknowledgements : public ZVTChannelDelegate {
  public:
    void channelDidSucceedSendingLog(ZVTChannelProtocol&, ZVTLog& log) override {
        if (auto* cs = dynamic_cast<ZVTCommonSchemaLog*>(&log)) {
            std::printf("common-schema log %s acknowledged\n", cs->name().value_or("").c_str());
            std::fflush(stdout);
            ++count;
        }
    }
    std::atomic<int> count{0};
};

// Prints each acknowledged event and page view and counts them.
class Acknowledgements : public ZVTZerevuzizDelegate {
  public:
    void analyticsDidSucceedSendingEventLog(ZVTZerevuziz&, ZVTEventLog& log) override {
        report("event", log.name());
    }
    void analyticsDidSucceedSendingPageLog(ZVTZerevuziz&, ZVTPageLog& log) override {
        report("page", log.name());
    }
    void analyticsDidFailSendingEventLog(ZVTZerevuziz&, ZVTEventLog& log,
                                         const ZVTError& error) override {
        std::printf("event %s failed: %s\n", log.name().value_or("").c_str(),
                    error.localizedDescription.c_str());
        std::fflush(stdout);
    }
    std::atomic<int> count{0};

  private:
    void report(const char* kind, const std::optional<std::string>& name) {
        std::printf("%s %s acknowledged\n", kind, name.value_or("").c_str());
        std::fflush(stdout);
        ++count;
    }
};

[[noreturn]] void finish(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);  // the SDK's queues run for the life of the process
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
    ZVTZevOzozid::setLogLevel(ZVTLogLevelWarning);
    // A library start without a secret points the common-schema collector at the URL too; the
    // application's start then brings the secret of the log endpoint.
    ZVTZevOzozid::setLogUrl(options.url);
    const std::vector services{ZVTServiceClass::of<ZVTZerevuziz>()};
    ZVTZevOzozid::startFromLibraryWithServices(services);
    ZVTZevOzozid::start(std::string("demo-app-secret"), services);
    auto acknowledgements = std::make_shared<Acknowledgements>();
    ZVTZerevuziz::setDelegate(acknowledgements);
    auto collector = std::make_shared<CollectorAcknowledgements>();
    if (auto group = ZVTZevOzozid::sharedInstance().channelGroup()) group->addDelegate(collector);
    auto tokens = std::make_shared<DemoTokenSource>();
    ZVTZerevuzizTransmissionTarget::addAuthenticationProvider(
        std::make_shared<ZVTZerevuzizAuthenticationProvider>(
            ZVTZerevuzizAuthenticationTypeUserTicket, "demo-ticket-key", tokens));

    ZVTZerevuziz::trackPage(std::string("DemoPage"));
    auto properties = std::make_shared<ZVTEventProperties>();
    properties->setString("Larkfield Loop", "circuit").setInt64(12, "laps");
    properties->setDouble(92.481, "best.seconds").setBool(true, "wet");
    ZVTZerevuziz::trackEventTyped("SessionLoaded", properties);
    ZVTZerevuziz::trackEvent("CriticalDemo", std::nullopt, ZVTFlagsCritical);
    auto target = ZVTZerevuziz::transmissionTargetForTokenShared("demotarget-token");
    target->propertyConfigurator()->setAppVersion("1.0");
    auto targetProperties = std::make_shared<ZVTEventProperties>();
    targetProperties->setString("demo", "source").setInt64(3, "lap.count");
    target->trackEventTyped("TargetDemo", targetProperties);
    std::printf("tracked 4 logs\n");
    std::fflush(stdout);

    const int expected = 4;
    auto acknowledged = [&] { return acknowledgements->count + collector->count; };
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    while (acknowledged() < expected && std::chrono::steady_clock::now() < deadline) {
        platform::mainQueue().drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (acknowledged() >= expected) {
        std::printf("all %d logs acknowledged\n", expected);
        finish(0);
    }
    std::printf("%d of %d logs acknowledged\n", acknowledged(), expected);
    finish(1);
}
