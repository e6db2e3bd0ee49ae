#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduv.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/CXXException/ZVTZeroduvCXXExceptionWrapperException.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/CrashTime/ZVTZeroduvBufferSlots.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTWrapperExceptionManager.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTWrapperZeroduvHelper.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvArchivableClasses.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvUtil.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTApplicationForwarder.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceTracker.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTSessionContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTUserIdContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFolderLock.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationNotifications.h"
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include "ZVCrashReporter/Source/ZVCrashThreadStacks.h"

#include <cerrno>

namespace {

const std::string kTag = ZVTZeroduv::kLogTag;
const std::string kMemoryWarningKey = "AppDidReceiveMemoryWarning";

std::mutex gSharedMutex;
std::shared_ptr<ZVTZeroduv> gShared;

void crashReporterSignalCallback(siginfo_t*, ucontext_t*, void*) {
    zvtFlushLogBufferToFiles();
}

// The C++ terminate path: hand the exception to the crash reporter's uncaught-exception slot,
// which writes the report from the throw site's frames.
void uncaughtCXXExceptionHandler(const ZVTZeroduvCXXExceptionInfo* info) {
    const ZVCrashUncaughtExceptionHandler handler = ZVCrashReporter::uncaughtExceptionHandler();
    ZVTZeroduvCXXExceptionWrapperException exception(info);
    if (handler) handler(exception.record());
    std::abort();
}

}  // namespace

ZVCrashReporter ZVTZeroduv::crashReporterForApplication(ZVCrashReporterConfig config) {
    // As the main bundle gives them: the identifier, the build as the version, the short version
    // as the marketing version.
    const ZVTApplicationInfo app = ZVTApplicationInfo::currentOrFallback();
    std::string identifier = app.identifier;
    if (identifier.empty()) identifier = program_invocation_short_name;
    std::optional<std::string> marketing;
    if (!app.version.empty()) marketing = app.version;
    return ZVCrashReporter(identifier, app.build, marketing, std::move(config));
}

std::function<bool()>& ZVTZeroduv::debuggerProbe() {
    static std::function<bool()> probe = [] { return ZVTZevOzozid::isDebuggerAttached(); };
    return probe;
}

ZVTZeroduv::ZVTZeroduv() : appStartTime_(ZVTUtility::currentDate()) {
    ZVTZevOzozidUserDefaults::shared().migrateKeys(
        {{"ZVZevOzozidZeroduvIsEnabled", std::string("kZVZeroduvIsEnabledKey")},
         {"ZVZevOzozidAppDidReceiveMemoryWarning", std::string("ZVAppDidReceiveMemoryWarning")},
         {"ZVZevOzozidZeroduvUserConfirmation", std::string("ZVUserConfirmation")}},
        "Zeroduv");
    zvtRegisterZeroduvArchivableClasses();
    setupLogBuffer();
}

ZVTZeroduv::~ZVTZeroduv() {
    if (memoryPressureSource_) memoryPressureSource_->cancel();
}

std::shared_ptr<ZVTZeroduv> ZVTZeroduv::sharedPointer() {
    std::lock_guard lock(gSharedMutex);
    if (!gShared) gShared = std::make_shared<ZVTZeroduv>();
    return gShared;
}

ZVTZeroduv& ZVTZeroduv::sharedInstance() {
    return *sharedPointer();
}

void ZVTZeroduv::resetSharedInstance() {
    std::lock_guard lock(gSharedMutex);
    // References handed out earlier stay valid: the forgotten instance lives on.
    static std::vector<std::shared_ptr<ZVTZeroduv>> forgotten;
    if (gShared) forgotten.push_back(std::move(gShared));
    delayedProcessingRan() = false;
}

void ZVTZeroduv::startWithChannelGroup(const std::shared_ptr<ZVTChannelGroupProtocol>& group,
                                       const std::optional<std::string>& appSecret,
                                       const std::optional<std::string>& token,
                                       bool fromApplication) {
    ZVTServiceAbstract::startWithChannelGroup(group, appSecret, token, fromApplication);
    if (group) group->addDelegate(shared_from_this());
    processLogBufferAfterCrash();
    processMemoryWarningInLastSession();
    ZVTLogVerbose(kTag, "Started crash service.");
}

