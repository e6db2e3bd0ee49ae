// zv-crash-demo: describes itself as the application "org.gridlark.CrashDemo" 0.1.0 (build
// --build, default 1), starts the telemetry SDK with the crash service and a demo event service
// against an ingestion server, sets a user id and tracks a few events; then either runs until
// the channel is idle, or only stores them (store: exit 0 once they are stored, sent or not), or
// crashes (a bad memory access or an uncaught C++ exception) so that the next run sends the
// crash. After a crash, the next run attaches "demo.txt" to it.
// Exit 0 once the channel is idle (this run's events, and after a crash the crash log and the
// crashed run's events, acknowledged, none of them left stored); 1 on a time-out;
// 2 for bad arguments; 3 once the server refused the crash log (it stays stored for a later run).
// With --crash-at STEP (taken, copied, purged) the run crashes when the crash service's start-up
// handling of a pending report passes that step. --earlier-events N (default 3): the events of
// earlier runs that must be acknowledged after a crash before the channel counts as idle (fewer
// when a run in between sent some).
#include "tools/ToolHome.h"

#include "platform/Dispatch.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTLogWithNameAndProperties.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuziz.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduv.h"

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

const char* kUsage =
    "usage: zv-crash-demo --url URL --storage DIR [--timeout SEC] [--build B] "
    "[--crash-at STEP] [--earlier-events N] [--stored-before-crash] "
    "run|store|crash-segv|crash-cxx\n";

// The application this tool describes itself as; --build sets its build number.
constexpr const char* kIdentifier = "org.gridlark.CrashDemo";
constexpr const char* kVersion = "0.1.0";

struct Options {
    std::string url, storage, mode, build = "1", crashAt;
    long timeoutSeconds = 30;
    int earlierEvents = 3;
    // The crash modes crash only once their events are stored.
    bool storedBeforeCrash = false;
};

bool parseArguments(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--url" && hasValue) {
            o.url = argv[++i];
        } else if (arg == "--storage" && hasValue) {
            o.storage = argv[++i];
        } else if (arg == "--build" && hasValue) {
            o.build = argv[++i];
        } else if (arg == "--earlier-events" && hasValue) {
            o.earlierEvents = static_cast<int>(std::strtol(argv[++i], nullptr, 10));
        } else if (arg == "--stored-before-crash") {
            o.storedBeforeCrash = true;
        } else if (arg == "--crash-at" && hasValue) {
            o.crashAt = argv[++i];
        } else if (arg == "--timeout" && hasValue) {
            o.timeoutSeconds = std::strtol(argv[++i], nullptr, 10);
        } else if (arg == "run" || arg == "store" || arg == "crash-segv" || arg == "crash-cxx") {
            o.mode = arg;
        } else {
            std::cerr << "zv-crash-demo: unexpected argument \"" << arg << "\"\n";
            return false;
        }
    }
    if (o.url.empty() || o.storage.empty() || o.mode.empty() || o.timeoutSeconds < 1) {
        std::cerr << "zv-crash-demo: --url, --storage and a mode are required\n";
        return false;
    }
    return true;
}

// Attaches a text to every crash of an earlier run.
class DemoDelegate : public ZVTZeroduvDelegate {
  public:
    std::optional<std::vector<std::shared_ptr<ZVTErrorAttachmentLog>>> attachmentsWithZeroduv(
        ZVTZeroduv&, const ZVTErrorReport&) override {
        return std::vector{
            ZVTErrorAttachmentLog::attachmentWithText("track day notes", "demo.txt")};
    }
};

// Logs of this tool and of the crash service still stored (the SDK's own start log flushes on
// its own, slower schedule and is not waited for).
uint64_t pendingLogs() {
    ZVTStorageBindableArray groups;
    groups.addString(std::string("Zerevuziz"));
    groups.addString(std::string("Zeroduv"));
    groups.addString(std::string("ZeroduvBuffer"));
    return ZVTLogDBStorage().countEntriesForTable("logs", "\"groupId\" IN (?, ?, ?)", &groups);
}

// Counts what the server acknowledged.
class Acknowledgements : public ZVTChannelDelegate {
  public:
    explicit Acknowledgements(std::string mode) : mode_(std::move(mode)) {}
    void channelDidSucceedSendingLog(ZVTChannelProtocol&, ZVTLog& log) override {
        if (log.type() == std::optional<std::string>("event")) {
            const auto* named = dynamic_cast<ZVTLogWithNameAndProperties*>(&log);
            const bool ours = named && named->name().value_or("").rfind(mode_ + "-", 0) == 0;
            ++(ours ? events : earlierEvents);
        }
        if (log.type() == std::optional<std::string>("appleError")) ++crashes;
    }
    void channelDidFailSendingLog(ZVTChannelProtocol&, ZVTLog& log, const ZVTError&) override {
        if (log.type() == std::optional<std::string>("appleError")) ++refusedCrashes;
    }
    std::atomic<int> events{0}, earlierEvents{0}, crashes{0}, refusedCrashes{0};

