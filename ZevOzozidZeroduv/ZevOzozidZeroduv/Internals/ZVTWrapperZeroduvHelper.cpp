#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTWrapperZeroduvHelper.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduv.h"

#include <mutex>
#include <utility>

namespace {
std::mutex gMutex;
std::weak_ptr<ZVTCrashHandlerSetupDelegate> gSetupDelegate;
}  // namespace

std::shared_ptr<ZVTCrashHandlerSetupDelegate> ZVTWrapperZeroduvHelper::setCrashHandlerSetupDelegate(
    std::shared_ptr<ZVTCrashHandlerSetupDelegate> d) {
    std::lock_guard lock(gMutex);
    return std::exchange(gSetupDelegate, d).lock();
}

std::shared_ptr<ZVTCrashHandlerSetupDelegate> ZVTWrapperZeroduvHelper::crashHandlerSetupDelegate() {
    std::lock_guard lock(gMutex);
    return gSetupDelegate.lock();
}

void ZVTWrapperZeroduvHelper::setAutomaticProcessing(bool enabled) {
    ZVTZeroduv::sharedInstance().setAutomaticProcessingEnabled(enabled);
}

bool ZVTWrapperZeroduvHelper::automaticProcessing() {
    return ZVTZeroduv::sharedInstance().isAutomaticProcessingEnabled();
}

std::vector<std::shared_ptr<ZVTErrorReport>> ZVTWrapperZeroduvHelper::unprocessedCrashReports() {
    return ZVTZeroduv::sharedInstance().unprocessedCrashReports();
}

bool ZVTWrapperZeroduvHelper::sendCrashReportsOrAwaitUserConfirmationForFilteredIds(
    const std::vector<std::string>& ids) {
    return ZVTZeroduv::sharedInstance().sendCrashReportsOrAwaitUserConfirmationForFilteredIds(ids);
}

void ZVTWrapperZeroduvHelper::sendErrorAttachments(
    const std::vector<std::shared_ptr<ZVTErrorAttachmentLog>>& attachments,
    const std::string& incidentIdentifier) {
    ZVTZeroduv::sharedInstance().sendErrorAttachments(attachments, incidentIdentifier);
}

std::shared_ptr<ZVTErrorReport> ZVTWrapperZeroduvHelper::buildHandledErrorReportWithErrorID(
    const std::string& errorId) {
    return ZVTZeroduv::sharedInstance().buildHandledErrorReportWithErrorID(errorId);
}
