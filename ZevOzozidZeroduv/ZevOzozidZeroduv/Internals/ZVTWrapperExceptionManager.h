#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTErrorReport.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTWrapperException.h"

#include <memory>
#include <string>
#include <vector>

class ZVCrashReporter;

// Keeps a wrapping runtime's exception on disk ("crasheswrapperexceptions" under the SDK
// folder), pairs it with the next launch's crash report by process id and hands it to the
// formatter by the report's incident id. Class-level state behind one lock: safe from any thread.
class ZVTWrapperExceptionManager {
  public:
    static inline const std::string kLastSavedBaseFilename = "last_saved_wrapper_exception";

    static void setCrashReporter(ZVCrashReporter* reporter);
    static void saveWrapperException(const ZVTWrapperException& exception);
    static void saveWrapperException(const ZVTWrapperException& exception,
                                     const std::string& baseFilename);
    // Saves the record and a live report as the pending crash report.
    static void saveWrapperExceptionAndCrashReport(const ZVTWrapperException& exception);
    // The cached record of that incident, else the stored one (not cached).
    static std::shared_ptr<ZVTWrapperException> loadWrapperExceptionWithUUIDString(
        const std::string& uuid);
    // Nothing when absent; a file that does not unarchive is deleted.
    static std::shared_ptr<ZVTWrapperException> loadWrapperExceptionWithBaseFilename(
        const std::string& baseFilename);
    // Pairs the last saved record with the first report of its process id.
    static void correlateLastSavedWrapperExceptionToReport(
        const std::vector<std::shared_ptr<ZVTErrorReport>>& reports);
    static void deleteWrapperExceptionWithUUIDString(const std::string& uuid);
    static void deleteWrapperExceptionWithBaseFilename(const std::string& baseFilename);
    static void deleteAllWrapperExceptions();
    // Forgets the cache and the reporter; for tests.
    static void reset();
};
