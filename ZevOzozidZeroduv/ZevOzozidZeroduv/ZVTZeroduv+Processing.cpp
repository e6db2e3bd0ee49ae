// The previous run's crash: copied from the crash reporter, decoded, filtered, confirmed and
// sent with its attachments.
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTErrorLogFormatter.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTWrapperExceptionManager.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvUtil.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduv.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTSessionContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTUserIdContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

namespace {

const std::string kTag = ZVTZeroduv::kLogTag;
const std::string kAlwaysSendKey = "ZeroduvUserConfirmation";
// Seconds between 1970-01-01 and 2001-01-01, the epoch of crash file names.
constexpr double kReferenceDateOffset = 978307200.0;

}  // namespace

std::atomic<bool>& ZVTZeroduv::delayedProcessingRan() {
    static std::atomic<bool> ran{false};
    return ran;
}

std::optional<std::filesystem::path> ZVTZeroduv::writeCrashFile(const std::vector<uint8_t>& bytes) {
    const double seconds =
        std::chrono::duration<double>(ZVTUtility::currentDate().time_since_epoch()).count() -
        kReferenceDateOffset;
    char base[64];
    std::snprintf(base, sizeof base, "%.0f", seconds);
    // Two reports within one second must not share a file: the second gets "-1", "-2" ...
    std::string name = base;
    for (int n = 1;
         ZVTUtility::fileExistsForPathComponent(ZVTZeroduvUtil::crashesDir() + "/" + name); ++n) {
        name = std::string(base) + "-" + std::to_string(n);
    }
    return ZVTUtility::createFileAtPathComponent(ZVTZeroduvUtil::crashesDir() + "/" + name, bytes,
                                                 true, false);
}

std::function<void(const char*)>& ZVTZeroduv::processingStepHook() {
    static std::function<void(const char*)> hook;
    return hook;
}

bool ZVTZeroduv::crashFileHolds(const std::vector<uint8_t>& bytes) const {
    for (const auto& file : persistedCrashReports()) {
        std::error_code ec;
        if (std::filesystem::file_size(file, ec) != bytes.size() || ec) continue;
        std::vector<uint8_t> stored;
        ZVCrashReporterError error;
        if (ZVCrashReport::readReportFile(file, stored, &error) && stored == bytes) return true;
    }
    return false;
}

void ZVTZeroduv::handleLatestCrashReport() {
    // Every pending report, oldest first (programs sharing the folder each leave their own).
    for (size_t n = 0; n < kMaxPendingReportsPerStart && zvCrashReporter_->hasPendingCrashReport();
         ++n) {
        if (!handleOnePendingReport()) break;
    }
}

bool ZVTZeroduv::handleOnePendingReport() {
    auto step = [](const char* name) {
        if (const auto& hook = processingStepHook()) hook(name);
    };
    if (ZVTUtility::fileExistsForPathComponent(analyzerInProgressFilePathComponent_)) {
        removeAnalyzerFile();
        // The guard holds for the report an earlier start took and was decoding when it died;
        // a report still in its slot was never read and is handled as any other.
        if (zvCrashReporter_->hasTakenCrashReport()) {
            ZVTLogError(kTag, "Error on loading the crash report, it will be purged.");
            zvCrashReporter_->purgePendingCrashReport();
            return true;
        }
    }
    // Taken out of its slot in one rename before it is read: a crash from here on writes a slot
    // of its own and loses nothing, and a report taken by a start that died is taken again.
    ZVCrashReporterError error;
    auto bytes = zvCrashReporter_->loadPendingCrashReportData(&error);
    if (!bytes) {
        ZVTLogError(kTag, "Couldn't load crash report: ", error.localizedDescription);
        // Nothing could be taken (a folder that takes no rename): it stays for a later start.
        if (!zvCrashReporter_->hasTakenCrashReport()) return false;
        zvCrashReporter_->purgePendingCrashReport();
        return true;
    }
    step("taken");
    if (!createAnalyzerFile()) ZVTLogError(kTag, "Couldn't create crash analyzer file.");
    auto report = ZVCrashReport::initWithData(*bytes, &error);
    removeAnalyzerFile();
    if (!report) {
        ZVTLogWarning(kTag, "Couldn't parse crash report: ", error.localizedDescription);
        zvCrashReporter_->purgePendingCrashReport();
        return true;
    }
    // A start that died after the copy took the report again: its copy is kept, not doubled.
    if (!crashFileHolds(*bytes) && !writeCrashFile(*bytes)) {
        // Keep the taken report for the next launch rather than lose the crash.
        ZVTLogError(kTag, "Couldn't save the crash report; it stays pending.");
        return false;
    }
    step("copied");
    auto errorReport = ZVTErrorLogFormatter::errorReportFromCrashReport(report.get());
    {
        std::lock_guard lock(lastReportMutex_);
        lastSessionCrashReport_ = errorReport;
    }
    ZVTWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({errorReport});
    zvCrashReporter_->purgePendingCrashReport();
    step("purged");
    return true;
}

