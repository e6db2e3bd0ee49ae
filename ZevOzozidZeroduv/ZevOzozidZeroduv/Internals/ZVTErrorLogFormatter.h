#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTAppleErrorLog.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTErrorReport.h"

#include "ZVCrashReporter/Source/ZVCrashReport.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum ZVTImageType : int {
    ZVTImageTypeProcessBinary = 0,
    ZVTImageTypeAppBundle = 1,
    ZVTImageTypeOther = 2,
};

// Turns a decoded crash report into the crash log sent to the ingestion service and into the
// error report the application sees. Stateless; safe from any thread.
class ZVTErrorLogFormatter {
  public:
    using Report = ZVCrashReport;
    using Thread = ZVCrashReportThreadInfo;

    static std::shared_ptr<ZVTAppleErrorLog> errorLogFromCrashReport(const Report& report);
    static std::shared_ptr<ZVTErrorReport> errorReportFromCrashReport(const Report* report);
    static std::shared_ptr<ZVTErrorReport> errorReportFromLog(const ZVTAppleErrorLog& log);

    static std::string errorIdForCrashReport(const Report& report);
    static void addProcessInfoAndApplicationPathTo(ZVTAppleErrorLog& log, const Report& report);
    static std::shared_ptr<const Thread> findCrashedThreadInReport(const Report& report);
    static std::optional<ZVTDate> getAppLaunchTimeFromReport(const Report& report);
    static std::optional<ZVTDate> getCrashTimeFromReport(const Report& report);
    static ZVTThreads extractThreadsFromReport(const Report& report,
                                               const std::shared_ptr<const Thread>& crashedThread,
                                               bool is64bit);
    static std::string formatStackFrame(const ZVCrashReportStackFrameInfo& frame,
                                        const Report& report);
    static ZVTRegisters extractRegistersFromCrashedThread(const Thread* thread, bool is64bit);
    static std::optional<std::string> extractExceptionReasonFromReport(const Report& report);
    // Reading a selector name back from the loaded images needs the object runtime's method
    // name sections, which this system's images do not have: always nothing.
    static std::optional<std::string> selectorRegisterValueFromReport(const Report& report,
                                                                      const Thread* thread,
                                                                      uint64_t codeType);
    static ZVTBinaries extractBinaryImagesFromReport(const Report& report, bool is64bit);
    static std::vector<uint64_t> addressesFromReport(const Report& report);
    static bool isBinaryWithStart(uint64_t start, uint64_t end,
                                  const std::vector<uint64_t>& addresses);
    // Bundle-style paths (".app/") follow the bundle rules. Reports of this system (os 5): the
    // process binary is the image at the process path, an image in the executable's folder (or
    // below it) belongs to the application, any other is other.
    static ZVTImageType imageTypeForImagePath(const std::optional<std::string>& imagePath,
                                              const std::optional<std::string>& processPath,
                                              int operatingSystem = -1);
    // User names never leave the machine: "/Users/<name>/" and "/home/<name>/" become
    // ".../USER/"; any other path naming "Users" becomes "".
    static std::string anonymizedPathFromPath(const std::optional<std::string>& path);
    static std::shared_ptr<ZVTDevice> deviceForTimestamp(const std::optional<ZVTDate>& timestamp,
                                                         const Report& report);
    static std::string convertCodeTypeToString(uint64_t codeType);
    static std::string convertArchNameToString(uint64_t codeType, uint64_t subtype);
    static bool isCodeType64bit(uint64_t codeType);
    static std::optional<std::string> uuidRefToString(
        const std::optional<std::array<uint8_t, 16>>& uuid);
    static std::string formatAddress(uint64_t address, bool is64bit);
};
