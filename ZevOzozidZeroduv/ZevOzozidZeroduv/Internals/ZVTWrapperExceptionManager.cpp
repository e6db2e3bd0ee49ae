#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTWrapperExceptionManager.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvUtil.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include "ZVCrashReporter/Source/ZVCrashReporter.h"

#include <map>
#include <mutex>
#include <system_error>

namespace {

const std::string kZeroduvTag = "ZevOzozidZeroduv";

std::mutex gMutex;
std::map<std::string, std::shared_ptr<ZVTWrapperException>> gCache;
ZVCrashReporter* gReporter = nullptr;

std::string componentFor(const std::string& baseFilename) {
    return ZVTZeroduvUtil::wrapperExceptionsDir() + "/" + baseFilename;
}

}  // namespace

void ZVTWrapperExceptionManager::setCrashReporter(ZVCrashReporter* reporter) {
    std::lock_guard lock(gMutex);
    gReporter = reporter;
}

void ZVTWrapperExceptionManager::saveWrapperException(const ZVTWrapperException& exception) {
    saveWrapperException(exception, kLastSavedBaseFilename);
}

void ZVTWrapperExceptionManager::saveWrapperException(const ZVTWrapperException& exception,
                                                      const std::string& baseFilename) {
    auto bytes = ZVTUtility::archiveKeyedData(&exception);
    if (!bytes) return;
    ZVTUtility::createFileAtPathComponent(componentFor(baseFilename), *bytes, true, true);
}

void ZVTWrapperExceptionManager::saveWrapperExceptionAndCrashReport(
    const ZVTWrapperException& exception) {
    ZVCrashReporter* reporter;
    {
        std::lock_guard lock(gMutex);
        reporter = gReporter;
    }
    if (!reporter) {
        ZVTLogError(kZVTLogTag,
                    "Failed to save the crash report. CrashReporter wasn't initialized.");
        return;
    }
    saveWrapperException(exception);
    const std::filesystem::path path = reporter->crashReportPath();
    // The report's folder is its parent; removing the file name's every occurrence from the
    // path would also cut a folder that happens to share the name.
    const std::filesystem::path directory = path.parent_path();
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec) {
        ZVTLogError(kZVTLogTag, "Couldn't create a directory at path ", directory.string());
        return;
    }
    auto report = reporter->generateLiveReport();
    if (report && ZVTUtility::createFileAtPath(path, *report)) {
        ZVTLogError(kZVTLogTag, "Crash report was saved successfully at path ", path.string());
    } else {
        ZVTLogError(kZVTLogTag, "Couldn't save crash report at path ", path.string());
    }
}

std::shared_ptr<ZVTWrapperException> ZVTWrapperExceptionManager::loadWrapperExceptionWithUUIDString(
    const std::string& uuid) {
    {
        std::lock_guard lock(gMutex);
        auto it = gCache.find(uuid);
        if (it != gCache.end()) return it->second;
    }
    return loadWrapperExceptionWithBaseFilename(uuid);
}

std::shared_ptr<ZVTWrapperException>
ZVTWrapperExceptionManager::loadWrapperExceptionWithBaseFilename(const std::string& baseFilename) {
    const std::string component = componentFor(baseFilename);
    auto bytes = ZVTUtility::loadDataForPathComponent(component);
    if (!bytes) {
        // The normal case: most crash reports carry no wrapper exception data.
        ZVTLogDebug(kZeroduvTag,
                    "Exception data report doesn't exist on disk. File name: ", baseFilename);
        return nullptr;
    }
    auto record = ZVTUtility::unarchiveKeyedDataAs<ZVTWrapperException>(&*bytes);
    if (!record) {
        ZVTLogError(kZeroduvTag, "Could not read exception data stored on disk with file name ",
                    baseFilename);
        ZVTUtility::deleteItemForPathComponent(component);
    }
    return record;
}

void ZVTWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport(
    const std::vector<std::shared_ptr<ZVTErrorReport>>& reports) {
    if (!ZVTUtility::fileExistsForPathComponent(componentFor(kLastSavedBaseFilename))) return;
    auto record = loadWrapperExceptionWithBaseFilename(kLastSavedBaseFilename);
    deleteWrapperExceptionWithBaseFilename(kLastSavedBaseFilename);
    if (!record) return;
    const uint64_t processId = static_cast<uint64_t>(record->processId().value_or(0));
    for (const auto& report : reports) {
        if (!report || report->appProcessIdentifier() != processId) continue;
        const std::string incident = report->incidentIdentifier().value_or("");
        {
            std::lock_guard lock(gMutex);
            gCache[incident] = record;
        }
        saveWrapperException(*record, incident);
        return;
    }
}

void ZVTWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(const std::string& uuid) {
    deleteWrapperExceptionWithBaseFilename(uuid);
}

void ZVTWrapperExceptionManager::deleteWrapperExceptionWithBaseFilename(
    const std::string& baseFilename) {
    const std::string component = componentFor(baseFilename);
    if (ZVTUtility::fileExistsForPathComponent(component)) {
        ZVTUtility::deleteItemForPathComponent(component);
    }
}

void ZVTWrapperExceptionManager::deleteAllWrapperExceptions() {
    ZVTUtility::deleteItemForPathComponent(std::string("crasheswrapperexceptions"));
    ZVTZeroduvUtil::resetDirectory();
}

void ZVTWrapperExceptionManager::reset() {
    std::lock_guard lock(gMutex);
    gCache.clear();
    gReporter = nullptr;
}