std::vector<std::filesystem::path> ZVTZeroduv::persistedCrashReports() const {
    std::vector<std::filesystem::path> files;
    auto entries = ZVTUtility::contentsOfDirectory(ZVTZeroduvUtil::crashesDir());
    if (!entries) {
        ZVTLogError(kTag, "No persisted crashes found.");
        return files;
    }
    static const char* const excluded[] = {".DS_Store", ".analyzer", ".plist",
                                           ".data",     ".meta",     ".desc"};
    for (const auto& entry : *entries) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(entry, ec) ||
            std::filesystem::file_size(entry, ec) == 0 || ec) {
            continue;
        }
        const std::string name = entry.filename().string();
        const bool skip =
            std::any_of(std::begin(excluded), std::end(excluded), [&](const char* end) {
                const std::string suffix(end);
                return name.size() >= suffix.size() &&
                       name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
            });
        if (!skip) files.push_back(entry);
    }
    return files;
}

bool ZVTZeroduv::createAnalyzerFile() {
    if (ZVTUtility::fileExistsForPathComponent(analyzerInProgressFilePathComponent_)) return true;
    ZVTZeroduvUtil::crashesDir();
    return ZVTUtility::createFileAtPathComponent(analyzerInProgressFilePathComponent_, ZVTBytes{},
                                                 false, false)
        .has_value();
}

void ZVTZeroduv::removeAnalyzerFile() {
    if (ZVTUtility::fileExistsForPathComponent(analyzerInProgressFilePathComponent_)) {
        ZVTUtility::deleteItemForPathComponent(analyzerInProgressFilePathComponent_);
    }
}

void ZVTZeroduv::startDelayedCrashProcessing() {
    std::weak_ptr<ZVTZeroduv> weak = weak_from_this();
    platform::after(std::chrono::seconds(1), platform::globalQueue(), [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (self->automaticProcessingEnabled_ && ZVTApplicationInfo::isHidden()) {
            ZVTLogWarning(kTag,
                          "Zeroduv will not be processed because the application is in the "
                          "background.");
            return;
        }
        if (delayedProcessingRan().exchange(true)) return;
        self->startCrashProcessing();
        self->delayedProcessingSemaphore_.signal();
    });
}

void ZVTZeroduv::startCrashProcessing() {
    ZVTLogDebug(kTag, "Start delayed CrashManager processing");
    if (exceptionHandler_ && ZVCrashReporter::uncaughtExceptionHandler() != exceptionHandler_) {
        ZVTLogWarning(kTag,
                      "Another exception handler was added. If this invokes any kind of "
                      "exit() after processing the exception, which causes any subsequent "
                      "error handler not to be invoked, these crashes will NOT be reported "
                      "to Zev Ozozid!");
    }
    processCrashReports();
}

