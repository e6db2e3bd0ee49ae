#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTErrorAttachmentLog.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTErrorReport.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTError.h"

#include <memory>
#include <optional>
#include <vector>

class ZVTZeroduv;

// The application's crash delegate. Every method is optional: the defaults say "not
// implemented" (an empty optional) or do nothing. The filter and attachment questions come on
// the processing queue; the send callbacks on the main queue.
class ZVTZeroduvDelegate {
  public:
    virtual ~ZVTZeroduvDelegate() = default;
    virtual std::optional<bool> crashesShouldProcessErrorReport(ZVTZeroduv& /*crashes*/,
                                                                const ZVTErrorReport& /*report*/) {
        return std::nullopt;
    }
    virtual std::optional<std::vector<std::shared_ptr<ZVTErrorAttachmentLog>>>
    attachmentsWithZeroduv(ZVTZeroduv& /*crashes*/, const ZVTErrorReport& /*report*/) {
        return std::nullopt;
    }
    // Whether the send callbacks below are implemented (they are posted only then).
    virtual bool implementsSendCallbacks() const { return false; }
    virtual void crashesWillSendErrorReport(ZVTZeroduv& /*crashes*/,
                                            const ZVTErrorReport& /*report*/) {}
    virtual void crashesDidSucceedSendingErrorReport(ZVTZeroduv& /*crashes*/,
                                                     const ZVTErrorReport& /*report*/) {}
    virtual void crashesDidFailSendingErrorReport(ZVTZeroduv& /*crashes*/,
                                                  const ZVTErrorReport& /*report*/,
                                                  const ZVTError& /*error*/) {}
};

// A wrapping runtime's hooks around crash capture set-up; all optional.
class ZVTCrashHandlerSetupDelegate {
  public:
    virtual ~ZVTCrashHandlerSetupDelegate() = default;
    virtual void willSetUpCrashHandlers() {}
    virtual void didSetUpCrashHandlers() {}
    virtual std::optional<bool> shouldEnableUncaughtExceptionHandler() { return std::nullopt; }
};

// User confirmation answers.
enum ZVTUserConfirmation : unsigned {
    ZVTUserConfirmationDontSend = 0,
    ZVTUserConfirmationSend = 1,
    ZVTUserConfirmationAlways = 2,
};
