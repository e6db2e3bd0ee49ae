// Handled errors, memory warnings, the test crash, the class-level entry points and the
// service's properties.
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTErrorLogFormatter.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTWrapperExceptionManager.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTHandledErrorLog.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduv.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceTracker.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTSessionContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTUserIdContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"

#include <algorithm>

namespace {
const std::string kTag = ZVTZeroduv::kLogTag;
const std::string kMemoryWarningKey = "AppDidReceiveMemoryWarning";
}  // namespace

std::optional<std::string> ZVTZeroduv::trackError(
    const std::shared_ptr<ZVTExceptionModel>& exception,
    const std::optional<ZVTPropertyMap>& properties,
    const std::optional<ZVTAttachments>& attachments) {
    std::lock_guard lock(serviceMutex());
    if (!canBeUsed() || !isEnabled()) return std::nullopt;
    auto log = std::make_shared<ZVTHandledErrorLog>();
    log->setUserId(ZVTUserIdContext::sharedInstance().userId());
    const std::string errorId = ZVTUUID::random().UUIDString();
    log->setErrorId(errorId);
    log->setException(exception);
    if (properties && !properties->empty()) {
        ZVTJson json = ZVTJson::object();
        for (const auto& [key, value] : *properties) json[key] = value;
        log->setProperties(
            ZVTUtility::validateProperties(json, "ErrorLog: " + errorId, *log->type()));
    }
    channelUnit()->enqueueItem(log, ZVTFlagsNormal);
    if (attachments) sendErrorAttachments(*attachments, errorId);
    return errorId;
}

std::optional<std::string> ZVTZeroduv::trackErrorWithError(
    const ZVTPlatformError& error, const std::optional<ZVTPropertyMap>& properties,
    const std::optional<ZVTAttachments>& attachments) {
    return sharedInstance().trackError(ZVTExceptionModel::initWithError(error), properties,
                                       attachments);
}

std::shared_ptr<ZVTErrorReport> ZVTZeroduv::buildHandledErrorReportWithErrorID(
    const std::string& errorId) {
    ZVTErrorReport::Fields f;
    f.incidentIdentifier = errorId;
    f.appStartTime = appStartTime_;
    f.appErrorTime = ZVTUtility::currentDate();
    f.device = ZVTDeviceTracker::sharedInstance().device();
    f.appProcessIdentifier = 0;
    return std::make_shared<ZVTErrorReport>(std::move(f));
}

void ZVTZeroduv::didReceiveMemoryWarning() {
    ZVTLogDebug(kTag, "The application received a low memory warning in the last session.");
    ZVTZevOzozidUserDefaults::shared().setObject(platform::UserDefaults::Value(true),
                                                 kMemoryWarningKey);
}

void ZVTZeroduv::processMemoryWarningInLastSession() {
    if (!isEnabled()) return;
    auto& settings = ZVTZevOzozidUserDefaults::shared();
    didReceiveMemoryWarningInLastSession_ = settings.boolForKey(kMemoryWarningKey).value_or(false);
    if (didReceiveMemoryWarningInLastSession_) {
        ZVTLogDebug(kTag, "The application received a low memory warning in the last session.");
    }
    settings.removeObjectForKey(kMemoryWarningKey);
}

void ZVTZeroduv::clearContextHistoryAndKeepCurrentSession() {
    ZVTDeviceTracker::sharedInstance().clearDevices();
    ZVTSessionContext::sharedInstance().clearSessionHistoryAndKeepCurrentSession(true);
    ZVTUserIdContext::sharedInstance().clearUserIdHistory();
}

ZVTErrorReports ZVTZeroduv::unprocessedCrashReports() {
    // Processing skipped in the background never releases the semaphore: wait a bounded time.
    if (delayedProcessingSemaphore_.wait(kUnprocessedReportsWait))
        delayedProcessingSemaphore_.signal();
    return unprocessedReports();
}