void ZVTZeroduv::updateConfigurationWithAppSecret(const std::optional<std::string>& appSecret,
                                                  const std::optional<std::string>& token) {
    processLogBufferAfterCrash();
    ZVTServiceAbstract::updateConfigurationWithAppSecret(appSecret, token);
}

void ZVTZeroduv::applyEnabledState(bool enabled) {
    ZVTServiceAbstract::applyEnabledState(enabled);
    if (enabled) {
        enable();
    } else {
        disable();
    }
}

void ZVTZeroduv::enable() {
    auto setup = ZVTWrapperZeroduvHelper::crashHandlerSetupDelegate();
    const bool uncaught =
        setup ? setup->shouldEnableUncaughtExceptionHandler().value_or(true) : true;
    if (setup) setup->willSetUpCrashHandlers();
    configureCrashReporterWithUncaughtExceptionHandlerEnabled(uncaught);
    if (setup) setup->didSetUpCrashHandlers();
    {
        std::weak_ptr<ZVTZeroduv> weak = weak_from_this();
        auto source = ZVTMemoryPressureSource::make([weak] {
            if (auto self = weak.lock()) self->didReceiveMemoryWarning();
        });
        auto observer = platform::NotificationCenter::defaultCenter().addObserver(
            kZVTApplicationWillUnhideNotification, nullptr, [weak](const platform::Notification&) {
                if (auto self = weak.lock()) self->applicationWillEnterForeground();
            });
        std::lock_guard lock(serviceMutex());
        if (memoryPressureSource_) memoryPressureSource_->cancel();
        memoryPressureSource_ = std::move(source);
        unhideObserver_ = std::move(observer);
    }
    const uint64_t epoch = folderEpoch_.load();
    folderQueue_.async([this, epoch] { readPendingCrashesAtEnable(epoch); });
    if (debuggerProbe()()) {
        ZVTLogInfo(kTag,
                   "Zeroduv service has been enabled but the service cannot detect crashes "
                   "due to running the application with a debugger attached.");
    } else {
        ZVTLogInfo(kTag, "Zeroduv service has been enabled.");
    }
}

void ZVTZeroduv::readPendingCrashesAtEnable(uint64_t epoch) {
    std::vector<std::filesystem::path> files;
    {
        std::lock_guard folder(folderMutex_);
        if (epoch != folderEpoch_.load()) {
            // Disabled since: the folders are gone and nothing waits to be processed.
            delayedProcessingSemaphore_.signal();
            return;
        }
        if (!ZVTFolderLock::holdsSdkFolder()) {
            // Its reports, and this program's should it crash, wait in their slots for the
            // owner's next start or a later run.
            ZVTLogInfo(kTag, "Another program owns the SDK folder; crash reports are left to it.");
            delayedProcessingSemaphore_.signal();
            return;
        }
        if (!isEnabled() && zvCrashReporter_) zvCrashReporter_->purgeAllPendingCrashReports();
        if (zvCrashReporter_ && zvCrashReporter_->hasPendingCrashReport()) {
            didCrashInLastSession_ = true;
            ZVTLogDebug(kTag, "The application crashed in the last session.");
            handleLatestCrashReport();
        }
        files = persistedCrashReports();
    }
    {
        std::lock_guard lock(serviceMutex());
        if (epoch != folderEpoch_.load()) {
            delayedProcessingSemaphore_.signal();
            return;
        }
        crashFiles_ = files;
    }
    if (!files.empty()) {
        startDelayedCrashProcessing();
    } else {
        delayedProcessingSemaphore_.signal();
        clearContextHistoryAndKeepCurrentSession();
    }
}