void ZVTZeroduv::processCrashReports() {
    if (!isEnabled()) {
        ZVTLogDebug(kTag, "Zeroduv service is disabled; discard all crash reports");
        deleteAllFromZeroduvDirectory();
        ZVTWrapperExceptionManager::deleteAllWrapperExceptions();
        return;
    }
    std::vector<std::pair<std::filesystem::path, std::shared_ptr<const ZVCrashReport>>> decoded;
    ZVTErrorReports errorReports;
    for (const auto& file : crashFiles()) {
        std::vector<uint8_t> bytes;
        ZVCrashReporterError error;
        if (!ZVCrashReport::readReportFile(file, bytes, &error) || bytes.empty()) continue;
        auto report = ZVCrashReport::initWithData(bytes, &error);
        if (!report) {
            ZVTLogWarning(kTag,
                          "Crash report found but couldn't parse it, discard the crash report: ",
                          error.localizedDescription);
            deleteCrashFile(file);
            removeFromCrashFiles(file);
            continue;
        }
        errorReports.push_back(ZVTErrorLogFormatter::errorReportFromCrashReport(report.get()));
        decoded.emplace_back(file, std::move(report));
    }
    ZVTWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport(errorReports);
    std::vector<std::shared_ptr<ZVTAppleErrorLog>> logs;
    ZVTErrorReports reports;
    std::vector<std::filesystem::path> files;
    for (size_t i = 0; i < decoded.size(); ++i) {
        const auto& [file, report] = decoded[i];
        ZVTLogVerbose(kTag, "Crash reports found");
        auto log = ZVTErrorLogFormatter::errorLogFromCrashReport(*report);
        auto errorReport = ZVTErrorLogFormatter::errorReportFromLog(*log);
        if (automaticProcessingEnabled_ && !shouldProcessErrorReport(*errorReport)) {
            ZVTLogDebug(kTag, "shouldProcessErrorReport returned NO, discard the crash report: ",
                        errorReport->description());
            ZVTWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(
                errorReport->incidentIdentifier().value_or(""));
            deleteCrashFile(file);
            removeFromCrashFiles(file);
            continue;
        }
        ZVTLogDebug(kTag,
                    automaticProcessingEnabled_
                        ? "shouldProcessErrorReport is not implemented or returned YES, processing "
                          "the crash report: "
                        : "Automatic crash processing is disabled, storing the crash report for "
                          "later processing: ",
                    errorReport->description());
        logs.push_back(std::move(log));
        reports.push_back(std::move(errorReport));
        files.push_back(file);
    }
    {
        std::lock_guard lock(serviceMutex());
        unprocessedLogs_ = std::move(logs);
        unprocessedReports_ = std::move(reports);
        unprocessedFilePaths_ = std::move(files);
    }
    if (automaticProcessingEnabled_) sendCrashReportsOrAwaitUserConfirmation();
}

bool ZVTZeroduv::shouldProcessErrorReport(const ZVTErrorReport& report) {
    auto d = delegate();
    if (!d) return true;
    return d->crashesShouldProcessErrorReport(*this, report).value_or(true);
}

bool ZVTZeroduv::shouldAlwaysSend() const {
    return ZVTZevOzozidUserDefaults::shared().boolForKey(kAlwaysSendKey).value_or(false);
}

bool ZVTZeroduv::userPromptedForConfirmation() {
    ZVTUserConfirmationHandler handler;
    ZVTErrorReports reports;
    {
        std::lock_guard lock(serviceMutex());
        handler = userConfirmationHandler_;
        reports = unprocessedReports_.value_or(ZVTErrorReports{});
    }
    if (!handler) return false;
    if (platform::mainQueue().isCurrent()) return handler(reports);
    bool answer = false;
    if (!platform::syncOnMain([&] { answer = handler(reports); })) return false;
    return answer;
}

