// The formatter's images, paths, device and architecture names.
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTErrorLogFormatter.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceTracker.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <regex>

namespace {

const std::string kZeroduvTag = "ZevOzozidZeroduv";
constexpr uint64_t kCpuX86 = 7, kCpuArm = 12, kCpuPpc = 18, kCpuX86_64 = 0x1000007,
                   kCpuArm64 = 0x100000C;
constexpr int kOsLinux = 5;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

ZVTImageType linuxImageType(const std::string& imagePath, const std::string& processPath) {
    namespace fs = std::filesystem;
    const fs::path image = fs::path(imagePath).lexically_normal();
    const fs::path process = fs::path(processPath).lexically_normal();
    if (image == process) return ZVTImageTypeProcessBinary;
    const fs::path folder = process.parent_path();
    if (folder.empty() || folder == folder.root_path()) return ZVTImageTypeOther;
    const fs::path relative = image.parent_path().lexically_relative(folder);
    if (!relative.empty() && *relative.begin() != "..") return ZVTImageTypeAppBundle;
    return ZVTImageTypeOther;
}

std::string replaceUserFolder(const std::string& path, const std::string& pattern,
                              const std::string& replacement) {
    try {
        return std::regex_replace(path, std::regex(pattern), replacement);
    } catch (const std::regex_error& error) {
        ZVTLogError(kZeroduvTag, "Couldn't create regular expression with pattern\"", pattern,
                    "\": ", error.what());
        return "";
    }
}

}  // namespace

std::vector<uint64_t> ZVTErrorLogFormatter::addressesFromReport(const Report& report) {
    std::vector<uint64_t> addresses;
    if (report.hasExceptionInfo() && report.exceptionInfo()->stackFrames()) {
        for (const auto& frame : *report.exceptionInfo()->stackFrames()) {
            addresses.push_back(frame->instructionPointer());
        }
    }
    for (const auto& thread : report.threads()) {
        for (const auto& frame : thread->stackFrames())
            addresses.push_back(frame->instructionPointer());
        for (const auto& reg : thread->registers()) addresses.push_back(reg->registerValue());
    }
    return addresses;
}

bool ZVTErrorLogFormatter::isBinaryWithStart(uint64_t start, uint64_t end,
                                             const std::vector<uint64_t>& addresses) {
    return std::any_of(addresses.begin(), addresses.end(),
                       [&](uint64_t a) { return start <= a && a <= end; });
}

ZVTBinaries ZVTErrorLogFormatter::extractBinaryImagesFromReport(const Report& report,
                                                                bool is64bit) {
    const std::vector<uint64_t> addresses = addressesFromReport(report);
    auto images = report.images();
    std::stable_sort(images.begin(), images.end(), [](const auto& a, const auto& b) {
        return a->imageBaseAddress() < b->imageBaseAddress();
    });
    const auto& processPath = report.hasProcessInfo() ? report.processInfo()->processPath()
                                                      : std::optional<std::string>();
    const int os = report.systemInfo() ? report.systemInfo()->operatingSystem() : -1;
    ZVTBinaries binaries;
    for (const auto& image : images) {
        const uint64_t start = image->imageBaseAddress();
        const uint64_t end = start + std::max<uint64_t>(image->imageSize(), 1) - 1;
        const std::optional<std::string> path = image->imageName();
        if (!isBinaryWithStart(start, end, addresses) &&
            imageTypeForImagePath(path, processPath, os) == ZVTImageTypeOther) {
            continue;
        }
        auto binary = std::make_shared<ZVTBinary>();
        binary->setBinaryId(image->imageUUID().value_or("???"));
        binary->setStartAddress(formatAddress(start, is64bit));
        binary->setEndAddress(formatAddress(end, is64bit));
        binary->setPath(anonymizedPathFromPath(path));
        const std::string name = std::filesystem::path(image->imageName()).filename().string();
        binary->setName(name.empty() ? "???" : name);
        if (image->codeType()) {
            binary->setPrimaryArchitectureId(image->codeType()->type());
            binary->setArchitectureVariantId(image->codeType()->subtype());
        }
        binaries.push_back(std::move(binary));
    }
    return binaries;
}

ZVTImageType ZVTErrorLogFormatter::imageTypeForImagePath(
    const std::optional<std::string>& imagePath, const std::optional<std::string>& processPath,
    int operatingSystem) {
    if (!imagePath || !processPath) return ZVTImageTypeOther;
    const std::string S = lower(std::filesystem::path(*imagePath).lexically_normal().string());
    const std::string L = lower(*imagePath);
    const std::string P = lower(*processPath);
    const size_t app = S.find(".app/");
    if (app == std::string::npos) {
        return operatingSystem == kOsLinux ? linuxImageType(*imagePath, *processPath)
                                           : ZVTImageTypeOther;
    }
    if (S.find("frameworks/libswift") != std::string::npos && endsWith(S, ".dylib")) {
        return ZVTImageTypeOther;
    }
    const std::string B = S.substr(0, app + 5);
    if (S == P || startsWith(L, P)) return ZVTImageTypeProcessBinary;
    if (startsWith(S, B) || startsWith(L, B)) return ZVTImageTypeAppBundle;
    return ZVTImageTypeOther;
}

std::string ZVTErrorLogFormatter::anonymizedPathFromPath(const std::optional<std::string>& path) {
    if (!path || path->empty()) return "";
    if (startsWith(*path, "/Users/"))
        return replaceUserFolder(*path, "(/Users/[^/]+/)", "/Users/USER/");
    if (startsWith(*path, "/home/"))
        return replaceUserFolder(*path, "(/home/[^/]+/)", "/home/USER/");
    if (path->find("Users") != std::string::npos) return "";
    return *path;
}