void ZVTZeroduv::disable() {
    {
        std::lock_guard lock(serviceMutex());
        if (memoryPressureSource_) {
            memoryPressureSource_->cancel();
            memoryPressureSource_.reset();
        }
        unhideObserver_.reset();
    }
    ZVTLogDebug(kTag, "Cleaning up all crash files.");
    ZVTWrapperExceptionManager::deleteAllWrapperExceptions();
    {
        // Folder work of an earlier enable that has not begun is dropped; one under way ends
        // first. The service lock comes first, as everywhere.
        std::lock_guard lock(serviceMutex());
        std::lock_guard folder(folderMutex_);
        ++folderEpoch_;
        deleteAllFromZeroduvDirectory();
        emptyLogBufferFiles();
        removeAnalyzerFile();
        if (zvCrashReporter_) zvCrashReporter_->purgeAllPendingCrashReports();
    }
    clearUnprocessedReports();
    clearContextHistoryAndKeepCurrentSession();
    ZVTZevOzozidUserDefaults::shared().removeObjectForKey(kMemoryWarningKey);
    ZVTLogInfo(kTag, "Zeroduv service has been disabled.");
}

void ZVTZeroduv::configureCrashReporterWithUncaughtExceptionHandlerEnabled(bool uncaught) {
    std::lock_guard lock(serviceMutex());
    if (zvCrashReporter_) {
        ZVTLogDebug(kTag, "Already configured ZVCrashReporter.");
        return;
    }
    if (uncaught) {
        ZVTLogDebug(kTag, "EnableUncaughtExceptionHandler is set to YES");
    } else {
        ZVTLogDebug(kTag,
                    "EnableUncaughtExceptionHandler is set to NO: a wrapper runtime handles "
                    "uncaught exceptions.");
    }
    ZVCrashReporterConfig config;
    config.signalHandlerType = 0;
    if (enableMachExceptionHandler_) {
        config.signalHandlerType = 1;
        ZVTLogVerbose(kTag, "Enabled Mach exception handler.");
    }
    config.symbolicationStrategy = 0;
    config.shouldRegisterUncaughtExceptionHandler = uncaught;
    config.basePath = crashReporterBasePath_;
    zvCrashReporter_ = std::make_unique<ZVCrashReporter>(crashReporterForApplication(config));
    ZVTWrapperExceptionManager::setCrashReporter(zvCrashReporter_.get());
    if (debuggerProbe()()) {
        ZVTLogWarning(kTag,
                      "Detecting crashes is NOT enabled due to running the app with a "
                      "debugger attached.");
        return;
    }
    const ZVCrashUncaughtExceptionHandler h0 = ZVCrashReporter::uncaughtExceptionHandler();
    ZVCrashReporterCallbacks callbacks;
    callbacks.handler = crashReporterSignalCallback;
    zvCrashReporter_->setCrashCallbacks(callbacks);
    ZVCrashReporterError error;
    if (!zvCrashReporter_->enableCrashReporter(&error)) {
        ZVTLogError(kTag, "Could not enable crash reporter: ", error.localizedDescription);
    } else {
        // The threads already running take their signal stacks as they next run; their answers
        // are awaited off the starting thread.
        platform::globalQueue().async([] {
            const int missing =
                ZVCrashThreadStacks::awaitRunningThreads(ZVCrashThreadStacks::kAnswerWaitNs);
            if (missing > 0) {
                ZVTLogWarning(kTag, std::to_string(missing),
                              " running thread(s) took no signal stack: a stack overflow there "
                              "leaves no crash report.");
            }
        });
    }
    const ZVCrashUncaughtExceptionHandler h1 = ZVCrashReporter::uncaughtExceptionHandler();
    if (h1 && h1 != h0) {
        exceptionHandler_ = h1;
        ZVTLogDebug(kTag, "Exception handler successfully initialized.");
    } else if (!uncaught && h1) {
        exceptionHandler_ = h1;
        ZVTLogDebug(kTag,
                    "Exception handler successfully initialized but it has not been "
                    "registered due to the wrapper SDK.");
    } else {
        ZVTLogError(kTag,
                    "Exception handler could not be set. Make sure there is no other "
                    "exception handler set up!");
    }
    ZVTZeroduvUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(
        uncaughtCXXExceptionHandler);
    ZVTApplicationForwarder::registerForwarding();
}