bool ZVTZeroduv::sendCrashReportsOrAwaitUserConfirmation() {
    const bool alwaysSend = shouldAlwaysSend();
    if (unprocessedReports().empty()) return alwaysSend;
    bool hasHandler;
    {
        std::lock_guard lock(serviceMutex());
        hasHandler = static_cast<bool>(userConfirmationHandler_);
    }
    if (alwaysSend) {
        ZVTLogDebug(kTag,
                    "The flag for user confirmation is set to ZVTUserConfirmationAlways, "
                    "continue sending logs");
        handleUserConfirmation(ZVTUserConfirmationSend);
    } else if (!automaticProcessingEnabled_) {
        ZVTLogDebug(kTag,
                    "Automatic crash processing is disabled and \"AlwaysSend\" is false. "
                    "Awaiting user confirmation.");
    } else if (!hasHandler || !userPromptedForConfirmation()) {
        ZVTLogDebug(kTag,
                    "The user confirmation handler is not implemented or returned NO, "
                    "continue sending logs");
        handleUserConfirmation(ZVTUserConfirmationSend);
    }
    return alwaysSend;
}

void ZVTZeroduv::notifyWithUserConfirmation(unsigned confirmation) {
    bool usable;
    {
        std::lock_guard lock(serviceMutex());
        usable = userConfirmationHandler_ || unprocessedReports_.has_value();
    }
    if (usable) {
        handleUserConfirmation(confirmation);
    } else {
        ZVTLogError(kTag,
                    "Incorrect usage of notifyWithUserConfirmation: it should only be called "
                    "from userConfirmationHandler. For more information refer to the "
                    "documentation.");
    }
}

void ZVTZeroduv::handleUserConfirmation(unsigned confirmation) {
    // Take the pending crashes out under the lock, so a second answer cannot send them twice.
    std::vector<std::shared_ptr<ZVTAppleErrorLog>> logs;
    ZVTErrorReports reports;
    std::vector<std::filesystem::path> files;
    {
        std::lock_guard lock(serviceMutex());
        logs.swap(unprocessedLogs_);
        reports = unprocessedReports_.value_or(ZVTErrorReports{});
        unprocessedReports_.reset();
        files.swap(unprocessedFilePaths_);
    }
    if (confirmation == ZVTUserConfirmationDontSend) {
        for (size_t i = 0; i < files.size(); ++i) {
            deleteCrashFile(files[i]);
            ZVTWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(
                reports[i]->incidentIdentifier().value_or(""));
            removeFromCrashFiles(files[i]);
        }
        clearUnprocessedReports();
        clearContextHistoryAndKeepCurrentSession();
        return;
    }
    if (confirmation == ZVTUserConfirmationAlways) {
        ZVTZevOzozidUserDefaults::shared().setObject(platform::UserDefaults::Value(true),
                                                     kAlwaysSendKey);
    }
    auto d = delegate();
    for (size_t i = 0; i < reports.size(); ++i) {
        const auto& log = logs[i];
        ZVTAttachments attachments;
        auto answered = d ? d->attachmentsWithZeroduv(*this, *reports[i]) : std::nullopt;
        if (answered) {
            for (const auto& attachment : *answered) {
                if (!attachment) continue;
                if (!attachment->device()) attachment->setDevice(log->device());
                attachments.push_back(attachment);
            }
        } else {
            ZVTLogDebug(kTag, "attachmentsWithZeroduv is not implemented");
        }
        if (log->timestamp()) {
            log->setSid(
                ZVTSessionContext::sharedInstance().sessionIdOfEarlierLaunchAt(*log->timestamp()));
            log->setUserId(ZVTUserIdContext::sharedInstance().userIdAt(*log->timestamp()));
        }
        const std::string incident = reports[i]->incidentIdentifier().value_or("");
        // The crash file goes only once the store holds its log (or the unit's rules dropped
        // it): until then a kill leaves it for the next launch.
        channelUnit()->enqueueItemWithOutcome(
            log, ZVTFlagsCritical,
            [weak = weak_from_this(), file = files[i], incident](ZVTEnqueueOutcome outcome) {
                auto self = weak.lock();
                if (!self) return;
                if (outcome == ZVTEnqueueOutcome::NotSaved) {
                    ZVTLogError(kTag,
                                "Couldn't store the crash log; its report stays for the "
                                "next launch.");
                    return;
                }
                self->deleteCrashFile(file);
                ZVTWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(incident);
                self->removeFromCrashFiles(file);
            });
        sendErrorAttachments(attachments, incident);
    }
    clearUnprocessedReports();
    clearContextHistoryAndKeepCurrentSession();
}