bool ZVTZeroduv::sendCrashReportsOrAwaitUserConfirmationForFilteredIds(
    const std::vector<std::string>& ids) {
    {
        std::lock_guard lock(serviceMutex());
        std::vector<std::shared_ptr<ZVTAppleErrorLog>> logs;
        ZVTErrorReports reports;
        std::vector<std::filesystem::path> files;
        const ZVTErrorReports pending = unprocessedReports_.value_or(ZVTErrorReports{});
        for (size_t i = 0; i < pending.size(); ++i) {
            const std::string incident = pending[i]->incidentIdentifier().value_or("");
            if (std::find(ids.begin(), ids.end(), incident) != ids.end()) {
                logs.push_back(unprocessedLogs_[i]);
                reports.push_back(pending[i]);
                files.push_back(unprocessedFilePaths_[i]);
                continue;
            }
            ZVTWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(incident);
            deleteCrashFile(unprocessedFilePaths_[i]);
            removeFromCrashFiles(unprocessedFilePaths_[i]);
        }
        unprocessedLogs_ = std::move(logs);
        unprocessedReports_ = std::move(reports);
        unprocessedFilePaths_ = std::move(files);
    }
    return sendCrashReportsOrAwaitUserConfirmation();
}

void ZVTZeroduv::setAutomaticProcessingEnabled(bool enabled) {
    automaticProcessingEnabled_ = enabled;
}

void ZVTZeroduv::applicationWillEnterForeground() {
    if (!crashFiles().empty()) startDelayedCrashProcessing();
}

void ZVTZeroduv::generateTestCrash() {
    std::lock_guard lock(serviceMutex());
    if (!canBeUsed()) return;
    if (ZVTUtility::currentAppEnvironment() == 0) {
        ZVTLogWarning(kTag,
                      "GenerateTestCrash was just called in an App Store environment. The "
                      "call will be ignored.");
        return;
    }
    if (debuggerProbe()()) {
        ZVTLogWarning(kTag,
                      "The debugger is attached. The following crash cannot be detected by "
                      "the SDK!");
    }
    __builtin_trap();
}

void ZVTZeroduv::applicationDidReportException(const ZVCrashExceptionRecord& exception) {
    if (debuggerProbe()()) return;
    if (exceptionHandler_) exceptionHandler_(exception);
}

bool ZVTZeroduv::hasCrashedInLastSession() {
    return sharedInstance().didCrashInLastSession();
}

bool ZVTZeroduv::hasReceivedMemoryWarningInLastSession() {
    return sharedInstance().didReceiveMemoryWarningInLastSession();
}

std::shared_ptr<ZVTErrorReport> ZVTZeroduv::lastSessionCrashReport() {
    return sharedInstance().getLastSessionCrashReport();
}

void ZVTZeroduv::disableMachExceptionHandler() {
    sharedInstance().setEnableMachExceptionHandler(false);
}

void ZVTZeroduv::setDelegate(const std::shared_ptr<ZVTZeroduvDelegate>& delegate) {
    std::lock_guard lock(serviceMutex());
    delegate_ = delegate;
}

std::shared_ptr<ZVTZeroduvDelegate> ZVTZeroduv::delegate() const {
    std::lock_guard lock(serviceMutex());
    return delegate_.lock();
}

void ZVTZeroduv::setUserConfirmationHandler(ZVTUserConfirmationHandler handler) {
    std::lock_guard lock(serviceMutex());
    userConfirmationHandler_ = std::move(handler);
}

std::shared_ptr<ZVTErrorReport> ZVTZeroduv::getLastSessionCrashReport() const {
    waitForFolderWork();
    std::lock_guard lock(lastReportMutex_);
    return lastSessionCrashReport_;
}

void ZVTZeroduv::waitForFolderWork() const {
    if (!folderQueue_.isCurrent()) folderQueue_.drainFor(kFolderWorkWait);
}

std::vector<std::filesystem::path> ZVTZeroduv::crashFiles() const {
    waitForFolderWork();
    std::lock_guard lock(serviceMutex());
    return crashFiles_;
}

void ZVTZeroduv::setCrashFiles(std::vector<std::filesystem::path> files) {
    std::lock_guard lock(serviceMutex());
    crashFiles_ = std::move(files);
}

ZVTErrorReports ZVTZeroduv::unprocessedReports() const {
    std::lock_guard lock(serviceMutex());
    return unprocessedReports_.value_or(ZVTErrorReports{});
}

bool ZVTZeroduv::hasMemoryPressureSource() const {
    std::lock_guard lock(serviceMutex());
    return memoryPressureSource_ != nullptr;
}
