#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduvDelegate.h"

#include <memory>
#include <string>
#include <vector>

class ZVTErrorReport;
class ZVTErrorAttachmentLog;

// A wrapping runtime's access to the crash service: its set-up delegate (held weakly) and plain
// forwards to the service's shared instance. Safe from any thread.
class ZVTWrapperZeroduvHelper {
  public:
    // Answers the delegate it replaced (nullptr when that one is gone).
    static std::shared_ptr<ZVTCrashHandlerSetupDelegate> setCrashHandlerSetupDelegate(
        std::shared_ptr<ZVTCrashHandlerSetupDelegate> d);
    static std::shared_ptr<ZVTCrashHandlerSetupDelegate> crashHandlerSetupDelegate();
    static std::shared_ptr<ZVTCrashHandlerSetupDelegate> getCrashHandlerSetupDelegate() {
        return crashHandlerSetupDelegate();
    }
    static void setAutomaticProcessing(bool enabled);
    static bool automaticProcessing();
    static std::vector<std::shared_ptr<ZVTErrorReport>> unprocessedCrashReports();
    static bool sendCrashReportsOrAwaitUserConfirmationForFilteredIds(
        const std::vector<std::string>& ids);
    static void sendErrorAttachments(
        const std::vector<std::shared_ptr<ZVTErrorAttachmentLog>>& attachments,
        const std::string& incidentIdentifier);
    static std::shared_ptr<ZVTErrorReport> buildHandledErrorReportWithErrorID(
        const std::string& errorId);
};
