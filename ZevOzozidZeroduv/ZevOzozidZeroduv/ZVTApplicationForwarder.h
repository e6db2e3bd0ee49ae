#pragma once

#include "ZVCrashReporter/Source/ZVCrashReporter.h"

#include <functional>
#include <optional>
#include <string>

// Hands exceptions that the application's event loop catches and only reports to the crash
// service first. Nothing is patched at run time: the application shell calls the two
// interception points from its own exception reporting and event dispatch, either directly or
// through the core's application delegate forwarder (a host that declares the callbacks below
// and forwards them); they act only once registerForwarding has installed them. Safe from any
// thread.
//
// Through the forwarder: kReportExceptionCallback takes {ZVCrashExceptionRecord}; the host
// reports the exception itself after forwarding. kRunEventCallback takes {std::function<void()>
// dispatch, std::function<void(const ZVCrashExceptionRecord&)> previous, bool ran = false}; it
// returns true once the crash service has run the dispatch, else the host's false (then the
// host dispatches itself).
class ZVTApplicationForwarder {
  public:
    static inline const std::string kEnabledInfoKey = "ZevOzozidApplicationForwarderEnabled";
    static inline const std::string kCrashOnExceptionsKey = "NSApplicationCrashOnExceptions";
    static inline const std::string kReportExceptionCallback = "reportException:";
    static inline const std::string kRunEventCallback = "sendEvent:returnedValue:";

    // Reads the application-info switch (absent or true: allowed) and the user default (absent:
    // false), then installs both points once per process.
    static void registerForwarding();
    static void swizzleReportException();
    static void swizzleSendEvent();

    // The shell's exception reporting: the crash service first (when installed), then `previous`.
    static void reportException(const ZVCrashExceptionRecord& exception,
                                const std::function<void()>& previous);
    // The shell's event dispatch: runs `dispatch`; when installed, an exception escaping it goes
    // to reportException (with `previous`) and the event loop goes on.
    static void sendEvent(const std::function<void()>& dispatch,
                          const std::function<void(const ZVCrashExceptionRecord&)>& previous);

    // Reads a boolean key of the application-info record's information dictionary (absent
    // without a record or key). Replaceable.
    static std::function<std::optional<bool>(const std::string&)>& infoBoolLookup();
    // Forgets the installation; for tests.
    static void reset();

    // For tests:
    static bool isReportExceptionInstalled();
    static bool isSendEventInstalled();
};