bool ZVTZeroduv::validatePropertiesForAttachment(const ZVTErrorAttachmentLog& a) {
    auto present = [](const std::optional<std::string>& s) { return s && !s->empty(); };
    return present(a.errorId()) && present(a.attachmentId()) && a.data() && !a.data()->empty() &&
           present(a.contentType());
}

void ZVTZeroduv::sendErrorAttachments(const ZVTAttachments& attachments,
                                      const std::string& incidentId) {
    for (const auto& attachment : attachments) {
        if (!attachment) continue;
        attachment->setErrorId(incidentId);
        if (!validatePropertiesForAttachment(*attachment)) {
            ZVTLogError(kTag, "Not all required fields are present in ZVTErrorAttachmentLog.");
            continue;
        }
        if (attachment->data()->size() > kMaxAttachmentSize) {
            ZVTLogError(kTag, "Discarding attachment with size above ", kMaxAttachmentSize,
                        " bytes: size=", attachment->data()->size(),
                        ", fileName=", attachment->filename().value_or("(null)"), ".");
            continue;
        }
        channelUnit()->enqueueItem(attachment, ZVTFlagsNormal);
    }
}

void ZVTZeroduv::deleteCrashFile(const std::filesystem::path& file) {
    ZVTUtility::deleteFileAtURL(file);
}

void ZVTZeroduv::removeFromCrashFiles(const std::filesystem::path& file) {
    std::lock_guard lock(serviceMutex());
    crashFiles_.erase(std::remove(crashFiles_.begin(), crashFiles_.end(), file), crashFiles_.end());
}

void ZVTZeroduv::deleteAllFromZeroduvDirectory() {
    ZVTUtility::deleteItemForPathComponent(crashesPathComponent_);
    ZVTZeroduvUtil::resetDirectory();
    std::lock_guard lock(serviceMutex());
    crashFiles_.clear();
}

void ZVTZeroduv::clearUnprocessedReports() {
    std::lock_guard lock(serviceMutex());
    unprocessedLogs_.clear();
    unprocessedReports_ = ZVTErrorReports{};
    unprocessedFilePaths_.clear();
}

void ZVTZeroduv::forwardSendCallback(
    ZVTLog& log,
    const std::function<void(ZVTZeroduvDelegate&, ZVTZeroduv&, const ZVTErrorReport&)>& call) {
    auto d = delegate();
    auto* crashLog = dynamic_cast<ZVTAppleErrorLog*>(&log);
    if (!d || !crashLog || !d->implementsSendCallbacks()) return;
    auto report = ZVTErrorLogFormatter::errorReportFromLog(*crashLog);
    auto self = shared_from_this();
    platform::mainQueue().async([d, self, report, call] { call(*d, *self, *report); });
}

void ZVTZeroduv::channelWillSendLog(ZVTChannelProtocol&, ZVTLog& log) {
    forwardSendCallback(log, [](ZVTZeroduvDelegate& d, ZVTZeroduv& s, const ZVTErrorReport& r) {
        d.crashesWillSendErrorReport(s, r);
    });
}

void ZVTZeroduv::channelDidSucceedSendingLog(ZVTChannelProtocol&, ZVTLog& log) {
    forwardSendCallback(log, [](ZVTZeroduvDelegate& d, ZVTZeroduv& s, const ZVTErrorReport& r) {
        d.crashesDidSucceedSendingErrorReport(s, r);
    });
}

void ZVTZeroduv::channelDidFailSendingLog(ZVTChannelProtocol&, ZVTLog& log, const ZVTError& error) {
    forwardSendCallback(log,
                        [error](ZVTZeroduvDelegate& d, ZVTZeroduv& s, const ZVTErrorReport& r) {
                            d.crashesDidFailSendingErrorReport(s, r, error);
                        });
}