std::shared_ptr<ZVTDevice> ZVTErrorLogFormatter::deviceForTimestamp(
    const std::optional<ZVTDate>& timestamp, const Report& report) {
    auto history = ZVTDeviceTracker::sharedInstance().deviceForTimestamp(timestamp);
    if (!history) history = std::make_shared<ZVTDevice>();
    auto device = std::make_shared<ZVTDevice>();
    auto pick = [](const std::optional<std::string>& fromReport, const ZVTOptionalString& kept) {
        return fromReport ? fromReport : kept;
    };
    const auto& system = report.systemInfo();
    const auto& app = report.applicationInfo();
    device->setOsVersion(
        pick(system ? std::optional<std::string>(system->operatingSystemVersion()) : std::nullopt,
             history->osVersion()));
    device->setOsBuild(
        pick(system ? system->operatingSystemBuild() : std::nullopt, history->osBuild()));
    device->setModel(
        pick(report.hasMachineInfo() ? report.machineInfo()->modelName() : std::nullopt,
             history->model()));
    // An empty identity field of the report says nothing: the run's device record decides.
    const auto unlessEmpty = [](const std::optional<std::string>& text) {
        return text && !text->empty() ? text : std::nullopt;
    };
    device->setAppBuild(
        pick(app ? unlessEmpty(app->applicationVersion()) : std::nullopt, history->appBuild()));
    device->setAppVersion(pick(app ? unlessEmpty(app->applicationMarketingVersion()) : std::nullopt,
                               history->appVersion()));
    device->setAppNamespace(pick(app ? unlessEmpty(app->applicationIdentifier()) : std::nullopt,
                                 history->appNamespace()));
    device->setSdkName(history->sdkName());
    device->setSdkVersion(history->sdkVersion());
    device->setOemName(history->oemName());
    device->setOsName(history->osName());
    device->setOsApiLevel(history->osApiLevel());
    device->setLocale(history->locale());
    device->setTimeZoneOffset(history->timeZoneOffset());
    device->setScreenSize(history->screenSize());
    device->setCarrierName(history->carrierName());
    device->setCarrierCountry(history->carrierCountry());
    device->setWrapperSdkName(history->wrapperSdkName());
    device->setWrapperSdkVersion(history->wrapperSdkVersion());
    device->setWrapperRuntimeVersion(history->wrapperRuntimeVersion());
    device->setLiveUpdatePackageHash(history->liveUpdatePackageHash());
    device->setLiveUpdateReleaseLabel(history->liveUpdateReleaseLabel());
    device->setLiveUpdateDeploymentKey(history->liveUpdateDeploymentKey());
    return device;
}

std::shared_ptr<ZVTErrorReport> ZVTErrorLogFormatter::errorReportFromCrashReport(
    const Report* report) {
    if (!report) return nullptr;
    return errorReportFromLog(*errorLogFromCrashReport(*report));
}

std::shared_ptr<ZVTErrorReport> ZVTErrorLogFormatter::errorReportFromLog(
    const ZVTAppleErrorLog& log) {
    ZVTErrorReport::Fields f;
    f.incidentIdentifier = log.errorId();
    f.reporterKey = ZVTZevOzozidUserDefaults::shared().stringForKey("InstallId").value_or("");
    f.signal = log.osExceptionType();
    f.exceptionName = log.exceptionType();
    f.exceptionReason = log.exceptionReason();
    f.appStartTime = log.appLaunchTimestamp();
    f.appErrorTime = log.timestamp();
    f.codeType = "???";
    f.archName = "???";
    if (log.isKnownEncodingType() && log.primaryArchitectureId()) {
        f.codeType = convertCodeTypeToString(*log.primaryArchitectureId());
        if (log.architectureVariantId()) {
            f.archName = convertArchNameToString(*log.primaryArchitectureId(),
                                                 *log.architectureVariantId() & 0x00FFFFFF);
        }
    }
    f.applicationPath = log.applicationPath();
    f.threads = log.threads();
    f.binaries = log.binaries();
    f.device = log.device();
    f.appProcessIdentifier = static_cast<uint64_t>(log.processId().value_or(0));
    return std::make_shared<ZVTErrorReport>(std::move(f));
}

std::string ZVTErrorLogFormatter::convertCodeTypeToString(uint64_t codeType) {
    switch (codeType) {
        case kCpuX86:
            return "X86";
        case kCpuArm:
            return "ARM";
        case kCpuPpc:
            return "PPC";
        case kCpuX86_64:
            return "X86-64";
        case kCpuArm64:
            return "ARM-64";
        default:
            return "Unknown (" + std::to_string(codeType) + ")";
    }
}

std::string ZVTErrorLogFormatter::convertArchNameToString(uint64_t codeType, uint64_t subtype) {
    switch (codeType) {
        case kCpuX86:
            return "i386";
        case kCpuPpc:
            return "powerpc";
        case kCpuX86_64:
            return "x86_64";
        case kCpuArm:
            return subtype == 6    ? "armv6"
                   : subtype == 9  ? "armv7"
                   : subtype == 11 ? "armv7s"
                                   : "arm-unknown";
        case kCpuArm64:
            return subtype == 0   ? "arm64"
                   : subtype == 1 ? "armv8"
                   : subtype == 2 ? "arm64e"
                                  : "arm64-unknown";
        default:
            return "???";
    }
}

bool ZVTErrorLogFormatter::isCodeType64bit(uint64_t codeType) {
    return codeType == kCpuX86_64 || codeType == kCpuArm64;
}

std::string ZVTErrorLogFormatter::formatAddress(uint64_t address, bool is64bit) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*" PRIx64, is64bit ? 16 : 8, address);
    return text;
}