  private:
    std::string mode_;
};

[[noreturn]] void finish(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}

void trackEvents(const std::string& mode) {
    for (int i = 0; i < 3; ++i) ZVTZerevuziz::trackEvent(mode + "-" + std::to_string(i));
}

[[gnu::noinline]] void crashSegv() {
    // An address the compiler cannot see: a plain null store would be optimised away.
    volatile uintptr_t address = 0x10;
    *reinterpret_cast<volatile int*>(address) = 42;
}

[[gnu::noinline]] void crashCxx() {
    throw std::runtime_error("lap table out of range");
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseArguments(argc, argv, o)) {
        std::cerr << kUsage;
        return 2;
    }
    useToolHome(o.storage);
    platform::mainQueue().bindToCurrentThread();
    ZVTZevOzozid::setLogLevel(ZVTLogLevelWarning);
    ZVTApplicationInfo app;
    app.identifier = kIdentifier;
    app.version = kVersion;
    app.build = o.build;
    ZVTApplicationInfo::setCurrent(app);

    if (!o.crashAt.empty()) {
        ZVTZeroduv::processingStepHook() = [at = o.crashAt](const char* step) {
            if (at == step) crashSegv();
        };
    }
    auto delegate = std::make_shared<DemoDelegate>();
    ZVTZeroduv::sharedInstance().setDelegate(delegate);
    ZVTZevOzozid::setLogUrl(o.url);
    ZVTZevOzozid::start("demo-secret", std::vector{ZVTServiceClass::of<ZVTZeroduv>(),
                                                   ZVTServiceClass::of<ZVTZerevuziz>()});
    ZVTZevOzozid::setUserId("demo-user");
    // Asked straight after start, as an application would.
    const auto lastReport = ZVTZeroduv::lastSessionCrashReport();
    std::printf(
        "crashed in the last session: %s, report %s\n",
        ZVTZeroduv::hasCrashedInLastSession() ? "yes" : "no",
        lastReport ? lastReport->incidentIdentifier().value_or("without id").c_str() : "none");
    std::fflush(stdout);
    auto acknowledgements = std::make_shared<Acknowledgements>(o.mode);
    if (auto group = ZVTZevOzozid::sharedInstance().channelGroup())
        group->addDelegate(acknowledgements);
    const bool crashPending = !ZVTZeroduv::sharedInstance().crashFiles().empty();
    trackEvents(o.mode);
    if (o.storedBeforeCrash && o.mode.rfind("crash-", 0) == 0)
        ZVTZevOzozid::waitForLogsQueue(std::chrono::seconds(o.timeoutSeconds));
    if (o.mode == "crash-segv") crashSegv();
    if (o.mode == "crash-cxx") crashCxx();
    if (o.mode == "store") {
        // The events, and the logs queue's work before them, are in the store once it drained.
        const bool drained = ZVTZevOzozid::waitForLogsQueue(std::chrono::seconds(o.timeoutSeconds));
        std::printf(drained ? "stored\n" : "time-out while storing\n");
        finish(drained ? 0 : 1);
    }

    // Idle: this run's events and the crash of an earlier run acknowledged, nothing left stored.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(o.timeoutSeconds);
    auto& crashes = ZVTZeroduv::sharedInstance();
    while (std::chrono::steady_clock::now() < deadline) {
        platform::mainQueue().drain();
        if (acknowledgements->refusedCrashes > 0) {
            // Leaves as the program quits: what this run queued reaches the store first.
            ZVTZevOzozid::waitForLogsQueue(std::chrono::seconds(o.timeoutSeconds));
            std::printf("crash log refused\n");
            finish(3);
        }
        if (acknowledgements->events >= 3 &&
            (!crashPending || (acknowledgements->crashes > 0 &&
                               acknowledgements->earlierEvents >= o.earlierEvents)) &&
            crashes.crashFiles().empty() && pendingLogs() == 0) {
            std::printf("channel idle\n");
            finish(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::printf(
        "time-out: %llu logs still stored, %zu crash files, %d crashes and %d events of "
        "earlier runs acknowledged\n",
        static_cast<unsigned long long>(pendingLogs()), crashes.crashFiles().size(),
        acknowledgements->crashes.load(), acknowledgements->earlierEvents.load());
    finish(1);
}
