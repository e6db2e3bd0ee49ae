#pragma once

#include <string>

// Errors of the crash reporter's ordinary-time code, in "ZVCrashReporterErrorDomain".
inline constexpr const char* ZVCrashReporterErrorDomain = "ZVCrashReporterErrorDomain";

enum ZVCrashReporterErrorCode : int {
    ZVCrashReporterErrorUnknown = 0,
    ZVCrashReporterErrorOperatingSystem = 1,
    ZVCrashReporterErrorCrashReportInvalid = 2,
    ZVCrashReporterErrorAlreadyEnabled = 3,
};

struct ZVCrashReporterError {
    std::string domain = ZVCrashReporterErrorDomain;
    int code = ZVCrashReporterErrorUnknown;
    std::string localizedDescription;
    // Operating-system failures (code 1): the errno, in the POSIX domain; 0 when none is attached.
    int underlyingPosixError = 0;
};
